// The router_sim program as the end-to-end tests run it: a process that prints where it listens,
// answers as its command line says, and ends cleanly on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/inet/internet.h"

extern char** environ;

namespace {

struct Program {
  pid_t pid = -1;
  std::string firstLine;  // what it printed first
};

// Starts router_sim with `args` and reads its first line of output (at most 5 s).
Program Start(const std::vector<std::string>& args) {
  int pipeFds[2];
  EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words{ROUTER_SIM_PROGRAM};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  Program program;
  EXPECT_EQ(posix_spawn(&program.pid, ROUTER_SIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  char c = 0;
  pollfd readable{pipeFds[0], POLLIN, 0};
  while (poll(&readable, 1, 5000) == 1 && read(pipeFds[0], &c, 1) == 1 && c != '\n') program.firstLine.push_back(c);
  close(pipeFds[0]);
  return program;
}

// SIGTERM, then the exit status (or -1 when it did not exit normally).
int Finish(Program& program, bool signal = true) {
  if (signal) kill(program.pid, SIGTERM);
  int status = 0;
  if (waitpid(program.pid, &status, 0) != program.pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

struct Fetched {
  DWORD status = 0;
  std::string head;
  std::string body;  // the pieces joined, zero bytes kept
};

std::optional<Fetched> Fetch(const std::string& hostPort, const std::string& path) {
  try {
    CInternetSession session;
    auto file = session.OpenURL(platform::Utf8ToUtf16("http://" + hostPort + path).c_str());
    std::u16string head;
    Fetched fetched;
    if (!file || !file->QueryInfoStatusCode(fetched.status) || !file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, head)) {
      return std::nullopt;
    }
    fetched.head = platform::Utf16ToUtf8(head);
    alignas(char16_t) char buffer[2048];
    while (file->ReadString(reinterpret_cast<LPWSTR>(buffer), 1024) != nullptr) {
      // A piece ends in its LF or fills the buffer; zero bytes before that are body bytes.
      std::size_t length = sizeof buffer;
      while (length > 0 && buffer[length - 1] == 0) --length;
      fetched.body.append(buffer, length);
    }
    return fetched;
  } catch (const CInternetException&) {
    return std::nullopt;
  }
}

TEST(RouterSimProgram, AnswersAsItsCommandLineSays) {
  struct Case {
    std::vector<std::string> args;
    std::string path;
    DWORD status;
    std::string headPart;
    std::string body;
  };
  const Case cases[] = {
      {{"--body", "one\\ntwo Kavel-7100 \\n"}, "/admin/pcapp.asp", 200, "Content-Length: 20\r\n", "one\ntwo Kavel-7100 \n"},
      {{"--status", "401", "--realm", "Kavel-7100 Web CU", "--body", ""}, "/admin/pcapp.asp", 401,
       "WWW-Authenticate: Basic realm=\"Kavel-7100 Web CU\"\r\n", ""},
      {{"--path", "/x", "--status", "203", "--body", "x"}, "/x", 203, "HTTP/1.1 203 ", "x"},
      {{"--path", "/x"}, "/admin/pcapp.asp", 404, "HTTP/1.1 404 Not Found\r\n", "<html><body>404 Not Found</body></html>\n"},
      {{"--body", "a\\0b\\x41\\n", "--chunked", "--chunk-size", "2", "--header", "X-Test: yes"}, "/admin/pcapp.asp", 200,
       "Transfer-Encoding: chunked\r\nConnection: close\r\nX-Test: yes\r\n", std::string("a\0bA\n", 5)},
      {{"--status", "302", "--location", "/moved", "--port", "0"}, "/admin/pcapp.asp", 404, "HTTP/1.1 404 ",
       "<html><body>404 Not Found</body></html>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    Program program = Start(c.args);
    ASSERT_TRUE(program.firstLine.starts_with("listening on ")) << program.firstLine;
    const auto fetched = Fetch(program.firstLine.substr(13), c.path);
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(fetched->status, c.status);
    EXPECT_NE(fetched->head.find(c.headPart), std::string::npos) << fetched->head;
    EXPECT_EQ(fetched->body, c.body);
    EXPECT_EQ(Finish(program), 0);
  }
}

TEST(RouterSimProgram, RefusesBadCommandLinesAndAddressesItCannotBind) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--status", "abc"}, {"--behaviour", "sometimes"}, {"--port"}, {"--body", "\\q"}, {"--unknown", "1"}}) {
    Program program = Start(args);
    EXPECT_EQ(program.firstLine, "");
    EXPECT_EQ(Finish(program, false), 2) << args.front();
  }
  // Binding sends nothing; an address this machine does not have cannot be bound.
  Program program = Start({"--address", "192.0.2.1"});
  EXPECT_EQ(program.firstLine, "");
  EXPECT_EQ(Finish(program, false), 1);
}

}  // namespace
