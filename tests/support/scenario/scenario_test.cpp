// The scenario file and the backends over it: what each line means, what is ignored, and that a
// file rewritten while the program asks never yields an answer that was never written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/base/errors.h"
#include "tests/support/fake_ndis.h"
#include "tests/support/fake_net/fake_wlan.h"
#include "tests/support/scenario/scenario.h"
#include "tests/support/scenario/scenario_backend.h"

namespace velmor::test {
namespace {

using namespace std::string_literals;

ScenarioInterface Line(std::string name, std::optional<std::uint32_t> medium, bool up, std::string ssid) {
  return ScenarioInterface{std::move(name), medium, up, std::move(ssid)};
}

TEST(ScenarioLine, ReadsEveryFieldAsWritten) {
  const std::pair<const char*, ScenarioInterface> cases[] = {
      {"wlan0 9 up Kavel", Line("wlan0", 9, true, "Kavel")},
      {"wlan0 1 down Kavel", Line("wlan0", 1, false, "Kavel")},
      {"eth0 14 up", Line("eth0", 14, true, "")},
      {"wlan0 9 up ", Line("wlan0", 9, true, "")},
      {"wlan0 fail up x", Line("wlan0", std::nullopt, true, "x")},
      {"wlan0 0 down", Line("wlan0", 0, false, "")},
      {"wlan0 4294967295 up", Line("wlan0", 4294967295u, true, "")},
      {"wlan0 009 up", Line("wlan0", 9, true, "")},
      // The SSID is the whole rest: inner, leading and trailing blanks are its own.
      {"wlan0 9 up  My Home  Net ", Line("wlan0", 9, true, " My Home  Net ")},
      {"wlan0 9 up #not-a-comment", Line("wlan0", 9, true, "#not-a-comment")},
      {"wlan0 9 up a\\x00b", Line("wlan0", 9, true, "a\0b"s)},
      {"wlan0 9 up \\x5cx41", Line("wlan0", 9, true, "\\x41")},
      {"wlan0 9 up \\xe3\\x83\\x86\\xE3\\x82\\xB9", Line("wlan0", 9, true, "\xe3\x83\x86\xe3\x82\xb9")},
      {"wlan0 9 up 0123456789abcdef0123456789abcdef", Line("wlan0", 9, true, "0123456789abcdef0123456789abcdef")},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(ParseScenarioLine(line), expected) << line;
}

TEST(ScenarioLine, IgnoresCommentsEmptyAndMalformedLines) {
  const char* const lines[] = {
      "",
      "# wlan0 9 up Kavel",
      "wlan0",
      "wlan0 9",
      "wlan0  9 up",   // two blanks: an empty medium
      " wlan0 9 up",   // an empty name
      "wlan0 9  up",   // an empty state
      "wlan0\t9\tup",  // tabs are not separators
      "wlan0 -1 up",
      "wlan0 +9 up",
      "wlan0 9x up",
      "wlan0 4294967296 up",
      "wlan0 99999999999 up",
      "wlan0 FAIL up",
      "wlan0 9 UP",
      "wlan0 9 up bad\\",
      "wlan0 9 up \\x4",
      "wlan0 9 up \\xg0",
      "wlan0 9 up \\\\x41",  // a backslash is written \x5c
      "wl/an0 9 up",
      "a-b.c_d:e 9 up x",        // ':' makes an alias, never an interface name
      "averyverylongname 9 up",  // 17 bytes: longer than any interface name
      "wlan0 9 up 0123456789abcdef0123456789abcdefX",  // 33 bytes
  };
  for (const char* line : lines) EXPECT_EQ(ParseScenarioLine(line), std::nullopt) << line;
}

TEST(ScenarioFile, KeepsTheGoodLinesAroundBadOnes) {
  const Scenario scenario = Scenario::Parse(
      "# two adapters\n"
      "\n"
      "wlan0 9 up First\r\n"
      "garbage line here\n"
      "wlan1 1 down\n"
      "wlan0 14 up Second\n"  // a later line for the same name changes nothing
      "eth0 14 up\n"
      "wlan2 9 up Cut sh");    // no line end: a writer has not finished it
  ASSERT_EQ(scenario.interfaces().size(), 3u);
  EXPECT_EQ(scenario.interfaces()[0], Line("wlan0", 9, true, "First"));
  EXPECT_EQ(scenario.interfaces()[1], Line("wlan1", 1, false, ""));
  EXPECT_EQ(scenario.interfaces()[2], Line("eth0", 14, true, ""));
  EXPECT_EQ(scenario.Find("wlan2"), nullptr);
}

class ScenarioFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/velmor-scenario-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/scenario";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& text) const { WriteTo(path_, text); }
  static void WriteTo(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(ScenarioFiles, OnlyARegularFileIsReadAndOnlyUpToTheCap) {
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir_ + "/missing", dir_, dir_ + "/fifo", std::string()}) {
    EXPECT_TRUE(Scenario::Load(path).interfaces().empty()) << path;
  }

  std::string text;
  while (text.size() < kMaxScenarioBytes - 20) text += "# filler filler filler\n";
  text.resize(kMaxScenarioBytes - 20);
  text += "\nwlan0 9 up 0123456789abcdefghij\n";  // crosses the cap
  Write(text);
  EXPECT_EQ(Scenario::Load(path_).Find("wlan0"), nullptr) << "a line cut by the cap was taken";
  Write("wlan0 9 up kept\n" + std::string(kMaxScenarioBytes, '#'));
  ASSERT_NE(Scenario::Load(path_).Find("wlan0"), nullptr);
  EXPECT_EQ(Scenario::Load(path_).Find("wlan0")->ssid, "kept");
}

// --- The driver queries ---------------------------------------------------------------------

struct Answer {
  DWORD error = ERROR_SUCCESS;
  std::vector<BYTE> bytes;
  friend bool operator==(const Answer&, const Answer&) = default;
};

Answer Dword(DWORD value) {
  Answer a;
  a.bytes.resize(4);
  std::memcpy(a.bytes.data(), &value, 4);
  return a;
}

Answer SsidRecord(const std::string& ssid) {
  NDIS_802_11_SSID record{};
  record.SsidLength = static_cast<ULONG>(ssid.size());
  std::memcpy(record.Ssid, ssid.data(), ssid.size());
  Answer a;
  a.bytes.resize(sizeof record);
  std::memcpy(a.bytes.data(), &record, sizeof record);
  return a;
}

Answer Error(DWORD error) { return Answer{error, {}}; }

Answer Ask(platform::net::NdisDevices& devices, const std::string& name, DWORD oid, std::size_t room = 36) {
  std::vector<BYTE> buffer(room, 0xEE);
  DWORD written = 12345;
  Answer a;
  a.error = devices.Query(name, oid, buffer, &written);
  if (a.error == ERROR_SUCCESS) {
    a.bytes.assign(buffer.begin(), buffer.begin() + written);
  } else {
    EXPECT_EQ(written, 0u) << name << " oid " << oid;
  }
  return a;
}

TEST_F(ScenarioFiles, DriverQueriesAnswerFromTheListedLine) {
  auto linux = std::make_shared<FakeNdisDevices>();
  linux->AddAdapter("eth9");
  linux->SetMedium("eth9", NdisPhysicalMedium802_3);
  linux->AddAdapter("wlan0");
  linux->SetMedium("wlan0", NdisPhysicalMedium802_3);  // the scenario's line wins over this
  ScenarioNdisDevices devices(path_, linux);
  Write(
      "wlan0 9 up Native\n"
      "wlan1 1 up Le\\x00gacy\n"
      "wlan2 1 down Gone\n"
      "wlan3 fail up X\n"
      "wlan4 1 up\n");

  struct Case {
    const char* name;
    DWORD oid;
    Answer expected;
  } const cases[] = {
      {"wlan0", OID_GEN_PHYSICAL_MEDIUM, Dword(9)},
      {"wlan0", OID_GEN_MEDIA_CONNECT_STATUS, Dword(NdisMediaStateConnected)},
      {"wlan0", OID_802_11_SSID, Error(ERROR_NOT_SUPPORTED)},  // native 802.11: through the service
      {"wlan1", OID_GEN_PHYSICAL_MEDIUM, Dword(1)},
      {"wlan1", OID_802_11_SSID, SsidRecord("Le\0gacy"s)},
      {"wlan2", OID_GEN_MEDIA_CONNECT_STATUS, Dword(NdisMediaStateDisconnected)},
      {"wlan2", OID_802_11_SSID, SsidRecord("")},  // down: associated with nothing
      {"wlan3", OID_GEN_PHYSICAL_MEDIUM, Error(ERROR_NOT_SUPPORTED)},
      {"wlan3", OID_GEN_MEDIA_CONNECT_STATUS, Dword(NdisMediaStateConnected)},
      {"wlan4", OID_802_11_SSID, SsidRecord("")},
      {"wlan0", 0x00010101, Error(ERROR_NOT_SUPPORTED)},
      {"eth9", OID_GEN_PHYSICAL_MEDIUM, Dword(NdisPhysicalMedium802_3)},  // not listed: the wrapped backend
      {"eth9", OID_GEN_MEDIA_CONNECT_STATUS, Error(ERROR_NOT_SUPPORTED)},
      {"nosuch", OID_GEN_PHYSICAL_MEDIUM, Error(ERROR_FILE_NOT_FOUND)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " oid " + std::to_string(c.oid));
    EXPECT_EQ(Ask(devices, c.name, c.oid), c.expected);
  }
  EXPECT_EQ(Ask(devices, "wlan0", OID_GEN_PHYSICAL_MEDIUM, 3), Error(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(Ask(devices, "wlan1", OID_802_11_SSID, 35), Error(ERROR_INSUFFICIENT_BUFFER));
  // Existence is never the scenario's to say.
  EXPECT_TRUE(devices.Exists("wlan0"));
  EXPECT_FALSE(devices.Exists("wlan1"));

  // Every query reads the file again.
  Write("wlan0 9 down\n");
  EXPECT_EQ(Ask(devices, "wlan0", OID_GEN_MEDIA_CONNECT_STATUS), Dword(NdisMediaStateDisconnected));
  std::filesystem::remove(path_);
  EXPECT_EQ(Ask(devices, "wlan0", OID_GEN_MEDIA_CONNECT_STATUS), Error(ERROR_NOT_SUPPORTED)) << "the wrapped backend's";
}

// --- The Wi-Fi service ------------------------------------------------------------------------

std::vector<std::string> Names(const std::vector<platform::net::WlanInterfaceEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name + (e.connected ? "+" : "-"));
  return names;
}

TEST_F(ScenarioFiles, TheServiceListsMedium9LinesBesideTheOthers) {
  auto linux = std::make_shared<FakeWlanService>();
  linux->AddInterface("wlp1s0");
  linux->Associate("wlp1s0", "Home");
  linux->AddInterface("wlan1");  // listed in the scenario with medium 1: no longer the service's
  linux->Associate("wlan1", "Linux");
  ScenarioWlanService service(path_, linux);
  Write(
      "wlan0 9 up Kavel\\x20Net\n"
      "wlan1 1 up Legacy\n"
      "wlan2 9 down Kavel\n"
      "wlan3 9 up\n");

  std::unique_ptr<platform::net::WlanClient> client;
  ASSERT_EQ(service.Open(&client), ERROR_SUCCESS);
  std::vector<platform::net::WlanInterfaceEntry> entries;
  ASSERT_EQ(client->EnumInterfaces(&entries), ERROR_SUCCESS);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"wlp1s0+", "wlan0+", "wlan2-", "wlan3-"}));

