// Texts that come from the network or the drivers (SSIDs, adapter descriptions) are data: the
// window shows them and the trace carries them as plain text, whatever bytes they hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "tests/support/program/program_fixture.h"

using velmor::test::ProgramTest;

namespace {

// U+FFFD as the trace's UTF-8 carries it, and as the window's UTF-16.
const std::string kBad = "\xEF\xBF\xBD";

struct UntrustedCase {
  const char* name;
  std::string ssid;         // as the adapter reports it
  std::string description;  // the adapter's description
  std::u16string shown;     // the SSID line in the window
  std::string traced;       // the description line in the trace
};

void PrintTo(const UntrustedCase& c, std::ostream* out) { *out << c.name; }

std::vector<UntrustedCase> Cases() {
  return {
      {"PrintfDirectives", "%s%n%x%d", "wlan %s%n%p%ls%hs", u"SSID: %s%n%x%d", "wlan %s%n%p%ls%hs"},
      // The trace shows control characters (C0, DEL, C1) as escapes a terminal does not act on.
      {"ControlCharacters", "a\x1b[2J\r\n\tb\x07", "desc\x1b]0;title\x07\r\n\x7f\xc2\x9b" "1m",
       u"SSID: a\x1b[2J\r\n\tb\x07", "desc\\x1B]0;title\\x07\\x0D\\x0A\\x7F\\x9B" "1m"},
      // Each invalid byte is kept in the text (the window draws it as U+FFFD) and traced as U+FFFD.
      {"InvalidUtf8", "\xff\xfe\xc3(\x80", "d\xff\xfe(\x80", u"SSID: \xDCFF\xDCFE\xDCC3(\xDC80",
       "d" + kBad + kBad + "(" + kBad},
      // 32 bytes of directives with no terminator: the line is cut for its label (one "%" more than
      // the length rule, as the 22 characters are wider than the label), never read past.
      {"DirectivesFilling32Bytes", "%s%n%s%n%s%n%s%n%s%n%s%n%s%n%s%n", std::string(131, '%'), u"SSID: %s%n%s%n%s%n...",
       std::string(131, '%')},
  };
}

class UntrustedText : public ProgramTest, public ::testing::WithParamInterface<std::tuple<UntrustedCase, DWORD>> {
 protected:
  // One wireless adapter with the case's texts behind a router that is recognised.
  void AddAdapter(const UntrustedCase& c, DWORD medium) {
    const std::string gateway = StartRouter();
    platform::net::AdapterRecord record = velmor::test::FakeAdapterSource::Record("wlan0", 1, "192.0.2.10", gateway);
    record.description = c.description;
    adapters_->Add(record);
    ndis_->AddAdapter("wlan0");
    ndis_->SetMedium("wlan0", medium);
    ndis_->SetConnectStatus("wlan0", NdisMediaStateConnected);
    if (medium == NdisPhysicalMediumNative802_11) {
      wlan_->AddInterface("wlan0", c.description);
      wlan_->Associate("wlan0", c.ssid);
    } else {
      ndis_->SetSsid("wlan0", c.ssid);
    }
  }
};

}  // namespace

TEST_P(UntrustedText, IsShownAndTracedAsPlainText) {
  const auto& [c, medium] = GetParam();
  AddAdapter(c, medium);
  StartDialog();
  WaitForWorkers();
  EXPECT_EQ(TextOf(IDC_SSID_LABEL), c.shown);
  EXPECT_EQ(std::string(dlg_->m_szLastSsid), c.ssid);

  // The next pass traces the description as one line of its own, after the code-page conversion.
  TraceOn();
  Advance(std::chrono::milliseconds(30000));
  const std::vector<std::string> trace = Trace();
  EXPECT_EQ(CountTrace(c.traced), 1);
  EXPECT_EQ(CountTrace("found SSID\n"), 1);
  for (const std::string& line : trace) EXPECT_EQ(line.find("(null)"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Texts, UntrustedText,
                         ::testing::Combine(::testing::ValuesIn(Cases()),
                                            ::testing::Values(DWORD{NdisPhysicalMediumNative802_11},
                                                              DWORD{NdisPhysicalMediumWirelessLan})),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == NdisPhysicalMediumNative802_11 ? "Native" : "Legacy");
                         });
