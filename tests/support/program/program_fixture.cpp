#include "tests/support/program/program_fixture.h"

#include <chrono>

#include "platform/kernel/sync.h"
#include "platform/net/change_monitor.h"
#include "platform/net/iphlpapi.h"
#include "platform/net/wlanapi.h"
#include "platform/shell/shell.h"
#include "res/program_resources.h"

namespace velmor::test {

using namespace std::chrono_literals;

ProgramTest::ProgramTest() {
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

ProgramTest::~ProgramTest() {
  ndis_->SetQueryHook(nullptr);
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

void ProgramTest::StartDialog() {
  dlg_ = std::make_unique<CVelmor_managerDlg>();
  thread_ = std::make_unique<WindowThread>([this] { dlg_->DoModal(); });
  hwnd_ = desktop_.Host().WaitForShownWindow();
  ASSERT_NE(hwnd_, nullptr) << "the dialog did not show";
  Settle();
}

void ProgramTest::CloseDialog() {
  if (!thread_) return;
  PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDCANCEL)));
  EXPECT_TRUE(thread_->WaitFinished(10s)) << "DoModal did not return after close";
  thread_.reset();
}

void ProgramTest::WaitForWorkers() {
  ASSERT_TRUE(platform::kernel::WaitForAllThreads(20s)) << "a worker did not end";
  Settle();
}

void ProgramTest::Advance(std::chrono::milliseconds by) {
  desktop_.Advance(by, hwnd_);
  WaitForWorkers();
}

void ProgramTest::AddWirelessAdapter(const std::string& name, const std::string& gateway, DWORD medium,
                                     const std::string& ssid, bool connected) {
  adapters_->Add(name, "192.0.2.10", gateway);
  ndis_->AddAdapter(name);
  ndis_->SetMedium(name, medium);
  ndis_->SetConnectStatus(name, connected ? NdisMediaStateConnected : NdisMediaStateDisconnected);
  if (medium == NdisPhysicalMediumNative802_11) {
    wlan_->AddInterface(name);
    if (!ssid.empty()) wlan_->Associate(name, ssid);
  } else if (!ssid.empty()) {
    ndis_->SetSsid(name, ssid);
  }
}

std::string ProgramTest::StartRouter(RouterAnswer answer) {
  routers_.push_back(std::make_unique<RouterSim>(std::move(answer)));
  return routers_.back()->HostPort();
}

void ProgramTest::HoldPassesAt(const std::string& adapter, Gate& gate) {
  ndis_->SetQueryHook([adapter, &gate](const std::string& name, DWORD oid) {
    if (name == adapter && oid == OID_GEN_PHYSICAL_MEDIUM) gate.Pass();
  });
}

int ProgramTest::CountTrace(const std::string& line) const { return static_cast<int>(trace_.Count(line)); }

void ProgramTest::TraceOn() {
  trace_.Clear();
  g_bDebugMessage = true;
}

std::vector<std::vector<std::string>> ProgramTest::Launches() const {
  std::lock_guard g(launchMutex_);
  return launches_;
}

std::u16string ProgramTest::TextOf(int id) const {
  WCHAR buffer[256] = {};
  GetWindowTextW(Control(id), buffer, 256);
  return buffer;
}

}  // namespace velmor::test
