// nl80211 interface answers read from raw datagrams: the recorded ones (tests/fuzz/nl80211_corpus,
// laid out as the kernel writes them) and broken ones made from them.
#include "platform/net/nl80211_answer.h"

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::net::Nl80211Interface;
using platform::net::Nl80211InterfaceAnswer;
using Status = Nl80211InterfaceAnswer::Status;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kFamily = 34;
constexpr std::uint32_t kSequence = 1;
const std::filesystem::path kCorpus = VELMOR_NL80211_CORPUS;

Bytes Recorded(const std::string& name) {
  std::ifstream file(kCorpus / (name + ".bin"), std::ios::binary);
  EXPECT_TRUE(file) << name;
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Builders for the broken cases, in the same layout as the recordings.
void Put(Bytes& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
Bytes Attr(std::uint16_t type, const Bytes& payload) {
  Bytes out;
  Put(out, static_cast<std::uint32_t>(payload.size() + 4), 2);
  Put(out, type, 2);
  out.insert(out.end(), payload.begin(), payload.end());
  while (out.size() % 4) out.push_back(0);
  return out;
}
Bytes Le32(std::uint32_t v) {
  Bytes out;
  Put(out, v, 4);
  return out;
}
Bytes Str(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }
Bytes Message(std::uint16_t type, const Bytes& payload, std::uint32_t sequence = kSequence, std::uint16_t flags = 0) {
  Bytes out;
  Put(out, static_cast<std::uint32_t>(payload.size() + 16), 4);
  Put(out, type, 2);
  Put(out, flags, 2);
  Put(out, sequence, 4);
  Put(out, 0x3039, 4);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
Bytes Interface(const std::vector<Bytes>& attributes, std::uint8_t command = NL80211_CMD_NEW_INTERFACE) {
  Bytes out{command, 1, 0, 0};
  for (const Bytes& a : attributes) out.insert(out.end(), a.begin(), a.end());
  return out;
}
Bytes Wlan0() {
  return Interface({Attr(NL80211_ATTR_IFINDEX, Le32(3)), Attr(NL80211_ATTR_IFNAME, Str("wlan0")),
                    Attr(NL80211_ATTR_IFTYPE, Le32(NL80211_IFTYPE_STATION))});
}
// The first message's length field rewritten.
Bytes WithLength(Bytes datagram, std::uint32_t length) {
  std::memcpy(datagram.data(), &length, sizeof length);
  return datagram;
}

// Every corpus file reads as its name says (MODE-RESULT-what.bin); the SSIDs and errnos listed
// here come through as recorded, the SSID bytes as they are.
TEST(Nl80211Answer, CorpusReadsAsNamed) {
  const std::map<std::string, std::optional<std::string>> ssids = {
      {"get-done-associated", "cafe-5G"},
      {"get-done-not-associated", std::nullopt},  // there only while associated
      {"dump-done-ssid-32-bytes", "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"},
      {"dump-done-ssid-zero-byte", std::string("ab\0cd", 5)},
  };
  const std::map<std::string, int> errnos = {{"get-error-no-device", 19}, {"dump-error-dump-failed", 105}};
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    const std::size_t dash = name.find('-');
    const std::string mode = name.substr(0, dash);
    const std::string result = name.substr(dash + 1, name.find('-', dash + 1) - dash - 1);
    ASSERT_TRUE(mode == "dump" || mode == "get");
    ASSERT_TRUE(result == "done" || result == "more" || result == "error" || result == "malformed");
    const Status expected = result == "done"    ? Status::Done
                            : result == "more"  ? Status::More
                            : result == "error" ? Status::KernelError
                                                : Status::Malformed;
    Nl80211InterfaceAnswer answer(kFamily, kSequence, mode == "dump");
    EXPECT_EQ(answer.Feed(Recorded(name)), expected);
    if (const auto it = ssids.find(name); it != ssids.end()) {
      ASSERT_EQ(answer.interfaces().size(), 1u);
      const auto& ssid = answer.interfaces()[0].ssid;
      EXPECT_EQ(ssid ? std::optional(Text(*ssid)) : std::nullopt, it->second);
    }
    if (const auto it = errnos.find(name); it != errnos.end()) {
      EXPECT_EQ(answer.kernelError(), it->second);
    }
    ++files;
  }
  EXPECT_GE(files, 20);
}

TEST(Nl80211Answer, ReadsADumpOfSeveralInterfaces) {
  Nl80211InterfaceAnswer answer(kFamily, kSequence, true);
  ASSERT_EQ(answer.Feed(Recorded("dump-done-several-interfaces")), Status::Done);
  const std::vector<Nl80211Interface>& interfaces = answer.interfaces();
  ASSERT_EQ(interfaces.size(), 3u);
  EXPECT_EQ(interfaces[0].ifindex, 3u);
  EXPECT_EQ(interfaces[0].name, "wlan0");
  EXPECT_EQ(interfaces[0].iftype, static_cast<std::uint32_t>(NL80211_IFTYPE_STATION));
  ASSERT_TRUE(interfaces[0].ssid);
  EXPECT_EQ(Text(*interfaces[0].ssid), "office");
  EXPECT_EQ(interfaces[1].ifindex, 5u);
  EXPECT_EQ(interfaces[1].name, "wlp2s0");
  EXPECT_EQ(interfaces[1].wiphy, 1u);
  EXPECT_FALSE(interfaces[1].ssid);
  // The P2P device has no network interface: neither index nor name.
  EXPECT_FALSE(interfaces[2].ifindex);
  EXPECT_EQ(interfaces[2].name, "");
  EXPECT_EQ(interfaces[2].iftype, static_cast<std::uint32_t>(NL80211_IFTYPE_P2P_DEVICE));
}

TEST(Nl80211Answer, ADumpMaySpanDatagramsPassesOverOtherRequestsAndMarksATornList) {
  Nl80211InterfaceAnswer answer(kFamily, kSequence, true);
  EXPECT_EQ(answer.Feed(Message(kFamily, Wlan0(), kSequence + 1, NLM_F_MULTI)), Status::More);
  EXPECT_EQ(answer.Feed(Recorded("dump-more-no-done-yet")), Status::More);
  EXPECT_EQ(answer.Feed(Message(NLMSG_NOOP, {})), Status::More);
  EXPECT_FALSE(answer.interrupted());
  EXPECT_EQ(answer.Feed(Message(kFamily, Wlan0(), kSequence, NLM_F_MULTI | NLM_F_DUMP_INTR)), Status::More);
  EXPECT_EQ(answer.Feed(Message(NLMSG_DONE, Le32(0), kSequence, NLM_F_MULTI)), Status::Done);
  EXPECT_EQ(answer.interfaces().size(), 2u);
  EXPECT_TRUE(answer.interrupted());
  // Final is final.
  EXPECT_EQ(answer.Feed(Recorded("dump-more-no-done-yet")), Status::Done);
  EXPECT_EQ(answer.interfaces().size(), 2u);
}

// Broken answers beyond the corpus's (which holds the cut headers, short u32s, unterminated names,
// attributes past their message, long SSIDs and repeated ones).
TEST(Nl80211Answer, CraftedAnswersReadAsTheyShould) {
  struct Case {
    const char* what;
    Bytes datagram;
    bool dump;
    Status expected;
  };
  const Case cases[] = {
      {"an acknowledgement alone", Message(NLMSG_ERROR, Le32(0)), false, Status::Done},
      {"u32 of 8 bytes", Message(kFamily, Interface({Attr(NL80211_ATTR_IFTYPE, Bytes(8, 0))})), false, Status::Malformed},
      {"name of 16 bytes", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, Str("wlan0wlan0wlan0x"))})), false,
       Status::Malformed},
      {"name with a zero inside", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, Str(std::string("wl\0an", 5)))})),
       false, Status::Malformed},
      {"empty name attribute", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, {})})), false, Status::Malformed},
      {"another command", Message(kFamily, Interface({}, NL80211_CMD_NEW_WIPHY)), false, Status::Malformed},
      {"error without its code", Message(NLMSG_ERROR, {0, 0}), false, Status::Malformed},
      {"positive error code", Message(NLMSG_ERROR, Le32(5)), false, Status::Malformed},
      {"error code out of range", Message(NLMSG_ERROR, Le32(-100000)), false, Status::Malformed},
      {"done outside a dump", Message(NLMSG_DONE, Le32(0)), false, Status::Malformed},
      {"done without its code", Message(NLMSG_DONE, {}, kSequence, NLM_F_MULTI), true, Status::Malformed},
      {"unknown message type", Message(99, Wlan0()), false, Status::Malformed},
      {"overrun", Message(NLMSG_OVERRUN, {}), false, Status::Malformed},
      {"message length below its header", WithLength(Message(kFamily, Wlan0()), 8), false, Status::Malformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Nl80211InterfaceAnswer answer(kFamily, kSequence, c.dump);
    EXPECT_EQ(answer.Feed(c.datagram), c.expected);
    EXPECT_TRUE(answer.interfaces().empty());
  }
}

// Cut anywhere (with its length saying so), the recorded answer is either whole up to an
// attribute boundary, its SSID whole or absent, or malformed: never a shorter SSID.
TEST(Nl80211Answer, ACutAnswerNeverYieldsAPartialSsid) {
  const Bytes whole = Recorded("get-done-associated");
  int wholeAnswers = 0;
  for (std::size_t length = NLMSG_HDRLEN; length < whole.size(); ++length) {
    const Bytes cut = WithLength(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)),
                                 static_cast<std::uint32_t>(length));
    Nl80211InterfaceAnswer answer(kFamily, kSequence, false);
    const Status status = answer.Feed(cut);
    ASSERT_TRUE(status == Status::Done || status == Status::Malformed) << length;
    if (status != Status::Done) continue;
    ++wholeAnswers;
    const auto& ssid = answer.interfaces().at(0).ssid;
    if (ssid) {
      EXPECT_EQ(Text(*ssid), "cafe-5G") << length;
    }
  }
  EXPECT_GT(wholeAnswers, 5) << "the cuts at attribute boundaries do read";
}

}  // namespace
