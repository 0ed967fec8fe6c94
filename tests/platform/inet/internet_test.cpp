// The internet classes against the router simulator on loopback.
#include "platform/inet/internet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/errors.h"
#include "platform/inet/transfer.h"
#include "tests/support/router_sim/router_sim.h"

namespace {

using platform::Utf8ToUtf16;
using velmor::test::kProbePath;
using velmor::test::RefusingPeer;
using velmor::test::RouterAnswer;
using velmor::test::RouterSim;
using Behaviour = RouterAnswer::Behaviour;
using SteadyClock = std::chrono::steady_clock;

std::u16string Url(const std::string& hostPort, const std::string& path = kProbePath) {
  return Utf8ToUtf16("http://" + hostPort + path);
}

// Runs `body` and returns the error code of the CInternetException it throws, or 0.
DWORD ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const CInternetException& e) {
    return e.m_dwError;
  }
  return 0;
}

// Reads every piece of a body that holds no zero byte.
std::vector<std::string> Pieces(CHttpFile& file, UINT maxChars = 1024) {
  std::vector<char16_t> buffer(maxChars);
  std::vector<std::string> pieces;
  while (file.ReadString(buffer.data(), maxChars) != nullptr) {
    const char* bytes = reinterpret_cast<const char*>(buffer.data());
    pieces.emplace_back(bytes, strnlen(bytes, std::size_t{maxChars} * 2));
  }
  return pieces;
}

// ---- the body, piece by piece ----

struct PieceCase {
  const char* name;
  std::string body;
  bool chunked;
  UINT maxChars;
  std::vector<std::string> pieces;
};

class InetReadStringPieces : public ::testing::TestWithParam<PieceCase> {};

TEST_P(InetReadStringPieces, SplitsTheBodyAsTheProbeExpects) {
  const PieceCase& c = GetParam();
  RouterAnswer answer = RouterAnswer::Status(200, c.body);
  answer.chunked = c.chunked;
  answer.chunkSize = 3;  // pieces that span chunks
  RouterSim sim(answer);
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Pieces(*file, c.maxChars), c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    InetBodies, InetReadStringPieces,
    ::testing::Values(
        PieceCase{"Lines", "a\r\nbb\n\nccc", false, 1024, {"a\n", "bb\n", "\n", "ccc"}},
        PieceCase{"CarriageReturnsDropped", "x\ry\r\r\n\r", false, 1024, {"xy\n"}},
        PieceCase{"EmptyBody", "", false, 1024, {}},
        PieceCase{"LongLineInPieces", std::string(5000, 'a') + "\n", false, 1024,
                  {std::string(2046, 'a'), std::string(2046, 'a'), std::string(908, 'a') + "\n"}},
        PieceCase{"LineFillsAPieceAndItsLineFeedComesNext", std::string(2046, 'b') + "\n", false, 1024,
                  {std::string(2046, 'b'), "\n"}},
        PieceCase{"CarriageReturnsTakeNoRoom", std::string(10, '\r') + std::string(2046, 'c') + "\r\n", false, 1024,
                  {std::string(2046, 'c'), "\n"}},
        PieceCase{"SmallBuffer", "abcdefghij\nk", false, 4, {"abcdef", "ghij\n", "k"}},
        PieceCase{"Chunked", "hello\r\nworld\nend", true, 1024, {"hello\n", "world\n", "end"}},
        PieceCase{"LargeChunkedBody", std::string(100000, 'z'), true, 1024, [] {
                    std::vector<std::string> pieces(48, std::string(2046, 'z'));
                    pieces.push_back(std::string(1792, 'z'));
                    return pieces;
                  }()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InetReadString, StoresRawBytesAndZeroFillsTheRest) {
  RouterSim sim(RouterAnswer::Status(200, std::string("ab\0cd\nxy", 8)));
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);

  alignas(char16_t) unsigned char buffer[2048];
  std::memset(buffer, 0xAA, sizeof buffer);
  auto* wide = reinterpret_cast<LPWSTR>(buffer);
  ASSERT_EQ(file->ReadString(wide, 1024), wide);
  const unsigned char first[] = {'a', 'b', 0, 'c', 'd', '\n'};
  EXPECT_EQ(std::memcmp(buffer, first, sizeof first), 0);
  EXPECT_TRUE(std::all_of(buffer + sizeof first, buffer + sizeof buffer, [](unsigned char b) { return b == 0; }));

  std::memset(buffer, 0xAA, sizeof buffer);
  ASSERT_EQ(file->ReadString(wide, 1024), wide);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "xy");
  EXPECT_TRUE(std::all_of(buffer + 2, buffer + sizeof buffer, [](unsigned char b) { return b == 0; }));

  EXPECT_EQ(file->ReadString(wide, 1024), nullptr);
  EXPECT_EQ(file->ReadString(wide, 1024), nullptr);
}

