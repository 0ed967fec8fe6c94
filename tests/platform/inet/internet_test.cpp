// The internet classes against the router simulator on loopback.
#include "platform/inet/internet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
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
using Ms = std::chrono::milliseconds;
using Pieces = std::vector<std::string>;

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

// The pieces of a body that holds no zero byte, read until it ends (error 0) or a read throws.
struct Body {
  Pieces pieces;
  DWORD error = 0;
};

Body Read(CHttpFile& file, UINT maxChars = 1024) {
  std::vector<char16_t> buffer(maxChars);
  Body body;
  body.error = ErrorOf([&] {
    while (file.ReadString(buffer.data(), maxChars) != nullptr) {
      const char* bytes = reinterpret_cast<const char*>(buffer.data());
      body.pieces.emplace_back(bytes, strnlen(bytes, std::size_t{maxChars} * 2));
    }
  });
  return body;
}

DWORD StatusOf(const CHttpFile& file) {
  DWORD status = 0;
  return file.QueryInfoStatusCode(status) ? status : 0;
}

std::u16string HeadOf(const CHttpFile& file) {
  std::u16string head;
  return file.QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, head) ? head : u"(no head)";
}

RouterAnswer With(RouterAnswer answer, Behaviour behaviour, Ms dripInterval = Ms(0)) {
  answer.behaviour = behaviour;
  answer.dripInterval = dripInterval;
  return answer;
}

class Inet : public ::testing::Test {
 protected:
  // Starts a simulator with `answers` and opens its probe page in this test's session.
  CHttpFile& Serve(RouterSim::Answers answers) {
    file_.reset();
    sim_ = std::make_unique<RouterSim>(std::move(answers));
    return Open(kProbePath);
  }
  CHttpFile& Serve(RouterAnswer answer) { return Serve(RouterSim::Answers{{kProbePath, std::move(answer)}}); }

  CHttpFile& Open(const std::string& path, DWORD flags = INTERNET_FLAG_TRANSFER_ASCII) {
    file_ = session_.OpenURL(Url(sim_->HostPort(), path).c_str(), 1, flags);
    if (!file_) throw std::runtime_error("OpenURL gave no file for " + path);
    return *file_;
  }

  CInternetSession session_;
  std::unique_ptr<RouterSim> sim_;
  std::unique_ptr<CHttpFile> file_;
};

// ---- the body ----

TEST_F(Inet, ReadStringSplitsTheBodyIntoPieces) {
  struct Case {
    const char* name;
    std::string body;
    bool chunked;
    UINT maxChars;
    Pieces pieces;
  };
  Pieces large(48, std::string(2046, 'z'));
  large.push_back(std::string(1792, 'z'));
  const Case cases[] = {
      {"lines", "a\r\nbb\n\nccc", false, 1024, {"a\n", "bb\n", "\n", "ccc"}},
      {"carriage returns dropped", "x\ry\r\r\n\r", false, 1024, {"xy\n"}},
      {"empty body", "", false, 1024, {}},
      {"long line", std::string(5000, 'a') + "\n", false, 1024,
       {std::string(2046, 'a'), std::string(2046, 'a'), std::string(908, 'a') + "\n"}},
      {"line fills a piece", std::string(2046, 'b') + "\n", false, 1024, {std::string(2046, 'b'), "\n"}},
      {"carriage returns take no room", std::string(10, '\r') + std::string(2046, 'c') + "\r\n", false, 1024,
       {std::string(2046, 'c'), "\n"}},
      {"small buffer", "abcdefghij\nk", false, 4, {"abcdef", "ghij\n", "k"}},
      {"chunked", "hello\r\nworld\nend", true, 1024, {"hello\n", "world\n", "end"}},
      {"large chunked body", std::string(100000, 'z'), true, 1024, large},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RouterAnswer answer = RouterAnswer::Status(200, c.body);
    answer.chunked = c.chunked;
    answer.chunkSize = 3;  // pieces that span chunks
    const Body body = Read(Serve(answer), c.maxChars);
    EXPECT_EQ(body.error, 0u);
    EXPECT_EQ(body.pieces, c.pieces);
  }
}

