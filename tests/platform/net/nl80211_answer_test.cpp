// nl80211 interface answers read from raw datagrams: the recorded ones (tests/fuzz/nl80211_corpus,
// laid out as the kernel writes them) and broken ones made from them.
#include "platform/net/nl80211_answer.h"

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

Status Read(const Bytes& datagram, bool dump, Nl80211InterfaceAnswer* answer = nullptr) {
  Nl80211InterfaceAnswer local(kFamily, kSequence, dump);
  Nl80211InterfaceAnswer& target = answer ? *answer : local;
  return target.Feed(datagram);
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Builders for the broken cases, in the same layout as the recordings.
void Put16(Bytes& out, std::uint16_t v) { out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
Bytes Attr(std::uint16_t type, const Bytes& payload, int length = -1) {
  Bytes out;
  Put16(out, static_cast<std::uint16_t>(length < 0 ? payload.size() + 4 : length));
  Put16(out, type);
  out.insert(out.end(), payload.begin(), payload.end());
  while (out.size() % 4) out.push_back(0);
  return out;
}
Bytes U32(std::uint16_t type, std::uint32_t v) {
  Bytes payload;
  Put32(payload, v);
  return Attr(type, payload);
}
Bytes Str(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }
Bytes Message(std::uint16_t type, const Bytes& payload, std::uint32_t sequence = kSequence, std::uint16_t flags = 0) {
  Bytes out;
  Put32(out, static_cast<std::uint32_t>(payload.size() + 16));
  Put16(out, type);
  Put16(out, flags);
  Put32(out, sequence);
  Put32(out, 0x3039);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}
Bytes Interface(const std::vector<Bytes>& attributes, std::uint8_t command = NL80211_CMD_NEW_INTERFACE) {
  Bytes out{command, 1, 0, 0};
  for (const Bytes& a : attributes) out.insert(out.end(), a.begin(), a.end());
  return out;
}
Bytes Wlan0(const std::vector<Bytes>& more = {}) {
  std::vector<Bytes> attributes{U32(NL80211_ATTR_IFINDEX, 3), Attr(NL80211_ATTR_IFNAME, Str("wlan0")),
                                U32(NL80211_ATTR_IFTYPE, NL80211_IFTYPE_STATION)};
  attributes.insert(attributes.end(), more.begin(), more.end());
  return Interface(attributes);
}
Bytes Status32(int code) {
  Bytes out;
  Put32(out, static_cast<std::uint32_t>(code));
  return out;
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
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

TEST(Nl80211Answer, TheSsidIsThereOnlyWhileAssociated) {
  Nl80211InterfaceAnswer associated(kFamily, kSequence, false);
  ASSERT_EQ(associated.Feed(Recorded("get-done-associated")), Status::Done);
  ASSERT_EQ(associated.interfaces().size(), 1u);
  ASSERT_TRUE(associated.interfaces()[0].ssid);
  EXPECT_EQ(Text(*associated.interfaces()[0].ssid), "cafe-5G");

  Nl80211InterfaceAnswer idle(kFamily, kSequence, false);
  ASSERT_EQ(idle.Feed(Recorded("get-done-not-associated")), Status::Done);
  ASSERT_EQ(idle.interfaces().size(), 1u);
  EXPECT_EQ(idle.interfaces()[0].name, "wlan0");
  EXPECT_FALSE(idle.interfaces()[0].ssid);
}

TEST(Nl80211Answer, SsidBytesComeThroughAsTheyAre) {
  Nl80211InterfaceAnswer full(kFamily, kSequence, true);
  ASSERT_EQ(full.Feed(Recorded("dump-done-ssid-32-bytes")), Status::Done);
  EXPECT_EQ(Text(*full.interfaces().at(0).ssid), "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`");

  Nl80211InterfaceAnswer zero(kFamily, kSequence, true);
  ASSERT_EQ(zero.Feed(Recorded("dump-done-ssid-zero-byte")), Status::Done);
  EXPECT_EQ(Text(*zero.interfaces().at(0).ssid), std::string("ab\0cd", 5));
}

TEST(Nl80211Answer, ADumpMaySpanDatagramsAndPassesOverOtherRequests) {
  Nl80211InterfaceAnswer answer(kFamily, kSequence, true);
  EXPECT_EQ(answer.Feed(Message(kFamily, Wlan0(), kSequence + 1, NLM_F_MULTI)), Status::More);
  EXPECT_EQ(answer.Feed(Recorded("dump-more-no-done-yet")), Status::More);
  EXPECT_EQ(answer.Feed(Message(NLMSG_NOOP, {})), Status::More);
  EXPECT_EQ(answer.Feed(Message(NLMSG_DONE, Status32(0), kSequence, NLM_F_MULTI)), Status::Done);
  EXPECT_EQ(answer.interfaces().size(), 1u);
  // Final is final.
  EXPECT_EQ(answer.Feed(Recorded("dump-more-no-done-yet")), Status::Done);
  EXPECT_EQ(answer.interfaces().size(), 1u);
}

TEST(Nl80211Answer, KernelRefusalsCarryTheirErrno) {
  Nl80211InterfaceAnswer noDevice(kFamily, kSequence, false);
  EXPECT_EQ(noDevice.Feed(Recorded("get-error-no-device")), Status::KernelError);
  EXPECT_EQ(noDevice.kernelError(), 19);

  Nl80211InterfaceAnswer failedDump(kFamily, kSequence, true);
  EXPECT_EQ(failedDump.Feed(Recorded("dump-error-dump-failed")), Status::KernelError);
  EXPECT_EQ(failedDump.kernelError(), 105);

  // An acknowledgement alone answers a request with nothing.
  Nl80211InterfaceAnswer ack(kFamily, kSequence, false);
  EXPECT_EQ(ack.Feed(Message(NLMSG_ERROR, Status32(0))), Status::Done);
  EXPECT_TRUE(ack.interfaces().empty());
}

TEST(Nl80211Answer, ATornDumpIsMarked) {
  Nl80211InterfaceAnswer answer(kFamily, kSequence, true);
  ASSERT_EQ(answer.Feed(Cat(Message(kFamily, Wlan0(), kSequence, NLM_F_MULTI | NLM_F_DUMP_INTR),
                            Message(NLMSG_DONE, Status32(0), kSequence, NLM_F_MULTI))),
            Status::Done);
  EXPECT_TRUE(answer.interrupted());
}

struct Broken {
  const char* what;
  Bytes datagram;
  bool dump = false;
};

class Nl80211Malformed : public testing::TestWithParam<Broken> {};

TEST_P(Nl80211Malformed, IsAnErrorNotAnAnswer) {
  Nl80211InterfaceAnswer answer(kFamily, kSequence, GetParam().dump);
  EXPECT_EQ(answer.Feed(GetParam().datagram), Status::Malformed);
  EXPECT_TRUE(answer.interfaces().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Nl80211Malformed,
    testing::Values(
        Broken{"ssid twice", Message(kFamily, Wlan0({Attr(NL80211_ATTR_SSID, {'a'}), Attr(NL80211_ATTR_SSID, {'b'})}))},
        Broken{"u32 of 3 bytes", Message(kFamily, Interface({Attr(NL80211_ATTR_IFINDEX, {3, 0, 0})}))},
        Broken{"u32 of 8 bytes", Message(kFamily, Interface({Attr(NL80211_ATTR_IFTYPE, Bytes(8, 0))}))},
        Broken{"name of 16 bytes", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, Str("wlan0wlan0wlan0x"))}))},
        Broken{"name with a zero inside", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, Str(std::string("wl\0an", 5)))}))},
        Broken{"empty name attribute", Message(kFamily, Interface({Attr(NL80211_ATTR_IFNAME, {})}))},
        Broken{"attribute length 3", Message(kFamily, Interface({Attr(NL80211_ATTR_SSID, {}, 3)}))},
        Broken{"attribute past its message", Message(kFamily, Interface({Attr(NL80211_ATTR_SSID, {'a', 'b'}, 12)}))},
        Broken{"two stray bytes after the attributes", Message(kFamily, Cat(Wlan0(), {0x08, 0x00}))},
        Broken{"genl header cut", Message(kFamily, {NL80211_CMD_NEW_INTERFACE, 1})},
        Broken{"another command", Message(kFamily, Interface({}, NL80211_CMD_NEW_WIPHY))},
        Broken{"error without its code", Message(NLMSG_ERROR, {0, 0})},
        Broken{"positive error code", Message(NLMSG_ERROR, Status32(5))},
        Broken{"error code out of range", Message(NLMSG_ERROR, Status32(-100000))},
        Broken{"done outside a dump", Message(NLMSG_DONE, Status32(0))},
        Broken{"done without its code", Message(NLMSG_DONE, {}, kSequence, NLM_F_MULTI), true},
        Broken{"unknown message type", Message(99, Wlan0())},
        Broken{"overrun", Message(NLMSG_OVERRUN, {})}),
    [](const testing::TestParamInfo<Broken>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(Nl80211Answer, AMessageLengthBelowItsHeaderIsMalformed) {
  Bytes datagram = Message(kFamily, Wlan0());
  datagram[0] = 8;
  EXPECT_EQ(Read(datagram, false), Status::Malformed);
}

// Cutting the recorded answer short anywhere (and making its length say so) never yields a
// shorter SSID: either the cut falls between attributes and the SSID is whole or absent, or the
// answer is malformed.
TEST(Nl80211Answer, ACutAnswerNeverYieldsAPartialSsid) {
  const Bytes whole = Recorded("get-done-associated");
  int wholeAnswers = 0;
  for (std::size_t length = NLMSG_HDRLEN; length < whole.size(); ++length) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    const std::uint32_t nlmsgLength = static_cast<std::uint32_t>(length);
    std::memcpy(cut.data(), &nlmsgLength, sizeof nlmsgLength);
    Nl80211InterfaceAnswer answer(kFamily, kSequence, false);
    const Status status = answer.Feed(cut);
    ASSERT_TRUE(status == Status::Done || status == Status::Malformed) << length;
    if (status != Status::Done) continue;
    ++wholeAnswers;
    const std::optional<std::vector<std::uint8_t>>& ssid = answer.interfaces().at(0).ssid;
    if (ssid) {
      EXPECT_EQ(Text(*ssid), "cafe-5G") << length;
    }
  }
  // The cuts at attribute boundaries do read.
  EXPECT_GT(wholeAnswers, 5);
}

// Every corpus file reads as its name says: MODE-RESULT-what.bin.
TEST(Nl80211Answer, CorpusReadsAsNamed) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    const std::string name = entry.path().stem().string();
    const std::size_t dash = name.find('-');
    const std::string mode = name.substr(0, dash);
    const std::string result = name.substr(dash + 1, name.find('-', dash + 1) - dash - 1);
    ASSERT_TRUE(mode == "dump" || mode == "get") << name;
    const Status expected = result == "done"   ? Status::Done
                            : result == "more" ? Status::More
                            : result == "error" ? Status::KernelError
                                                : Status::Malformed;
    ASSERT_TRUE(result == "done" || result == "more" || result == "error" || result == "malformed") << name;
    EXPECT_EQ(Read(Recorded(name), mode == "dump"), expected) << name;
    ++files;
  }
  EXPECT_GE(files, 20);
}

}  // namespace
