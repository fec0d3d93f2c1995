// A small Windows program that drives the real TcpLink (Winsock) through the
// link front, one command per standard-input line, so a Linux test can run it
// under Wine against the printer simulator and change the printer between
// steps. Every command answers with one line on standard output:
//   open            -> "open CODE MS"      write HEX  -> "write CODE"
//   wait MS         -> "wait CODE"         status     -> "status CODE"
//   close           -> "close CODE"        quit       -> ends the program
// Usage: tcp_link_driver HOST PORT (prints "ready" first).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tcp_link_driver HOST PORT\n");
    return 2;
  }
  const std::string host = argv[1];
  const int port = std::atoi(argv[2]);
  auto front = links::NewLinkFront(platform::Native());
  Say("ready");

  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string command = line.substr(0, line.find(' '));
    const std::string argument =
        line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    if (command == "open") {
      const auto start = std::chrono::steady_clock::now();
      const int code = front->OpenLink(host, port);
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
      Say("open " + std::to_string(code) + " " + std::to_string(ms));
    } else if (command == "write") {
      const std::vector<uint8_t> bytes = FromHex(argument);
      Say("write " +
          std::to_string(front->WriteLink(bytes.data(), static_cast<int>(bytes.size()))));
    } else if (command == "wait") {
      const auto timeout = static_cast<uint32_t>(std::strtoul(argument.c_str(), nullptr, 10));
      Say("wait " + std::to_string(front->WaitPrintResult(timeout)));
    } else if (command == "status") {
      Say("status " + std::to_string(front->GetStatus()));
    } else if (command == "close") {
      Say("close " + std::to_string(front->CloseLink()));
    } else if (command == "quit") {
      break;
    } else {
      Say("error unknown command " + command);
    }
  }
  front->CloseLink();
  return 0;
}
