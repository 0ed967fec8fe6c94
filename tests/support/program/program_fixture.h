// The real main dialog on the headless screen, with a scripted network and a recorded browser.
//
// The dialog runs its modal loop on a window thread of its own; timers run on the driven clock;
// adapters, drivers and the Wi-Fi service are fakes; routers are RouterSim servers on loopback,
// named by a gateway text "127.0.0.1:PORT" (which fits the 16 bytes of a gateway address).
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "trace/debug_trace.h"
#include "app/velmor_manager_dlg.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_adapters.h"
#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"

namespace velmor::test {

// Holds the threads that reach it until the test opens it (a pass held inside a driver query).
class Gate {
 public:
  void Pass() {
    std::unique_lock lock(mutex_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }
  bool WaitForArrival(int count = 1) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_ >= count; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int arrived_ = 0;
  bool open_ = false;
};

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest();
  ~ProgramTest() override;

  // Runs the dialog and waits for its window; the first pass has then been started.
  void StartDialog();
  // Closes the dialog as the close glyph does, and waits for DoModal to return.
  void CloseDialog();

  // Waits (real time) until no worker thread runs, then lets the window thread settle.
  void WaitForWorkers();
  // Moves the driven clock and lets everything it starts run to its end.
  void Advance(std::chrono::milliseconds by);
  void Settle() { desktop_.Settle(hwnd_); }

  // A wireless adapter: medium 9 (SSID through the Wi-Fi service) or 1 (through the driver).
  void AddWirelessAdapter(const std::string& name, const std::string& gateway, DWORD medium, const std::string& ssid,
                          bool connected = true);
  // A router answering the probe as a Kavel-7100 (or with `answer`); its gateway text.
  std::string StartRouter(RouterAnswer answer = RouterAnswer::Status(200, "<html>Kavel-7100 </html>"));

  // The trace from now on (the dialog switches it off at start-up).
  void TraceOn();
  std::vector<std::string> Trace() const { return trace_.Lines(); }
  std::vector<std::vector<std::string>> Launches() const;

  // Holds every later pass at its first driver query of `adapter` until `gate` opens.
  void HoldPassesAt(const std::string& adapter, Gate& gate);
  // Lines of the trace that equal `line`.
  int CountTrace(const std::string& line) const;

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  std::u16string TextOf(int id) const;
  COLORREF PixelAt(int x, int y) const { return HeadlessDesktop::FrameColor(hwnd_, POINT{x, y}); }

  HeadlessDesktop desktop_;
  TraceCapture trace_;
  std::shared_ptr<FakeNdisDevices> ndis_ = std::make_shared<FakeNdisDevices>();
  std::shared_ptr<FakeAdapterSource> adapters_ = std::make_shared<FakeAdapterSource>();
  std::shared_ptr<FakeWlanService> wlan_ = std::make_shared<FakeWlanService>();
  // Network changes are announced by the test alone, never by the machine's own network.
  std::shared_ptr<FakeChangeSource> changes_ = std::make_shared<FakeChangeSource>();
  std::vector<std::unique_ptr<RouterSim>> routers_;
  std::unique_ptr<CVelmor_managerDlg> dlg_;
  std::unique_ptr<WindowThread> thread_;
  HWND hwnd_ = nullptr;

 private:
  mutable std::mutex launchMutex_;
  std::vector<std::vector<std::string>> launches_;
};

}  // namespace velmor::test
