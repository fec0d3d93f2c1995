// The spooler link on Linux: a raw CUPS job through a private cupsd (its own
// configuration and state in a temporary directory, reached on a unix socket)
// whose raw queue prints to the printer simulator over 127.0.0.1.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "links/link_front.h"
#include "platform/platform.h"
#include "tests/support/private_cups.h"
#include "tests/support/temp_dir.h"
#include "tools/printer-sim/sim_process.h"

namespace {

using std::chrono::milliseconds;

TEST(SpoolerLinkOnCups, RawJobReachesThePrinterByteForByte) {
  support::TempDir dir;
  printersim::SimProcess sim;
  std::string error;
  ASSERT_EQ(sim.Start(printersim::SimBinaryPath(),
                      {"--tcp", "127.0.0.1:0", "--record", dir.File("rx.bin")}, &error),
            0)
      << error;
  support::PrivateCups cups(dir);
  const std::string why = cups.Start(
      "relaytest", "socket://127.0.0.1:" + std::to_string(sim.port()) + "/?waiteof=false");
  ASSERT_TRUE(why.empty()) << "no private cupsd: " << why;
  cupsSetServer(cups.socket().c_str());

  std::vector<uint8_t> job;
  for (int i = 0; i < 10000; ++i) job.push_back(static_cast<uint8_t>(i * 7));
  auto front = links::NewLinkFront(platform::Native());
  ASSERT_EQ(front->OpenLink("relaytest", 1), 0);
  EXPECT_EQ(front->WriteLink(job.data(), static_cast<int>(job.size())), 1);
  EXPECT_EQ(front->CloseLink(), 0);

  ASSERT_TRUE(sim.events().Next("conn close", milliseconds(20000)).has_value())
      << sim.events().Dump();
  EXPECT_EQ(support::ReadFile(dir.File("rx.bin")), std::string(job.begin(), job.end()));
  EXPECT_EQ(front->OpenLink("no-such-queue", 1), -1);
  EXPECT_EQ(front->CloseLink(), 2);
}

}  // namespace