  struct Case {
    const char* name;
    DWORD error;
    std::string ssid;
  } const cases[] = {
      {"wlan0", ERROR_SUCCESS, "Kavel Net"},
      {"wlan1", ERROR_NOT_FOUND, ""},
      {"wlan2", ERROR_INVALID_STATE, ""},
      {"wlan3", ERROR_INVALID_STATE, ""},
      {"wlp1s0", ERROR_SUCCESS, "Home"},
      {"nosuch", ERROR_NOT_FOUND, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::net::WlanConnection connection;
    EXPECT_EQ(client->QueryCurrentConnection(c.name, &connection), c.error);
    EXPECT_EQ(std::string(connection.ssid.begin(), connection.ssid.end()), c.ssid);
  }
  EXPECT_EQ(client->Close(), ERROR_SUCCESS);
  EXPECT_EQ(linux->Closes(), 1);
}

TEST_F(ScenarioFiles, TheServiceOpensWithoutTheWrappedOneOnlyForMedium9Lines) {
  auto linux = std::make_shared<FakeWlanService>();
  linux->SetOpenError(ERROR_SERVICE_NOT_ACTIVE);
  ScenarioWlanService service(path_, linux);
  std::unique_ptr<platform::net::WlanClient> client;

  Write("wlan1 1 up Legacy\n");
  EXPECT_EQ(service.Open(&client), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(client, nullptr);

  Write("wlan0 9 up Kavel\n");
  ASSERT_EQ(service.Open(&client), ERROR_SUCCESS);
  std::vector<platform::net::WlanInterfaceEntry> entries;
  ASSERT_EQ(client->EnumInterfaces(&entries), ERROR_SUCCESS);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"wlan0+"}));
  platform::net::WlanConnection connection;
  EXPECT_EQ(client->QueryCurrentConnection("wlp1s0", &connection), ERROR_NOT_FOUND);
  EXPECT_EQ(client->Close(), ERROR_SUCCESS);

  linux->SetOpenError(ERROR_SUCCESS);
  linux->SetEnumError(ERROR_GEN_FAILURE);
  ASSERT_EQ(service.Open(&client), ERROR_SUCCESS);
  EXPECT_EQ(client->EnumInterfaces(&entries), ERROR_GEN_FAILURE) << "the wrapped service's failure was hidden";
}

