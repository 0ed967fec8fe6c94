// router_sim: the router simulator as a program of its own, for tests that run the application as
// a process (in a network namespace of their own, or on loopback).
//
// It prints "listening on HOST:PORT" once it accepts connections, and serves until SIGTERM or
// SIGINT, then exits with 0. Usage errors exit with 2, a failure to listen with 1.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "tests/support/router_sim/router_sim.h"

namespace {

constexpr const char kUsage[] =
    "usage: router_sim [--address ADDR] [--port N] [--path PATH] [--status N] [--reason TEXT]\n"
    "                  [--body TEXT | --body-file FILE] [--realm TEXT] [--location URL]\n"
    "                  [--header LINE]... [--chunked] [--chunk-size N]\n"
    "                  [--behaviour respond|silent|close-mid-body|stall-mid-body|endless]\n"
    "Answers PATH (default /admin/pcapp.asp) as asked and every other path with 404.\n"
    "--body understands \\n \\r \\t \\0 \\\\ and \\xHH.\n";

// Escapes let a body hold line ends and zero bytes on a command line.
std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case '0': out.push_back('\0'); break;
      case '\\': out.push_back('\\'); break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const std::string hex(text.substr(i + 1, 2));
        char* end = nullptr;
        const long value = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return std::nullopt;
        out.push_back(static_cast<char>(value));
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

std::optional<long> Number(const char* text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != 0 || value < low || value > high) return std::nullopt;
  return value;
}

int Usage(const std::string& why) {
  std::cerr << "router_sim: " << why << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using velmor::test::RouterAnswer;
  std::string address = "127.0.0.1";
  long port = 0;
  std::string path = velmor::test::kProbePath;
  RouterAnswer answer;

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (option == "--chunked") {
      answer.chunked = true;
      continue;
    }
    if (i + 1 >= argc) return Usage(option + " needs a value");
    const char* value = argv[++i];
    if (option == "--address") {
      address = value;
    } else if (option == "--port") {
      const auto n = Number(value, 0, 65535);
      if (!n) return Usage("bad port");
      port = *n;
    } else if (option == "--path") {
      path = value;
    } else if (option == "--status") {
      const auto n = Number(value, 100, 999);
      if (!n) return Usage("bad status");
      answer.status = static_cast<int>(*n);
    } else if (option == "--reason") {
      answer.reason = value;
    } else if (option == "--body") {
      const auto body = Unescape(value);
      if (!body) return Usage("bad escape in --body");
      answer.body = *body;
    } else if (option == "--body-file") {
      std::ifstream file(value, std::ios::binary);
      if (!file) return Usage(std::string("cannot read ") + value);
      answer.body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else if (option == "--realm") {
      answer.realm = value;
    } else if (option == "--location") {
      answer.location = value;
    } else if (option == "--header") {
      answer.extraHeaders.emplace_back(value);
    } else if (option == "--chunk-size") {
      const auto n = Number(value, 1, 1 << 20);
      if (!n) return Usage("bad chunk size");
      answer.chunkSize = static_cast<std::size_t>(*n);
    } else if (option == "--behaviour") {
      const std::string behaviour = value;
      if (behaviour == "respond") {
        answer.behaviour = RouterAnswer::Behaviour::kRespond;
      } else if (behaviour == "silent") {
        answer.behaviour = RouterAnswer::Behaviour::kSilent;
      } else if (behaviour == "close-mid-body") {
        answer.behaviour = RouterAnswer::Behaviour::kCloseMidBody;
      } else if (behaviour == "stall-mid-body") {
        answer.behaviour = RouterAnswer::Behaviour::kStallMidBody;
      } else if (behaviour == "endless") {
        answer.behaviour = RouterAnswer::Behaviour::kEndless;
      } else {
        return Usage("unknown behaviour " + behaviour);
      }
    } else {
      return Usage("unknown option " + option);
    }
  }

  // The signals are taken by sigwait below; blocked before any thread starts, no thread gets them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    velmor::test::RouterSim sim(velmor::test::RouterSim::Answers{{path, answer}}, address,
                                static_cast<std::uint16_t>(port));
    std::cout << "listening on " << sim.HostPort() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
  } catch (const std::system_error& error) {
    std::cerr << "router_sim: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
