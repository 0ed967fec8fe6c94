// router_sim: the router simulator as a program (end-to-end test, VM stage, benchmarks). Prints
// "listening on HOST:PORT" once it accepts connections and serves until SIGTERM or SIGINT (exit 0);
// usage errors exit with 2, a failure to listen with 1.
#include <signal.h>

#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/router_sim/router_sim.h"

int main(int argc, char** argv) {
  std::map<std::string, std::string> options{{"--address", "127.0.0.1"}, {"--port", "0"}, {"--status", "200"},
                                             {"--body", ""}, {"--realm", ""}, {"--behaviour", "respond"}};
  int i = 1;
  for (; i + 1 < argc && options.contains(argv[i]); i += 2) options[argv[i]] = argv[i + 1];
  const bool silent = options["--behaviour"] == "silent";
  if (i != argc || (!silent && options["--behaviour"] != "respond")) {
    std::cerr << "usage: router_sim [--address ADDR] [--port N] [--status N] [--body TEXT] [--realm TEXT]\n"
                 "                  [--behaviour respond|silent]\n";
    return 2;
  }
  // The signals are taken by sigwait below; blocked before any thread starts, no thread gets them.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGTERM, SIGINT}) sigaddset(&signals, number);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    using velmor::test::RouterAnswer;
    std::vector<std::string> headers;
    if (!options["--realm"].empty()) headers.push_back("WWW-Authenticate: Basic realm=\"" + options["--realm"] + "\"");
    velmor::test::RouterSim sim(silent ? RouterAnswer::Silent()
                                       : RouterAnswer::Status(std::stoi(options["--status"]), options["--body"], headers),
                                options["--address"], static_cast<std::uint16_t>(std::stoi(options["--port"])));
    std::cout << "listening on " << sim.HostPort() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
  } catch (const std::exception& error) {
    std::cerr << "router_sim: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
