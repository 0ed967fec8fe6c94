#include "platform/gdi/font_matches.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "platform/kernel/named_mark.h"

namespace platform::gdi::fonts {
namespace {

constexpr std::string_view kHeader = "velmor font matches 1";
// Far more than any real store (a few lines per font description and about a hundred sources).
constexpr std::size_t kMaxFileSize = 256 * 1024;

// A store is only kept in a folder of the user's that no one else can change: in a folder another
// user controls (a shared cache place such as /tmp), a link there could turn a save into a write
// anywhere the user may write, and a planted store would choose the fonts.
bool InPrivateFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash != std::string::npos && slash > 0 && kernel::IsPrivateDirectory(path.substr(0, slash));
}

bool Keepable(std::string_view text) { return text.find_first_of("\t\n") == std::string_view::npos; }

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool ParseInt(std::string_view text, int& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseBool(std::string_view text, bool& out) {
  if (text != "0" && text != "1") return false;
  out = text == "1";
  return true;
}

// The state of one input: a file or folder ("/etc/fonts/conf.d"), or an environment variable
// ("$HOME"). Two stamps are equal while the input is unchanged. *regular tells whether the input
// is a regular file.
std::string StampOf(const std::string& source, bool* regular) {
  *regular = false;
  if (!source.empty() && source.front() == '$') {
    const char* value = std::getenv(source.c_str() + 1);
    return value == nullptr ? std::string("unset") : "=" + std::string(value);
  }
  struct stat st{};
  if (stat(source.c_str(), &st) != 0) return "-";
  *regular = S_ISREG(st.st_mode);
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "%llu %llu %lld %lld.%09ld", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
                static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec);
  return text.data();
}

}  // namespace

const MatchAnswer* MatchStore::Find(const MatchQuery& query) const {
  auto it = answers_.find(query);
  return it == answers_.end() ? nullptr : &it->second;
}

void MatchStore::Put(const MatchQuery& query, const MatchAnswer& answer) {
  if (!Keepable(query.family) || !Keepable(answer.file) || !Keepable(answer.family) || answer.file.empty()) return;
  answers_[query] = answer;
}

std::vector<std::string> MatchStore::AnswerFiles() const {
  std::vector<std::string> files;
  for (const auto& [query, answer] : answers_) files.push_back(answer.file);
  return files;
}

void MatchStore::StampSources(const std::vector<std::string>& sources) {
  sources_.clear();
  for (const std::string& source : sources) {
    if (source.empty() || !Keepable(source)) continue;
    bool regular = false;
    sources_.emplace_back(source, StampOf(source, &regular));
  }
}

bool MatchStore::Current() const {
  for (const auto& source : sources_) {
    bool regular = false;
    if (StampOf(source.first, &regular) != source.second) return false;
    // A font that is not a regular file (a pipe, a device) would hang or worse when opened.
    if (!regular && std::ranges::any_of(answers_, [&](const auto& qa) { return qa.second.file == source.first; })) {
      return false;
    }
  }
  return true;
}

std::string MatchStore::Serialize() const {
  std::string text(kHeader);
  text += '\n';
  for (const auto& [source, stamp] : sources_) text += "source\t" + stamp + "\t" + source + "\n";
  for (const auto& [q, a] : answers_) {
    text += "answer\t" + q.family + "\t" + std::to_string(q.fcWeight) + "\t" + (q.italic ? "1" : "0") + "\t" + a.file + "\t" +
            std::to_string(a.index) + "\t" + a.family + "\t" + std::to_string(a.fcWeight) + "\t" + (a.italic ? "1" : "0") +
            "\t" + (a.emboldenAsked ? "1" : "0") + "\n";
  }
  return text;
}

std::optional<MatchStore> MatchStore::Parse(std::string_view text) {
  if (text.size() > kMaxFileSize) return std::nullopt;
  MatchStore store;
  bool headerSeen = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;  // cut short: every line ends
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
      continue;
    }
    const std::vector<std::string_view> f = Fields(line);
    if (f[0] == "source" && f.size() == 3 && !f[1].empty() && !f[2].empty()) {
      store.sources_.emplace_back(std::string(f[2]), std::string(f[1]));
    } else if (f[0] == "answer" && f.size() == 10) {
      MatchQuery q{std::string(f[1]), 0, false};
      MatchAnswer a{std::string(f[4]), 0, std::string(f[6]), 0, false, false};
      if (!ParseInt(f[2], q.fcWeight) || !ParseBool(f[3], q.italic) || a.file.empty() || !ParseInt(f[5], a.index) ||
          a.index < 0 || !ParseInt(f[7], a.fcWeight) || !ParseBool(f[8], a.italic) || !ParseBool(f[9], a.emboldenAsked)) {
        return std::nullopt;
      }
      store.answers_[q] = a;
    } else {
      return std::nullopt;
    }
  }
  if (!headerSeen) return std::nullopt;
  // A store written here stamps the file of every answer; one that does not was not.
  for (const auto& qa : store.answers_) {
    const std::string& file = qa.second.file;
    if (file.front() != '/' || std::ranges::none_of(store.sources_, [&](const auto& ss) { return ss.first == file; })) {
      return std::nullopt;
    }
  }
  return store;
}

MatchStore LoadMatches(const std::string& path) {
  if (!InPrivateFolder(path)) return {};
  // Only a regular file of a sane size, and never through a link: a pipe put there would hold the
  // start for good, before any window.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  struct stat st{};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= kMaxFileSize) {
    std::array<char, 16384> buffer{};
    for (;;) {
      const ssize_t n = read(fd, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || text.size() + static_cast<std::size_t>(n) > kMaxFileSize) {
        if (n != 0) text.clear();
        break;
      }
      text.append(buffer.data(), static_cast<std::size_t>(n));
    }
  }
  close(fd);
  std::optional<MatchStore> store = MatchStore::Parse(text);
  if (!store || !store->Current()) return {};
  return std::move(*store);
}

bool SaveMatches(const std::string& path, const MatchStore& store) {
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    // The folder and its parent (the user's cache folder may not exist yet on a fresh account).
    const std::string folder = path.substr(0, slash);
    const std::size_t up = folder.rfind('/');
    if (up != std::string::npos && up > 0) mkdir(folder.substr(0, up).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
  }
  if (!InPrivateFolder(path)) return false;
  // A name of its own, made exclusively: whatever was planted under a name known in advance (a
  // link to another file) is never written through.
  std::string temp = path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const std::string text = store.Serialize();
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool written = close(fd) == 0 && done == text.size();
  if (!written || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform::gdi::fonts
