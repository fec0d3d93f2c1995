// An unmodified third-party ESC/POS client (node-thermal-printer) prints to
// the simulator and reads its status. scripts/setup installs it into
// build/node; PRINTERSIM_NODE_MODULES names another node_modules folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "tools/printer-sim/event_log.h"
#include "tools/printer-sim/sim_server.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;

std::string FindModules() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("PRINTERSIM_NODE_MODULES")) candidates.push_back(env);
  candidates.push_back(std::string(PRINTERSIM_TESTS_DIR) + "/../../build/node/node_modules");
  candidates.push_back("/usr/local/lib/node_modules");
  candidates.push_back("/usr/lib/node_modules");
  for (const std::string& dir : candidates) {
    if (std::filesystem::exists(dir + "/node-thermal-printer/package.json")) return dir;
  }
  return "";
}

TEST(ThirdPartyClientTest, NodeThermalPrinterPrintsAndReadsStatus) {
  // A missing client fails the test: skipped, it would prove nothing.
  ASSERT_EQ(std::system("node --version >/dev/null 2>&1"), 0) << "node is not installed";
  const std::string modules = FindModules();
  ASSERT_FALSE(modules.empty()) << "node-thermal-printer not found: run scripts/setup";
  EventLog events;
  SimConfig config;
  config.tcp = "127.0.0.1:0";
  config.initial.status.paper = PaperState::kNearEnd;
  auto server = std::make_unique<SimServer>(config, events.Sink());
  std::string error;
  ASSERT_EQ(server->Start(&error), 0) << error;

  const std::string command = "NODE_PATH='" + modules + "' timeout 30 node '" +
                              std::string(PRINTERSIM_TESTS_DIR) + "/third_party_print.js' " +
                              std::to_string(server->port()) + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buf[1024];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output << events.Dump();
  // GS r 1 with the roll near its end: paper sensor bits 0x03.
  EXPECT_NE(output.find("connected=true status=03"), std::string::npos) << output;
  // The receipt (text, QR code, barcode, cut) drew no answer of its own.
  const auto lines = events.Lines();
  size_t answers = 0;
  for (const std::string& line : lines) answers += line.starts_with("tx ");
  EXPECT_EQ(answers, 1u) << events.Dump();
  EXPECT_TRUE(events.Next("cmd GS_(k", 1s)) << events.Dump();
  EXPECT_TRUE(events.Next("cmd GS_V", 1s)) << events.Dump();
  EXPECT_TRUE(events.Next("cmd GS_r 1", 1s)) << events.Dump();
}

}  // namespace
}  // namespace printersim