// --- Rewrites while the program asks ---------------------------------------------------------

TEST_F(ScenarioFiles, ARewriteUnderWayNeverYieldsAHalfWrittenAnswer) {
  // A writer rewrites the file in place, in two writes cut inside the last SSID, or replaces it
  // whole. Every answer is one that a version holds, or that of an interface not (yet) listed.
  const std::string full(32, 'B');
  std::string a, b;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "sim" + std::to_string(i);
    a += name + " 9 up " + std::string(32, 'A') + "\n";
    b += name + " 1 up " + full + "\n";
  }
  Write(a);
  ScenarioNdisDevices devices(path_, std::make_shared<FakeNdisDevices>());

  std::jthread writer([&](std::stop_token stop) {
    const std::string temp = path_ + ".new";
    for (int round = 0; !stop.stop_requested(); ++round) {
      const std::string& text = round % 2 ? b : a;
      if (round % 4 < 2) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) continue;
        const std::size_t cut = text.size() - 10;
        bool ok = ::write(fd, text.data(), cut) == static_cast<ssize_t>(cut);
        // A slow writer: long enough for a reader to find the first part alone, twice over.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ok = ok && ::write(fd, text.data() + cut, text.size() - cut) == static_cast<ssize_t>(text.size() - cut);
        ::close(fd);
        if (!ok) ADD_FAILURE() << "write failed";
      } else {
        WriteTo(temp, text);
        std::rename(temp.c_str(), path_.c_str());
      }
    }
  });

  int listed = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (std::chrono::steady_clock::now() < until) {
    const Answer medium = Ask(devices, "sim39", OID_GEN_PHYSICAL_MEDIUM);
    if (medium.error == ERROR_FILE_NOT_FOUND) continue;  // not listed in what was read
    ASSERT_TRUE(medium == Dword(9) || medium == Dword(1)) << "a medium nobody wrote";
    ++listed;
    const Answer ssid = Ask(devices, "sim39", OID_802_11_SSID);
    if (ssid.error == ERROR_FILE_NOT_FOUND || ssid.error == ERROR_NOT_SUPPORTED) continue;  // gone, or version a
    ASSERT_EQ(ssid, SsidRecord(full)) << "an SSID cut short";
  }
  EXPECT_GT(listed, 50);
}

}  // namespace
}  // namespace velmor::test
