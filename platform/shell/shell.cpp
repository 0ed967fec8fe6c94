#include "platform/shell/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/service.h"
#include "platform/kernel/debug_output.h"

extern char** environ;

namespace platform::shell {
namespace {

constinit Service<Launcher> g_launcher;

// posix_spawnp with stdin on /dev/null, no inherited descriptors beyond stdout and stderr,
// default signal handling, a session of its own, and a background reaper thread that waits for
// the child, so that it never lingers as a zombie. Returns 0, or the errno that kept it from
// starting.
int SpawnDetached(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The window system's descriptors (the X connection, wake-up fds) are not the child's.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&defaults, s);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc;
  const auto reap = [pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  };
  try {
    std::thread(reap).detach();
  } catch (const std::system_error&) {
    reap();  // no thread for the reaper: wait here rather than leave a zombie behind
  }
  return 0;
}

HINSTANCE Result(INT_PTR value) { return reinterpret_cast<HINSTANCE>(value); }

}  // namespace

void SetLauncher(Launcher launcher) {
  g_launcher.Set(launcher ? std::make_shared<Launcher>(std::move(launcher)) : nullptr);
}

}  // namespace platform::shell

HINSTANCE ShellExecuteW(HWND /*owner*/, LPCWSTR /*operation*/, LPCWSTR file, LPCWSTR /*parameters*/,
                        LPCWSTR /*directory*/, INT /*showCommand*/) {
  using platform::shell::Result;
  if (file == nullptr || *file == 0) return Result(SE_ERR_FNF);
  const std::vector<std::string> argv{"xdg-open", platform::Utf16ToUtf8(file)};
  const std::shared_ptr<platform::shell::Launcher> launcher = platform::shell::g_launcher.Get();
  const int error = launcher ? (*launcher)(argv) : platform::shell::SpawnDetached(argv);
  // The program does not look at the result: this is the only word the user gets.
  if (error != 0) {
    const std::string why = error == ENOENT ? "xdg-open is not on PATH (it comes with xdg-utils)"
                                            : std::string("xdg-open cannot be started: ") + std::strerror(error);
    platform::kernel::TellUser("cannot open " + argv[1] + " in the browser: " + why);
  }
  switch (error) {
    case 0:
      return Result(42);
    case ENOENT:
      return Result(SE_ERR_FNF);
    case EACCES:
    case EPERM:
      return Result(SE_ERR_ACCESSDENIED);
    default:
      return Result(SE_ERR_OOM);
  }
}