TEST(InetReadString, RefusesABufferWithoutRoomForAByte) {
  RouterSim sim(RouterAnswer::Status(200, "body\n"));
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  char16_t one[1];
  EXPECT_EQ(ErrorOf([&] { file->ReadString(one, 1); }), ERROR_INVALID_PARAMETER);
}

// ---- status and head ----

TEST(InetQueryInfo, GivesTheFinalAnswersStatusAndHead) {
  RouterAnswer challenge = RouterAnswer::Challenge("Kavel-7100 Web CU");
  for (const RouterAnswer& answer : {RouterAnswer::Status(200, "x\n"), RouterAnswer::Status(203),
                                     RouterAnswer::Status(404, "gone\n"), RouterAnswer::Status(500), challenge}) {
    SCOPED_TRACE(answer.status);
    RouterSim sim(answer);
    CInternetSession session;
    auto file = session.OpenURL(Url(sim.HostPort()).c_str());
    ASSERT_NE(file, nullptr);

    DWORD status = 0;
    ASSERT_TRUE(file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, static_cast<DWORD>(answer.status));
    std::u16string text;
    ASSERT_TRUE(file->QueryInfo(HTTP_QUERY_STATUS_CODE, text));
    EXPECT_EQ(text, Utf8ToUtf16(std::to_string(answer.status)));
    ASSERT_TRUE(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text));
    EXPECT_EQ(text, Utf8ToUtf16(answer.Head()));
  }
}

TEST(InetQueryInfo, HeadLinesEndInCrLfWhateverTheServerSends) {
  // A server that ends its header lines with LF alone still yields CR LF separated text.
  RouterAnswer answer = RouterAnswer::Status(200);
  answer.extraHeaders = {"X-One: 1\nX-Two: 2"};
  RouterSim sim(answer);
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  std::u16string text;
  ASSERT_TRUE(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text));
  EXPECT_NE(text.find(u"\r\nX-One: 1\r\nX-Two: 2\r\n"), std::u16string::npos);
}

TEST(InetQueryInfo, FailsForUnknownLevelsAndAfterClose) {
  RouterSim sim(RouterAnswer::Status(200));
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  std::u16string text;
  EXPECT_FALSE(file->QueryInfo(21, text));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  file->Close();
  DWORD status = 0;
  EXPECT_FALSE(file->QueryInfoStatusCode(status));
  EXPECT_FALSE(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text));
  char16_t buffer[16];
  EXPECT_EQ(ErrorOf([&] { file->ReadString(buffer, 16); }), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

// ---- the request ----

TEST(InetRequest, IsOneGetNamedAfterTheExecutable) {
  RouterSim sim(RouterAnswer::Status(200));
  {
    CInternetSession session;
    auto file = session.OpenURL(Url(sim.HostPort()).c_str());
    ASSERT_NE(file, nullptr);
  }
  {
    CInternetSession session(u"custom-agent");
    auto file = session.OpenURL(Url(sim.HostPort(), "/other?x=1").c_str(), 1, INTERNET_FLAG_TRANSFER_ASCII,
                                u"X-Extra: yes\r\nX-More: too\r\n");
    ASSERT_NE(file, nullptr);
  }
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, kProbePath);
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
  EXPECT_EQ(requests[0].Header("User-Agent"), "internet_test");
  EXPECT_EQ(requests[0].Header("Cookie"), "");
  EXPECT_EQ(requests[1].target, "/other?x=1");
  EXPECT_EQ(requests[1].Header("User-Agent"), "custom-agent");
  EXPECT_EQ(requests[1].Header("X-Extra"), "yes");
  EXPECT_EQ(requests[1].Header("X-More"), "too");
}

