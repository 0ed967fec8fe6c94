#include "platform/kernel/named_mark.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/kernel/debug_output.h"

namespace platform::kernel {
namespace {

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

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : std::string();
}

// Where marks may be kept, in order of preference.
std::vector<std::string> MarkFolders(const std::string& runtime) {
  std::vector<std::string> folders;
  if (!runtime.empty()) folders.push_back(runtime);
  folders.push_back("/tmp/velmor-" + std::to_string(geteuid()));
  std::string cache = AbsoluteVariable("XDG_CACHE_HOME");
  if (const std::string home = AbsoluteVariable("HOME"); cache.empty() && !home.empty()) cache = home + "/.cache";
  if (!cache.empty()) folders.push_back(cache + "/velmor-manager");
  return folders;
}

}  // namespace

bool IsPrivateDirectory(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::shared_ptr<NamedMark> NamedMark::Acquire(std::u16string_view name, DWORD* error) {
  if (name.empty()) {
    *error = ERROR_INVALID_NAME;
    return nullptr;
  }
  const std::string runtime = AbsoluteVariable("XDG_RUNTIME_DIR");
  const std::vector<std::string> folders = MarkFolders(runtime);
  for (const std::string& folder : folders) {
    // The runtime folder is only ever used, never made; the others are made when missing (the
    // cache folder's parent too, on a fresh account). Another user's folder, or a link in the
    // place of one, is passed over and never written into.
    if (folder != runtime) {
      mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
      mkdir(folder.c_str(), 0700);
    }
    if (!IsPrivateDirectory(folder)) continue;
    // Close-on-exec matters: a browser started from this process must not inherit the lock.
    const int fd = open((folder + "/" + FileNameFor(name)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      *error = ERROR_SUCCESS;
      return std::make_shared<NamedMark>(fd);
    }
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    if (held) {
      *error = ERROR_ALREADY_EXISTS;
      return nullptr;
    }
  }
  // Without a mark every start opens its own window; whoever started this one should know why.
  static std::atomic<bool> said{false};
  if (!said.exchange(true)) {
    std::string tried;
    for (const std::string& folder : folders) tried += (tried.empty() ? "" : ", ") + folder;
    TellUser("no private folder can hold the mark of the running instance (tried " + tried +
             "), so a second start will open a second window");
  }
  *error = ERROR_ACCESS_DENIED;
  return nullptr;
}

NamedMark::~NamedMark() { close(fd_); }

}  // namespace platform::kernel
