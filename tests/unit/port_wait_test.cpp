// The wait on the relay ends, on scripted ports and the fake clock: what
// ends it, when, and that a port in error neither ends it early nor makes it
// spin.
#include "platform/port_wait.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/fakes/fake_relay_port.h"
#include "tests/fakes/fake_serial_port.h"

namespace {

using platform::WaitEnd;
using Ports = std::vector<platform::SerialPort*>;

constexpr uint32_t kTimeout = 100;
constexpr uint32_t kPoll = 10;

struct Rig {
  Rig() {
    auto owned = std::make_unique<fakes::FakePortSignals>(clock);
    signals = owned.get();
    wait = std::make_unique<platform::PortWait>(clock, std::move(owned));
    clock.SetNow(5000);
    port.StartScriptAt(5000);
  }
  uint32_t Elapsed() { return clock.NowMs() - 5000; }

  fakes::FakeClock clock;
  fakes::FakePortSignals* signals = nullptr;
  std::unique_ptr<platform::PortWait> wait;
  fakes::FakeRelayPort port{clock};
};

struct WaitCase {
  const char* name;
  std::function<void(Rig&)> script;
  WaitEnd end;
  uint32_t elapsedMs;
};

class PortWaitEnds : public ::testing::TestWithParam<WaitCase> {};

TEST_P(PortWaitEnds, AsTheInputAndTheWakeUpSay) {
  Rig r;
  GetParam().script(r);
  Ports ports{&r.port};
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), GetParam().end);
  EXPECT_EQ(r.Elapsed(), GetParam().elapsedMs);
}

INSTANTIATE_TEST_SUITE_P(
    PortWait, PortWaitEnds,
    ::testing::Values(
        WaitCase{"InputAlreadyQueued", [](Rig& r) { r.port.Arrive(0, {1}); }, WaitEnd::kInput, 0},
        // Not at the next multiple of some polling period: when it comes.
        WaitCase{"InputArrivingDuringTheWait", [](Rig& r) { r.port.Arrive(37, {1}); },
                 WaitEnd::kInput, 37},
        WaitCase{"NoInput", [](Rig&) {}, WaitEnd::kTimeUp, kTimeout},
        WaitCase{"InputAfterTheTime", [](Rig& r) { r.port.Arrive(150, {1}); }, WaitEnd::kTimeUp,
                 kTimeout},
        WaitCase{"WokenBeforeTheWait", [](Rig& r) { r.wait->Wake(); }, WaitEnd::kWoken, 0},
        // Input first: the caller serves it, and the next wait sees the wake-up.
        WaitCase{"WokenWithInputQueued",
                 [](Rig& r) {
                   r.port.Arrive(0, {1});
                   r.wait->Wake();
                 },
                 WaitEnd::kInput, 0},
        WaitCase{"PortInError", [](Rig& r) { r.port.failing = true; }, WaitEnd::kTimeUp, kTimeout},
        WaitCase{"PortClaimingInputItNeverGives", [](Rig& r) { r.port.claimsInput = true; },
                 WaitEnd::kInput, 0}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

TEST(PortWait, AWakeUpIsUsedUpByTheWaitItEnds) {
  Rig r;
  Ports ports{&r.port};
  r.wait->Wake();
  r.wait->Wake();  // two stop requests are one wake-up
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), WaitEnd::kWoken);
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), WaitEnd::kTimeUp);
  EXPECT_EQ(r.Elapsed(), kTimeout);
}

TEST(PortWait, APortInErrorIsLookedAtEveryPollPeriodNotInALoop) {
  Rig r;
  r.port.failing = true;
  Ports ports{&r.port};
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), WaitEnd::kTimeUp);
  // One block to find the fault, then one per period.
  EXPECT_LE(r.signals->blocks.load(), static_cast<int>(kTimeout / kPoll) + 2);
  EXPECT_GE(r.signals->blocks.load(), static_cast<int>(kTimeout / kPoll));
}

TEST(PortWait, AWaitThatEndsOnceWithoutInputIsStillAWaitOnThePort) {
  Rig r;
  r.port.lateEvents = 1;  // an event for input the caller has read already
  r.port.Arrive(42, {7});
  EXPECT_EQ(r.wait->Wait(Ports{&r.port}, kTimeout, kPoll), WaitEnd::kInput);
  EXPECT_EQ(r.Elapsed(), 42u);  // not at the next look of a polled port
}

TEST(PortWait, APortInErrorDoesNotDelayInputOnAnother) {
  Rig r;
  fakes::FakeRelayPort broken(r.clock);
  broken.failing = true;
  r.port.Arrive(42, {7});
  Ports ports{&broken, &r.port};
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), WaitEnd::kInput);
  // The healthy port is waited on: its input ends the wait when it comes,
  // not at the next look at the broken port.
  EXPECT_EQ(r.Elapsed(), 42u);
}

TEST(PortWait, APortThatCannotBeWaitedOnIsPolledUntilItsInputComes) {
  Rig r;
  // Not a port the signals can wait on: polled every period.
  struct LatePort : fakes::FakeSerialPort {
    explicit LatePort(fakes::FakeClock& c) : clock(c) {}
    int QueuedInput() override { return clock.NowMs() >= 5033 ? 1 : 0; }
    fakes::FakeClock& clock;
  } late(r.clock);
  Ports ports{&late};
  EXPECT_EQ(r.wait->Wait(ports, kTimeout, kPoll), WaitEnd::kInput);
  EXPECT_EQ(r.Elapsed(), 40u);  // the first look after the input came
}

TEST(PortWait, NoPortsOrOnlyClosedOnesSleepUntilTheTimeOrAWakeUp) {
  Rig r;
  Ports none{nullptr, nullptr};
  EXPECT_EQ(r.wait->Wait(none, kTimeout, kPoll), WaitEnd::kTimeUp);
  EXPECT_EQ(r.Elapsed(), kTimeout);
  EXPECT_EQ(r.signals->blocks.load(), 1);
  r.wait->Wake();
  EXPECT_EQ(r.wait->Wait(Ports{}, kTimeout, kPoll), WaitEnd::kWoken);
  EXPECT_EQ(r.Elapsed(), kTimeout);
}

TEST(PortWait, WithoutWaitableSignalsEveryPortIsPolled) {
  fakes::FakeClock clock;
  platform::PortWait wait(clock, platform::NewSleepingPortSignals());
  fakes::FakeRelayPort port(clock);
  port.Arrive(0, {1});
  EXPECT_EQ(wait.Wait(Ports{&port}, kTimeout, kPoll), WaitEnd::kInput);
  wait.Wake();
  EXPECT_EQ(wait.Wait(Ports{nullptr}, kTimeout, kPoll), WaitEnd::kWoken);
}

}  // namespace