TEST(InetOpenURL, AnswersOtherSchemesWithNoFileAndBadUrlsWithAnException) {
  CInternetSession session;
  for (const char16_t* url : {u"ftp://127.0.0.1/file", u"file:///etc/hostname", u"gopher://127.0.0.1/"}) {
    EXPECT_EQ(session.OpenURL(url), nullptr) << platform::Utf16ToUtf8(url);
  }
  for (const char16_t* url : {u"", u"127.0.0.1/admin/pcapp.asp", u"http://", u"not a url"}) {
    EXPECT_EQ(ErrorOf([&] { session.OpenURL(url); }), ERROR_INTERNET_INVALID_URL) << platform::Utf16ToUtf8(url);
  }
}

TEST(InetOpenURL, ThrowsWhenTheConnectionIsRefused) {
  RefusingPeer refusing;
  CInternetSession session;
  EXPECT_EQ(ErrorOf([&] { session.OpenURL(Url(refusing.HostPort()).c_str()); }), ERROR_INTERNET_CANNOT_CONNECT);
}

TEST(InetOpenURL, ThrowsForAHeadTooLargeForARouter) {
  RouterAnswer answer = RouterAnswer::Status(200);
  for (int i = 0; i < 300; ++i) answer.extraHeaders.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'h'));
  RouterSim sim(answer);
  CInternetSession session;
  EXPECT_EQ(ErrorOf([&] { session.OpenURL(Url(sim.HostPort()).c_str()); }), ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

// ---- redirects ----

RouterSim::Answers Chain(int hops, const std::string& last) {
  RouterSim::Answers answers;
  std::string from = kProbePath;
  for (int i = 1; i <= hops; ++i) {
    const std::string to = i == hops ? last : "/hop" + std::to_string(i);
    answers[from] = RouterAnswer::Redirect(i % 2 != 0 ? 302 : 301, to);
    from = to;
  }
  answers["/final"] = RouterAnswer::Status(200, "arrived\n");
  return answers;
}

TEST(InetRedirects, AreFollowedUpToTenTimes) {
  RouterSim sim(Chain(10, "/final"));
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  DWORD status = 0;
  ASSERT_TRUE(file->QueryInfoStatusCode(status));
  EXPECT_EQ(status, 200u);
  std::u16string head;
  ASSERT_TRUE(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, head));
  EXPECT_EQ(head, Utf8ToUtf16(RouterAnswer::Status(200, "arrived\n").Head()));
  EXPECT_EQ(Pieces(*file), std::vector<std::string>{"arrived\n"});
  EXPECT_EQ(sim.Requests().size(), 11u);
}

TEST(InetRedirects, AnEleventhFails) {
  RouterSim sim(Chain(11, "/final"));
  CInternetSession session;
  EXPECT_EQ(ErrorOf([&] { session.OpenURL(Url(sim.HostPort()).c_str()); }), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_EQ(sim.Requests().size(), 11u);
}

TEST(InetRedirects, FollowAbsoluteLocationsOfHttpOnly) {
  RouterSim target(RouterAnswer::Status(200, "there\n"));
  RouterSim::Answers answers;
  answers[kProbePath] = RouterAnswer::Redirect(307, "http://" + target.HostPort() + kProbePath);
  answers["/ftp"] = RouterAnswer::Redirect(308, "ftp://" + target.HostPort() + "/file");
  RouterSim sim(answers);
  CInternetSession session;

  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Pieces(*file), std::vector<std::string>{"there\n"});
  EXPECT_EQ(ErrorOf([&] { session.OpenURL(Url(sim.HostPort(), "/ftp").c_str()); }), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_EQ(target.Requests().size(), 1u);
}

TEST(InetRedirects, AreAnswersWhenNotFollowed) {
  RouterSim sim(Chain(1, "/final"));
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str(), 1, INTERNET_FLAG_NO_AUTO_REDIRECT);
  ASSERT_NE(file, nullptr);
  DWORD status = 0;
  ASSERT_TRUE(file->QueryInfoStatusCode(status));
  EXPECT_EQ(status, 302u);
  EXPECT_EQ(sim.Requests().size(), 1u);
}

// ---- proxies ----

TEST(InetProxy, PreconfiguredComesFromTheEnvironmentAndDirectIgnoresIt) {
  RouterSim proxy(RouterAnswer::Status(200, "via proxy\n"));
  RefusingPeer origin("127.0.0.2");
  setenv("http_proxy", ("http://" + proxy.HostPort()).c_str(), 1);
  setenv("no_proxy", "", 1);

  CInternetSession preconfigured;
  std::unique_ptr<CHttpFile> file;
  const DWORD viaProxy = ErrorOf([&] { file = preconfigured.OpenURL(Url(origin.HostPort()).c_str()); });
  CInternetSession direct(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
  const DWORD withoutProxy = ErrorOf([&] { direct.OpenURL(Url(origin.HostPort()).c_str()); });
  unsetenv("http_proxy");
  unsetenv("no_proxy");

  ASSERT_EQ(viaProxy, 0u);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Pieces(*file), std::vector<std::string>{"via proxy\n"});
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, "http://" + origin.HostPort() + kProbePath);
  EXPECT_EQ(withoutProxy, ERROR_INTERNET_CANNOT_CONNECT);
}

