// The dialog's keyboard filter and the hidden debug switch. The keys typed so far last as long as
// the process, so this executable holds this one story alone.
#include <gtest/gtest.h>

#include "tests/support/program/program_fixture.h"

using Lines = std::vector<std::string>;

class KeyFilter : public velmor::test::ProgramTest {
 protected:
  void Type(std::initializer_list<UINT> keys) {
    for (UINT k : keys) desktop_.Host().TypeKey(k);
    Settle();
  }
};

TEST_F(KeyFilter, QxjAsTheFirstCountedKeysFlipsTheTraceAndAnyOtherKeyFirstEndsTheSequence) {
  StartDialog();
  // Enter and Escape are swallowed: neither closes the window nor counts.
  Type({VK_RETURN, VK_ESCAPE, 'Q', VK_ESCAPE, 'X', VK_RETURN, 'J'});
  EXPECT_FALSE(thread_->WaitFinished(std::chrono::milliseconds(0))) << "Escape must not close the window";
  EXPECT_EQ(Trace(), Lines{"Debug Message ON!"});
  EXPECT_TRUE(g_bDebugMessage);
  trace_.Clear();
  Type({'Q', 'X', 'J'});
  EXPECT_EQ(Trace(), Lines{"Debug Message OFF!"});
  EXPECT_FALSE(g_bDebugMessage);
  trace_.Clear();
  // A mismatch is never forgotten: no later sequence flips the switch in this run.
  Type({'A', 'Q', 'X', 'J', 'Q', 'X', 'J'});
  EXPECT_TRUE(Trace().empty());
  EXPECT_FALSE(g_bDebugMessage);
}