TEST_F(Inet, ReadStringStoresRawBytesZeroFillsTheRestAndNeedsRoomForAByte) {
  CHttpFile& file = Serve(RouterAnswer::Status(200, std::string("ab\0cd\nxy", 8)));
  char16_t one[1];
  EXPECT_EQ(ErrorOf([&] { file.ReadString(one, 1); }), ERROR_INVALID_PARAMETER);

  alignas(char16_t) unsigned char buffer[2048];
  std::memset(buffer, 0xAA, sizeof buffer);
  auto* wide = reinterpret_cast<LPWSTR>(buffer);
  ASSERT_EQ(file.ReadString(wide, 1024), wide);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), std::string("ab\0cd\n", 6));
  EXPECT_TRUE(std::all_of(buffer + 6, std::end(buffer), [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(Read(file).pieces, Pieces{"xy"});
  EXPECT_EQ(file.ReadString(wide, 1024), nullptr) << "an ended body stays ended";
}

// ---- status, head and request ----

TEST_F(Inet, QueryInfoGivesStatusAndHeadWithCrLfLinesAndRefusesUnknownLevelsAndClosedFiles) {
  RouterAnswer answer = RouterAnswer::Status(404, "gone\n");
  answer.extraHeaders = {"X-One: 1\nX-Two: 2"};  // lines ended by LF alone
  CHttpFile& file = Serve(answer);
  EXPECT_EQ(StatusOf(file), 404u);
  std::u16string text;
  ASSERT_TRUE(file.QueryInfo(HTTP_QUERY_STATUS_CODE, text));
  EXPECT_EQ(text, u"404");
  EXPECT_NE(HeadOf(file).find(u"\r\nX-One: 1\r\nX-Two: 2\r\n"), std::u16string::npos);
  EXPECT_FALSE(file.QueryInfo(21, text));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  file.Close();
  DWORD status = 0;
  EXPECT_FALSE(file.QueryInfoStatusCode(status));
  EXPECT_FALSE(file.QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text));
  EXPECT_EQ(Read(file).error, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

TEST_F(Inet, TheRequestIsOneGetNamedAfterTheExecutable) {
  Serve(RouterAnswer::Status(200));
  CInternetSession custom(u"custom-agent");
  ASSERT_NE(custom.OpenURL(Url(sim_->HostPort(), "/other?x=1").c_str(), 1, INTERNET_FLAG_TRANSFER_ASCII,
                           u"X-Extra: yes\r\nX-More: too\r\n"),
            nullptr);
  const auto requests = sim_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
  EXPECT_EQ(requests[0].Header("User-Agent"), "internet_test");
  EXPECT_EQ(requests[0].Header("Cookie"), "");
  EXPECT_EQ(requests[1].target, "/other?x=1");
  EXPECT_EQ(requests[1].Header("User-Agent"), "custom-agent");
  EXPECT_EQ(requests[1].Header("X-Extra"), "yes");
  EXPECT_EQ(requests[1].Header("X-More"), "too");
}

TEST_F(Inet, OpenURLGivesNoFileForOtherSchemesAndThrowsForBadUrlsAndRefusedConnections) {
  for (const char16_t* url : {u"ftp://127.0.0.1/file", u"file:///etc/hostname", u"gopher://127.0.0.1/"}) {
    EXPECT_EQ(session_.OpenURL(url), nullptr) << platform::Utf16ToUtf8(url);
  }
  for (const char16_t* url : {u"", u"127.0.0.1/admin/pcapp.asp", u"http://", u"not a url"}) {
    EXPECT_EQ(ErrorOf([&] { session_.OpenURL(url); }), ERROR_INTERNET_INVALID_URL) << platform::Utf16ToUtf8(url);
  }
  RefusingPeer refusing;
  EXPECT_EQ(ErrorOf([&] { session_.OpenURL(Url(refusing.HostPort()).c_str()); }), ERROR_INTERNET_CANNOT_CONNECT);
}

// ---- redirects ----

RouterSim::Answers Chain(int hops) {
  RouterSim::Answers answers;
  std::string from = kProbePath;
  for (int i = 1; i <= hops; ++i) {
    const std::string to = i == hops ? "/final" : "/hop" + std::to_string(i);
    answers[from] = RouterAnswer::Redirect(i % 2 != 0 ? 302 : 301, to);
    from = to;
  }
  answers["/final"] = RouterAnswer::Status(200, "arrived\n");
  return answers;
}

TEST_F(Inet, RedirectsAreFollowedUpToTenTimesAndAnEleventhFails) {
  CHttpFile& file = Serve(Chain(10));
  EXPECT_EQ(StatusOf(file), 200u);
  EXPECT_EQ(HeadOf(file), Utf8ToUtf16(RouterAnswer::Status(200, "arrived\n").Head()));
  EXPECT_EQ(Read(file).pieces, Pieces{"arrived\n"});
  EXPECT_EQ(sim_->Requests().size(), 11u);

  EXPECT_EQ(ErrorOf([&] { Serve(Chain(11)); }), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_EQ(sim_->Requests().size(), 11u);
}

TEST_F(Inet, RedirectsFollowAbsoluteLocationsOfHttpOnlyAndAreAnswersWhenNotFollowed) {
  RouterSim target(RouterAnswer::Status(200, "there\n"));
  RouterSim::Answers answers;
  answers[kProbePath] = RouterAnswer::Redirect(307, "http://" + target.HostPort() + kProbePath);
  answers["/ftp"] = RouterAnswer::Redirect(308, "ftp://" + target.HostPort() + "/file");
  EXPECT_EQ(Read(Serve(answers)).pieces, Pieces{"there\n"});
  EXPECT_EQ(ErrorOf([&] { Open("/ftp"); }), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_EQ(target.Requests().size(), 1u);

  EXPECT_EQ(StatusOf(Open(kProbePath, INTERNET_FLAG_NO_AUTO_REDIRECT)), 307u);
  EXPECT_EQ(target.Requests().size(), 1u);
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
  EXPECT_EQ(Read(*file).pieces, Pieces{"via proxy\n"});
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, "http://" + origin.HostPort() + kProbePath);
  EXPECT_EQ(withoutProxy, ERROR_INTERNET_CANNOT_CONNECT);
}

// ---- failures while reading ----

TEST_F(Inet, ACutBodyIsHandedOutThenReportedOnEveryRead) {
  const std::string line = "0123456789\n";
  CHttpFile& file = Serve(With(RouterAnswer::Status(200, line + line + line + line), Behaviour::kCloseMidBody));
  const Body body = Read(file);
  EXPECT_EQ(body.error, ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_EQ(body.pieces, (Pieces{line, line}));
  EXPECT_EQ(Read(file).error, ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(Inet, AnEndlessBodyIsReadUpToTheBound) {
  const Body body = Read(Serve(With(RouterAnswer::Status(200, std::string(99, 'e') + "\n"), Behaviour::kEndless)));
  EXPECT_EQ(body.error, ERROR_HTTP_INVALID_SERVER_RESPONSE);
  std::size_t bytes = 0;
  for (const std::string& piece : body.pieces) bytes += piece.size();
  EXPECT_EQ(bytes, platform::inet::kMaxBodyBytes);
}

// The limits scaled down from the platform's 10 s without a byte and 60 s for an exchange.
struct TimingCase {
  const char* name;
  RouterAnswer answer;
  Ms receiveTimeout;
  Ms exchangeTimeout;
  DWORD error;     // what ends the exchange: ERROR_SUCCESS when the body ends
  Pieces pieces;   // the body's pieces handed out before that
  Ms endsAfter;    // at least this long
};

void PrintTo(const TimingCase& c, std::ostream* out) { *out << c.name; }

class InetTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(InetTiming, TheExchangeEndsAsItsLimitsSay) {
  const TimingCase& c = GetParam();
  RouterSim sim(c.answer);
  platform::inet::TransferOptions options;
  options.receiveTimeout = c.receiveTimeout;
  options.exchangeTimeout = c.exchangeTimeout;
  std::unique_ptr<platform::inet::Transfer> transfer;
  ASSERT_EQ(platform::inet::Transfer::Create(options, &transfer), ERROR_SUCCESS);

  const auto start = std::chrono::steady_clock::now();
  DWORD error = transfer->Open("http://" + sim.ProbeAddress());
  Pieces pieces;
  std::string piece;
  while (error == ERROR_SUCCESS && (error = transfer->ReadPiece(1024, piece)) == ERROR_SUCCESS && !piece.empty()) {
    pieces.push_back(piece);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(pieces, c.pieces);
  EXPECT_GE(took, c.endsAfter);
  EXPECT_LT(took, c.endsAfter + Ms(2000));
}

INSTANTIATE_TEST_SUITE_P(
    Inet, InetTiming,
    ::testing::ValuesIn(std::vector<TimingCase>{
        // Every byte counts as progress, in the head as in the body: a head that drips in one byte
        // at a time is read, though each of its lines takes longer than the limit.
        {"HeadDripsSlowerThanTheLimitPerLine",
         With(RouterAnswer::Raw("HTTP/1.1 200 OK\r\nX-Slow: 0123456789\r\n\r\nok\n"), Behaviour::kDrip, Ms(20)),
         Ms(250), Ms(60000), ERROR_SUCCESS, {"ok\n"}, Ms(800)},
        // Half of the body arrives: the first line and one byte of the second, handed out once no
        // more comes.
        {"BodyStalls", With(RouterAnswer::Status(200, "first line\nsecond lines\n"), Behaviour::kStallMidBody),
         Ms(200), Ms(60000), ERROR_INTERNET_TIMEOUT, {"first line\n", "s"}, Ms(200)},
        // A byte every 50 ms never trips the limit without a byte; the exchange's limit ends it.
        {"DripWithoutEnd", With(RouterAnswer::Status(200, std::string(4000, '\n')), Behaviour::kDrip, Ms(50)),
         Ms(10000), Ms(600), ERROR_INTERNET_TIMEOUT, {}, Ms(600)},
    }),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