// ---- failures while reading ----

TEST(InetFailures, ACutBodyIsHandedOutThenReported) {
  RouterAnswer answer = RouterAnswer::Status(200, "0123456789\n0123456789\n0123456789\n0123456789\n");
  answer.behaviour = Behaviour::kCloseMidBody;
  RouterSim sim(answer);
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  char16_t buffer[1024];
  std::vector<std::string> pieces;
  const DWORD error = ErrorOf([&] {
    while (file->ReadString(buffer, 1024) != nullptr) pieces.emplace_back(reinterpret_cast<char*>(buffer));
  });
  EXPECT_EQ(error, ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_EQ(pieces, (std::vector<std::string>{"0123456789\n", "0123456789\n"}));
  EXPECT_EQ(ErrorOf([&] { file->ReadString(buffer, 1024); }), ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST(InetFailures, AnEndlessBodyIsReadUpToTheBound) {
  RouterAnswer answer = RouterAnswer::Status(200, std::string(99, 'e') + "\n");
  answer.behaviour = Behaviour::kEndless;
  RouterSim sim(answer);
  CInternetSession session;
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  char16_t buffer[1024];
  std::size_t bytes = 0;
  const DWORD error = ErrorOf([&] {
    while (file->ReadString(buffer, 1024) != nullptr) bytes += std::strlen(reinterpret_cast<char*>(buffer));
  });
  EXPECT_EQ(error, ERROR_HTTP_INVALID_SERVER_RESPONSE);
  EXPECT_EQ(bytes, platform::inet::kMaxBodyBytes);
}

TEST(InetFailures, ABodyThatStallsTimesOutAfterTheReceiveTimeout) {
  // Half of the body is sent: the first line and one byte of the second.
  RouterAnswer answer = RouterAnswer::Status(200, "first line\nsecond lines\n");
  answer.behaviour = Behaviour::kStallMidBody;
  RouterSim sim(answer);
  CInternetSession session;
  ASSERT_TRUE(session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 200));
  auto file = session.OpenURL(Url(sim.HostPort()).c_str());
  ASSERT_NE(file, nullptr);
  char16_t buffer[1024];
  ASSERT_NE(file->ReadString(buffer, 1024), nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "first line\n");
  const auto start = SteadyClock::now();
  ASSERT_NE(file->ReadString(buffer, 1024), nullptr);  // the line's start, once no more comes
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "s");
  EXPECT_EQ(ErrorOf([&] { file->ReadString(buffer, 1024); }), ERROR_INTERNET_TIMEOUT);
  const auto elapsed = SteadyClock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(200));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
}

}  // namespace

// ---- a peer that never stops dripping ----

TEST(InetTransfer, ADripThatNeverEndsIsCutAtTheExchangeDeadline) {
  // A byte every 50 ms never trips the receive time-out; the exchange deadline still ends it.
  RouterAnswer answer = RouterAnswer::Status(200, std::string(4000, '\n'));
  answer.behaviour = Behaviour::kDrip;
  answer.dripInterval = std::chrono::milliseconds(50);
  RouterSim sim(answer);
  platform::inet::TransferOptions options;
  options.exchangeTimeout = std::chrono::milliseconds(600);
  std::unique_ptr<platform::inet::Transfer> transfer;
  ASSERT_EQ(platform::inet::Transfer::Create(options, &transfer), ERROR_SUCCESS);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(transfer->Open("http://" + sim.ProbeAddress()), ERROR_SUCCESS);
  std::string piece;
  DWORD error = ERROR_SUCCESS;
  int pieces = 0;
  while ((error = transfer->ReadPiece(1024, piece)) == ERROR_SUCCESS && !piece.empty()) ++pieces;
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(error, ERROR_INTERNET_TIMEOUT);
  EXPECT_GT(pieces, 2) << "the drip was read while it lasted";
  EXPECT_GE(took, std::chrono::milliseconds(550));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}
