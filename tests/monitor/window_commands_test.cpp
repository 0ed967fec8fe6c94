// The dialog's own window commands: the glyphs, and a press on the skin that starts a move. (The
// keyboard filter has its own executable, tests/app/key_filter_test.)
#include <gtest/gtest.h>

#include "tests/support/program/program_fixture.h"

using namespace std::chrono_literals;
using velmor::test::ProgramTest;
using Kind = platform::host::HeadlessHost::RequestKind;

class WindowCommands : public ProgramTest {};

TEST_F(WindowCommands, TheMinimiseGlyphMinimisesAndRestsAndTheCloseGlyphCloses) {
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
  EXPECT_TRUE(thread_->WaitFinished(2s));
  thread_.reset();
}

TEST_F(WindowCommands, APressOnALabelMovesTheWindowAndOnTheEnabledButtonClicks) {
  const std::string gateway = StartRouter();
  StartDialog();
  WaitForWorkers();
  const auto moves = [&] { return desktop_.Host().CountRequests(Kind::BeginMove, hwnd_); };
  // A label and the disabled settings button let the press through to the window: a move.
  desktop_.Host().ClickAt(Control(IDC_STATUS_LABEL), POINT{100, 10});
  Settle();
  EXPECT_EQ(moves(), 1u);
  desktop_.Host().ClickAt(Control(IDC_SETTINGS_BUTTON), POINT{80, 29});
  Settle();
  EXPECT_EQ(moves(), 2u);

  // Connected: the same press clicks the button and moves nothing.
  AddWirelessAdapter("wlan0", gateway, NdisPhysicalMediumNative802_11, "HomeNet");
  Advance(10s);
  desktop_.Host().ClickAt(Control(IDC_SETTINGS_BUTTON), POINT{80, 29});
  Settle();
  WaitForWorkers();
  EXPECT_EQ(moves(), 2u);
  EXPECT_EQ(Launches().size(), 1u);
}
