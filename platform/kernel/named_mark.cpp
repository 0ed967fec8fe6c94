#include "platform/kernel/named_mark.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"

namespace platform::kernel {
namespace {

// A folder we may keep locks in: a real directory (not a link), ours, closed to others.
bool IsPrivateDirectory(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// Keeps letters, digits, '-', '_' and '.'; any other byte of the UTF-8 name becomes %XX, so a
// name can never leave the folder.
std::string FileNameFor(std::u16string_view name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : Utf16ToUtf8(name)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || (c == '.' && !out.empty());
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out + ".event";
}

}  // namespace

std::string NamedMarkDirectory() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
    if (IsPrivateDirectory(runtime)) return runtime;
  }
  const std::string fallback = "/tmp/velmor-" + std::to_string(geteuid());
  if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return IsPrivateDirectory(fallback) ? fallback : std::string();
}

std::shared_ptr<NamedMark> NamedMark::Acquire(std::u16string_view name, DWORD* error) {
  const std::string dir = NamedMarkDirectory();
  if (dir.empty() || name.empty()) {
    *error = dir.empty() ? ERROR_ACCESS_DENIED : ERROR_INVALID_NAME;
    return nullptr;
  }
  const std::string path = dir + "/" + FileNameFor(name);
  // Close-on-exec matters: a browser started from this process must not inherit the lock.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
    close(fd);
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return std::make_shared<NamedMark>(fd);
}

NamedMark::~NamedMark() { close(fd_); }

}  // namespace platform::kernel
