#include "tests/support/scenario/scenario.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/net/ndis.h"

namespace velmor::test {
namespace {

constexpr std::size_t kMaxSsidBytes = 32;
// A file that changes between every two of this many reads is being rewritten without pause.
constexpr int kReadAttempts = 8;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes.push_back(text[i]);
      continue;
    }
    if (i + 3 >= text.size()) return std::nullopt;
    if (text[i + 1] != 'x') return std::nullopt;
    const int high = HexDigit(text[i + 2]);
    const int low = HexDigit(text[i + 3]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  return bytes;
}

std::optional<std::uint32_t> Medium(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// The next field up to a blank or the end; `rest` moves past the blank.
std::string_view NextField(std::string_view& rest, bool* sawBlank) {
  const std::size_t blank = rest.find(' ');
  *sawBlank = blank != std::string_view::npos;
  const std::string_view field = rest.substr(0, blank);
  rest = *sawBlank ? rest.substr(blank + 1) : std::string_view();
  return field;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::optional<std::string> ReadOnce(const std::string& path) {
  // Non-blocking, so that a FIFO named by mistake cannot hold the caller at open.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (text.size() <= kMaxScenarioBytes) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  // The line the cap cuts through has lost its line end, so it does not count.
  text.resize(kMaxScenarioBytes);
  return text;
}

}  // namespace

std::optional<ScenarioInterface> ParseScenarioLine(std::string_view line) {
  if (line.empty() || line.front() == '#') return std::nullopt;
  std::string_view rest = line;
  bool blank = false;
  ScenarioInterface interface;

  const std::string_view name = NextField(rest, &blank);
  if (!blank || !platform::net::IsValidInterfaceName(name)) return std::nullopt;
  interface.name = std::string(name);

  const std::string_view medium = NextField(rest, &blank);
  if (!blank) return std::nullopt;
  if (medium != "fail") {
    interface.medium = Medium(medium);
    if (!interface.medium) return std::nullopt;
  }

  const std::string_view state = NextField(rest, &blank);
  if (state == "up") {
    interface.up = true;
  } else if (state != "down") {
    return std::nullopt;
  }

  // After the blank that ends STATE, the whole rest is the SSID, blanks and all.
  std::optional<std::string> ssid = Unescape(rest);
  if (!ssid || ssid->size() > kMaxSsidBytes) return std::nullopt;
  interface.ssid = std::move(*ssid);
  return interface;
}

Scenario Scenario::Parse(std::string_view text) {
  Scenario scenario;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    // Files written on other systems end their lines with CR LF.
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::optional<ScenarioInterface> interface = ParseScenarioLine(line);
    if (interface && !scenario.Find(interface->name)) scenario.interfaces_.push_back(std::move(*interface));
  }
  return scenario;
}

Scenario Scenario::Load(const std::string& path) { return Parse(ReadScenarioText(path)); }

const ScenarioInterface* Scenario::Find(std::string_view name) const {
  const auto it = std::find_if(interfaces_.begin(), interfaces_.end(),
                               [&](const ScenarioInterface& interface) { return interface.name == name; });
  return it == interfaces_.end() ? nullptr : &*it;
}

std::string ReadScenarioText(const std::string& path) {
  std::optional<std::string> previous = ReadOnce(path);
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    std::optional<std::string> current = ReadOnce(path);
    if (current == previous) return current.value_or(std::string());
    previous = std::move(current);
  }
  // The file never held still; what the last read found is as good as any.
  return previous.value_or(std::string());
}

}  // namespace velmor::test
