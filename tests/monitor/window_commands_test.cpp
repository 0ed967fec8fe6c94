// Close, minimise and drag. The keyboard filter has its own executable (tests/app/key_filter_test).
#include <gtest/gtest.h>

#include <chrono>

#include "platform/kernel/sync.h"
#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::Gate;
using velmor::test::ProgramTest;
using velmor::test::RouterAnswer;
using Kind = platform::host::HeadlessHost::RequestKind;

namespace {

class WindowCommands : public ProgramTest {
 protected:
  bool DialogEnded() { return thread_->WaitFinished(2s); }
  std::size_t Moves() { return desktop_.Host().CountRequests(Kind::BeginMove, hwnd_); }
};

}  // namespace

TEST_F(WindowCommands, AltF4ClosesThroughTheCloseSequence) {
  StartDialog();
  WaitForWorkers();
  desktop_.Host().KeyDown(VK_MENU);
  desktop_.Host().TypeKey(VK_F4);
  desktop_.Host().KeyUp(VK_MENU);
  EXPECT_TRUE(DialogEnded());
  thread_.reset();
}

TEST_F(WindowCommands, CloseGlyphClosesAndMinimiseGlyphMinimises) {
  StartDialog();
  WaitForWorkers();
  desktop_.Host().ClickAt(Control(IDC_MINIMIZE_BUTTON), POINT{9, 12});
  Settle();
  EXPECT_TRUE(IsIconic(hwnd_));
  desktop_.Host().UserRestore(hwnd_);
  desktop_.Host().MoveMouseTo(hwnd_, POINT{150, 300});
  Settle();
  EXPECT_EQ(dlg_->m_btnMinimize.GetLookState(), 0) << "the glyph rests in its normal look";

  desktop_.Host().ClickAt(Control(IDCANCEL), POINT{9, 12});
  EXPECT_TRUE(DialogEnded());
  thread_.reset();
}

TEST_F(WindowCommands, PressOnAFreePointDragsAndOnTheEnabledButtonClicks) {
  const std::string gateway = StartRouter();
  StartDialog();
  WaitForWorkers();
  // Labels and the disabled settings button let the press through to the window: a move.
  desktop_.Host().MoveMouseTo(Control(IDC_STATUS_LABEL), POINT{100, 10});
  desktop_.Host().Press();
  desktop_.Host().Release();
  Settle();
  EXPECT_EQ(Moves(), 1u);
  desktop_.Host().ClickAt(Control(IDC_SETTINGS_BUTTON), POINT{80, 29});
  Settle();
  EXPECT_EQ(Moves(), 2u);
  EXPECT_TRUE(Launches().empty());

  // Connected: the same press clicks the button and moves nothing.
  AddWirelessAdapter("wlan0", gateway, NdisPhysicalMediumNative802_11, "HomeNet");
  Advance(10s);
  ASSERT_TRUE(IsWindowEnabled(Control(IDC_SETTINGS_BUTTON)));
  desktop_.Host().ClickAt(Control(IDC_SETTINGS_BUTTON), POINT{80, 29});
  Settle();
  WaitForWorkers();
  EXPECT_EQ(Moves(), 2u);
  EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(WindowCommands, CloseDuringABlockedProbeAndAWaitingLaunchIsImmediate) {
  // A gateway that accepts and never answers: the probe would block for ten seconds.
  RouterAnswer silentAnswer;
  silentAnswer.behaviour = RouterAnswer::Behaviour::kSilent;
  const std::string silent = StartRouter(silentAnswer);
  AddWirelessAdapter("wlan0", silent, NdisPhysicalMediumNative802_11, "HomeNet");
  StartDialog();
  ASSERT_TRUE(routers_[0]->WaitForRequests(1, 5s)) << "the first pass is probing";
  // Something that waits for the pass: a launch from the keyboard's point of view is a click.
  PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS_BUTTON, BN_CLICKED),
               reinterpret_cast<LPARAM>(Control(IDC_SETTINGS_BUTTON)));
  Settle();
  const auto start = std::chrono::steady_clock::now();
  CloseDialog();
  const auto closed = std::chrono::steady_clock::now();
  EXPECT_LT(closed - start, 2s) << "close waited";
  EXPECT_TRUE(platform::kernel::WaitForAllThreads(1s)) << "a worker outlived close by a second";
  EXPECT_TRUE(Launches().empty());
}
