#include "app/start_up.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "app/velmor_manager.h"
#include "platform/gdi/font.h"
#include "platform/host/x11/x11_host.h"
#include "platform/inet/internet.h"
#include "platform/kernel/debug_output.h"
#include "res/program_resources.h"

// The one application object of the process.
CVelmor_managerApp theApp;

namespace {

// The user's cache folder for this program (XDG base directories); empty when there is none.
std::string CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/velmor-manager";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/velmor-manager";
  return {};
}

// libcurl loading on a thread of its own while the window is made. Every way out of start-up
// waits for it: a process that exits while the dynamic linker still maps libcurl's libraries, or
// while curl_global_init runs, crashes in exit's teardown. Once the window is up the load has long
// ended, so only the early ends (no display, another instance running) wait, a few milliseconds.
class InternetLoad {
 public:
  InternetLoad() {
    try {
      thread_ = std::jthread([] { platform::inet::InitializeInternet(); });
    } catch (const std::system_error&) {
      // No thread to spare: the first exchange loads the library itself.
    }
  }

 private:
  std::jthread thread_;
};

// A process started with a standard descriptor closed would give that number to the first file it
// opens (the instance mark, the X connection), and the next line of output would land in it.
void KeepStandardDescriptorsApart() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this one.
    const int null = open("/dev/null", O_RDWR);
    if (null != fd && null != -1) close(null);
  }
}

}  // namespace

int RunVelmorManager(const NetworkBackends& backends) {
  KeepStandardDescriptorsApart();
  // Byte texts from the system (adapter names, SSIDs) are in the locale's codeset.
  std::setlocale(LC_ALL, "");
  // libcurl loads beside the window's making; this thread's own objects come first.
  AfxPrepareThread();
  const InternetLoad internet;
  RegisterProgramResources();
  // The fonts of the last run, unless the fonts or fontconfig's configuration changed since.
  if (const std::string folder = CacheFolder(); !folder.empty()) platform::gdi::fonts::RememberMatchesIn(folder + "/font-matches");
  if (backends.adapters) platform::net::SetAdapterSource(backends.adapters);
  if (backends.ndis) platform::net::SetNdisDevices(backends.ndis);
  if (backends.wlan) platform::net::SetWlanService(backends.wlan);

  std::string error;
  std::shared_ptr<platform::host::X11Host> host = platform::host::X11Host::Open(&error);
  if (!host) {
    platform::kernel::TellUser("cannot show a window: " + error);
    return 1;
  }
  platform::host::Install(host);
  return AfxWinMain();
}
