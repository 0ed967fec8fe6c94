// ShellExecuteW: hands a URL or a file to the desktop's default handler (xdg-open).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/resources.h"
#include "platform/base/types.h"

struct HWND__;
using HWND = HWND__*;

// Results at or below 32 are failures.
inline constexpr INT_PTR SE_ERR_FNF = 2;
inline constexpr INT_PTR SE_ERR_ACCESSDENIED = 5;
inline constexpr INT_PTR SE_ERR_OOM = 8;

// Starts `xdg-open FILE` (the default action, whatever the verb) and returns at once with a value
// above 32; the child is reaped in the background. The text goes to xdg-open as one argument,
// never through a shell. `parameters`, `directory` and `showCommand` have no meaning for xdg-open
// and are ignored. No file or an empty one gives SE_ERR_FNF; a launcher that cannot be started
// gives SE_ERR_FNF (not installed), SE_ERR_ACCESSDENIED or SE_ERR_OOM, and standard error then
// tells the user why nothing opened.
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT showCommand);

namespace platform::shell {

// Starts a program with exactly these arguments (argv[0] is looked up on PATH). Returns 0, or
// the errno that kept it from starting.
using Launcher = std::function<int(const std::vector<std::string>& argv)>;

// Replaces the launcher (tests observe launches this way); an empty one restores the real one.
void SetLauncher(Launcher launcher);

}  // namespace platform::shell
