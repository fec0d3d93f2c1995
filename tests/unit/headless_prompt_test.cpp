// The headless pop-up policy: answers OK, and paces a message that keeps
// coming back so that an hour-long fault shows it a bounded number of times.
#include "ui/posix/headless_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "core/texts.h"
#include "tests/fakes/fake_platform.h"

namespace {

TEST(HeadlessPrompt, AnswersOkAtOnceForNewMessages) {
  fakes::FakeClock clock;
  ui::posix::HeadlessPrompt prompt(clock, nullptr);
  EXPECT_EQ(prompt.Show("a", core::kStatusError, nullptr), core::kAnswerOk);
  EXPECT_EQ(prompt.Show("b", core::kStatusReprint, nullptr), core::kAnswerOk);
  EXPECT_EQ(prompt.Show("a", core::kStatusNormal, nullptr), core::kAnswerOk);
  EXPECT_EQ(clock.slept(), 0u);
}

TEST(HeadlessPrompt, RepeatsWaitLongerEachTimeUpTo32Seconds) {
  fakes::FakeClock clock;
  ui::posix::HeadlessPrompt prompt(clock, nullptr);
  prompt.Show("cover open", core::kStatusError, nullptr);
  const uint32_t expected[] = {1000, 2000, 4000, 8000, 16000, 32000, 32000};
  for (uint32_t pause : expected) {
    const uint32_t before = clock.NowMs();
    prompt.Show("cover open", core::kStatusError, nullptr);
    EXPECT_EQ(clock.NowMs() - before, pause);
  }
}

TEST(HeadlessPrompt, AnHourLongFaultShowsItsMessageAtMost120Times) {
  fakes::FakeClock clock;
  ui::posix::HeadlessPrompt prompt(clock, nullptr);
  int shows = 0;
  while (clock.NowMs() < 3600u * 1000u) {
    prompt.Show(core::texts::kJobCoverOpen.english, core::kStatusError, nullptr);
    ++shows;
  }
  EXPECT_LE(shows, 120);
}

TEST(HeadlessPrompt, ConsolePrintsOnlyAtPowersOfTwo) {
  fakes::FakeClock clock;
  std::FILE* out = std::tmpfile();
  ui::posix::HeadlessPrompt prompt(clock, out);
  for (int i = 0; i < 9; ++i) prompt.Show("paper out", core::kStatusError, nullptr);
  std::rewind(out);
  char line[256];
  int lines = 0;
  while (std::fgets(line, sizeof line, out)) ++lines;
  std::fclose(out);
  EXPECT_EQ(lines, 4);  // 1st, 2nd, 4th and 8th showing
}

TEST(HeadlessPrompt, StopRequestEndsThePauseWithCancel) {
  fakes::FakeClock clock;
  ui::posix::HeadlessPrompt prompt(clock, nullptr);
  std::atomic<int> stop{0};
  prompt.Show("x", core::kStatusError, &stop);
  for (int i = 0; i < 5; ++i) prompt.Show("x", core::kStatusError, &stop);
  stop = 1;
  const uint32_t before = clock.NowMs();
  EXPECT_EQ(prompt.Show("x", core::kStatusError, &stop), core::kAnswerCancel);
  EXPECT_LT(clock.NowMs() - before, 200u);
}

}  // namespace
