// The real main dialog on the headless screen, on its own window thread and the driven clock, with
// a scripted network, a recorded browser, and RouterSim routers on loopback named by a gateway
// text "127.0.0.1:PORT" (which fits a gateway's 16 bytes).
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/velmor_manager_dlg.h"
#include "platform/kernel/sync.h"
#include "platform/shell/shell.h"
#include "res/program_resources.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_adapters.h"
#include "tests/support/fake_net/fake_changes.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/headless/headless_desktop.h"
#include "tests/support/router_sim/router_sim.h"
#include "tests/support/trace_capture.h"
#include "trace/debug_trace.h"

namespace velmor::test {

using namespace std::chrono_literals;

// Holds the threads that reach it until the test opens it (a pass held inside a driver query).
class Gate {
 public:
  void Pass() {
    std::unique_lock lock(mutex_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }
  bool WaitForArrival() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 10s, [&] { return arrived_ > 0; });
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
  ProgramTest() {
    RegisterProgramResources();
    platform::net::SetNdisDevices(ndis_);
    platform::net::SetAdapterSource(adapters_);
    platform::net::SetWlanService(wlan_);
    platform::net::SetChangeMonitorSource(changes_);
    platform::shell::SetLauncher([this](const std::vector<std::string>& argv) {
      std::lock_guard g(launchMutex_);
      launches_.push_back(argv);
      return 0;
    });
  }
  ~ProgramTest() override {
    ndis_->SetQueryHook(nullptr);
    gate_.Open();
    if (thread_) CloseDialog();
    // Workers still waiting on the driven clock (a launch's five seconds) are let go.
    for (int i = 0; i < 10 && platform::kernel::RunningThreadCount() > 0; ++i) desktop_.Clock().Advance(5s);
    EXPECT_TRUE(platform::kernel::WaitForAllThreads(10s));
    dlg_.reset();
    routers_.clear();
    platform::shell::SetLauncher(nullptr);
    platform::net::SetChangeMonitorSource(nullptr);
    platform::net::SetWlanService(nullptr);
    platform::net::SetAdapterSource(nullptr);
    platform::net::SetNdisDevices(nullptr);
    g_bDebugMessage = false;
  }

  void StartDialog(bool waitForFirstPass = true) {
    dlg_ = std::make_unique<CVelmor_managerDlg>();
    thread_ = std::make_unique<WindowThread>([this] { dlg_->DoModal(); });
    hwnd_ = desktop_.Host().WaitForShownWindow();
    ASSERT_NE(hwnd_, nullptr) << "the dialog did not show";
    Settle();
    if (waitForFirstPass) WaitForWorkers();
  }
  // Closes the dialog as the close glyph does, and waits for DoModal to return.
  void CloseDialog() {
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDCANCEL)));
    EXPECT_TRUE(thread_->WaitFinished(10s)) << "DoModal did not return after close";
    thread_.reset();
  }
  void WaitForWorkers() {
    ASSERT_TRUE(platform::kernel::WaitForAllThreads(20s)) << "a worker did not end";
    Settle();
  }
  void Advance(std::chrono::milliseconds by) {
    desktop_.Advance(by, hwnd_);
    WaitForWorkers();
  }
  void Settle() { desktop_.Settle(hwnd_); }

  // A wireless adapter: medium 9 (SSID through the Wi-Fi service) or 1 (through the driver).
  void AddWirelessAdapter(const std::string& name, const std::string& gateway, DWORD medium, const std::string& ssid,
                          bool connected = true) {
    adapters_->Add(name, "192.0.2.10", gateway);
    ndis_->SetMedium(name, medium);
    ndis_->SetConnectStatus(name, connected ? NdisMediaStateConnected : NdisMediaStateDisconnected);
    if (medium == NdisPhysicalMediumWirelessLan) {
      ndis_->SetSsid(name, ssid);
    } else {
      wlan_->AddInterface(name);
      if (!ssid.empty()) wlan_->Associate(name, ssid);
    }
  }
  // A router answering the probe as a Kavel-7100 (or with `answer`); its gateway text.
  std::string StartRouter(RouterAnswer answer = RouterAnswer::Status(200, "<html>Kavel-7100 </html>")) {
    routers_.push_back(std::make_unique<RouterSim>(std::move(answer)));
    return routers_.back()->HostPort();
  }
  // Holds every later pass at its first driver query of `adapter` until `gate_` opens.
  void HoldPassesAt(const std::string& adapter) {
    ndis_->SetQueryHook([adapter, this](const std::string& name, DWORD oid) {
      if (name == adapter && oid == OID_GEN_PHYSICAL_MEDIUM) gate_.Pass();
    });
  }

  // The trace from now on (the dialog switches it off at start-up).
  void TraceOn() {
    trace_.Clear();
    g_bDebugMessage = true;
  }
  std::vector<std::string> Trace() const { return trace_.Lines(); }
  int CountTrace(const std::string& line) const { return trace_.Count(line); }
  std::vector<std::vector<std::string>> Launches() const {
    std::lock_guard g(launchMutex_);
    return launches_;
  }

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  std::u16string TextOf(int id) const {
    WCHAR buffer[256] = {};
    GetWindowTextW(Control(id), buffer, 256);
    return buffer;
  }
  bool ShowsConnected() const { return TextOf(IDC_STATUS_LABEL) == u"Kavel-7100 と\nWi-Fi接続済みです"; }

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
  Gate gate_;

 private:
  mutable std::mutex launchMutex_;
  std::vector<std::vector<std::string>> launches_;
};

}  // namespace velmor::test
