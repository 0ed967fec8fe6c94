// Events, waits and threads.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>

#include "platform/base/types.h"
#include "platform/kernel/handle.h"

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// An unnamed event, or a named one. A name is the mark of a running instance for the whole user
// session: the first creator holds it until it exits (or dies); a later CreateEventW of the same
// name, in this process or another, gets an event of its own with ERROR_ALREADY_EXISTS (the
// program only ever reads that error).
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits on an event or a thread (signalled once it has ended). The time-out runs on the platform
// clock. WAIT_FAILED with ERROR_INVALID_HANDLE for a NULL, closed or unwaitable handle, and with
// ERROR_OPERATION_ABORTED when the calling thread is asked to stop while it waits.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

// Starts a thread at once; the handle is released with CloseHandle and the thread runs on.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId);

// Asks the thread to stop. Threads cannot be killed safely inside a process, so this is a
// request the thread sees through its stop token (platform::kernel::CurrentStopToken); every
// blocking platform call a worker makes (HTTP, waits) returns early once it is asked. The call
// does not wait.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);

namespace platform::kernel {

// Starts a platform thread running `body`; the same as CreateThread for platform code.
HANDLE StartThread(std::function<DWORD()> body);

// The stop token of the calling platform thread; a thread not started by the platform gets a
// token that is never stopped.
std::stop_token CurrentStopToken();

// Waits for every platform thread of the process to end, for at most `timeout` of real time.
// Returns whether they all ended.
bool WaitForAllThreads(std::chrono::milliseconds timeout);
std::size_t RunningThreadCount();

}  // namespace platform::kernel
