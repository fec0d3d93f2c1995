// Job files of --render: the pause rule with a given clock, bytes drawn only
// once printed, link changes in stream order, numbering.
#include "tools/printer-sim/render/job_renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/sim/ink.h"
#include "tests/sim/receipts.h"
#include "tests/sim/sim_test_env.h"
#include "tools/printer-sim/event_log.h"

namespace printersim {
namespace {

using namespace std::chrono_literals;
using namespace receipts;

struct Jobs {
  explicit Jobs(std::chrono::milliseconds gap = 500ms)
      : jobs(RenderConfig{dir.path(), gap}, events.Sink()) {
    std::string error;
    EXPECT_EQ(jobs.Start(&error), 0) << error;
  }
  void Receive(const Bytes& b) { jobs.Received(b.data(), b.size()); }
  void Print(const Bytes& b, Clock::time_point at) {
    Receive(b);
    jobs.Consumed(b.size(), true, at);
  }
  // The picture named by the next "render" event, which must already be there.
  GrayImage NextPicture(std::string* line = nullptr) {
    const auto event = events.Next("render ", 0ms);
    EXPECT_TRUE(event) << events.Dump();
    if (!event) return {};
    if (line) *line = *event;
    const std::string path = event->substr(7, event->find(' ', 7) - 7);
    GrayImage image;
    std::string error;
    EXPECT_EQ(ReadPng(path, &image, &error), 0) << error;
    return image;
  }

  ScratchDir dir;
  EventLog events;
  JobRenderer jobs;
  const Clock::time_point t0 = Clock::now();
};

TEST(JobRendererTest, APauseEndsAJobAndACutEndsItAtOnce) {
  Jobs j(500ms);
  EXPECT_FALSE(j.jobs.Deadline());
  j.Print(Text("Total\n"), j.t0);
  ASSERT_EQ(j.jobs.Deadline(), j.t0 + 500ms);
  j.jobs.Tick(j.t0 + 499ms);
  EXPECT_TRUE(j.events.Pending("render ").empty());
  j.jobs.Tick(j.t0 + 500ms);
  std::string line;
  const GrayImage first = j.NextPicture(&line);
  EXPECT_EQ(line, "render " + j.dir.File("job-0001.png") + " 640x" + std::to_string(first.height) +
                      " pause");
  EXPECT_EQ(InkBands(first).size(), 1u);
  EXPECT_FALSE(j.jobs.Deadline());

  j.Print(Cat({Text("Next\n"), kCut}), j.t0 + 2s);
  j.NextPicture(&line);
  EXPECT_EQ(line.rfind("render " + j.dir.File("job-0002.png"), 0), 0u) << line;
  EXPECT_TRUE(line.ends_with(" cut")) << line;
  EXPECT_FALSE(j.jobs.Deadline());
}

TEST(JobRendererTest, BytesAreDrawnOnlyOnceThePrinterPrintsThem) {
  Jobs j;
  j.Receive(Text("Cleared\n"));
  EXPECT_FALSE(j.jobs.Deadline()) << "received is not printed";
  EXPECT_EQ(j.jobs.backlog(), 8u);
  j.jobs.Consumed(8, false, j.t0);  // A buffer clear threw it away.
  EXPECT_FALSE(j.jobs.Deadline());
  j.Print(Cat({Text("Kept\n"), kCut}), j.t0);
  EXPECT_EQ(InkBands(j.NextPicture()).size(), 2u) << "the text line and the cut";
  EXPECT_EQ(j.jobs.backlog(), 0u);
}

// A connection that ends inside a raster image does not turn the next
// connection's text into image data, also when the change comes while bytes
// before it still wait to be printed.
TEST(JobRendererTest, ALinkChangeDropsAPartialCommandInStreamOrder) {
  const Bytes partial = Cat({RasterHeader(10, 10), Bytes(10, 0xFF)});
  const Bytes next = Cat({Text("A\n"), kCut});
  for (bool printed_first : {true, false}) {
    SCOPED_TRACE(printed_first ? "printed before the change" : "held over the change");
    Jobs j;
    if (printed_first) {
      j.Print(partial, j.t0);
      j.jobs.LinkChanged();
      j.Print(next, j.t0);
    } else {
      j.Receive(partial);
      j.jobs.LinkChanged();
      j.Receive(next);
      j.jobs.Consumed(partial.size() + next.size(), true, j.t0);
    }
    const GrayImage page = j.NextPicture();
    const auto bands = InkBands(page);
    ASSERT_EQ(bands.size(), 3u) << "raster row, text, cut";
    EXPECT_EQ(bands[0].second - bands[0].first, 0);
  }
}

TEST(JobRendererTest, NumberingContinuesAfterFilesAlreadyThere) {
  ScratchDir dir;
  for (const char* name : {"job-0007.png", "job-12x.png", "notes.txt"}) {
    std::ofstream(dir.File(name)) << "x";
  }
  EventLog events;
  JobRenderer jobs(RenderConfig{dir.path(), 1s}, events.Sink());
  std::string error;
  ASSERT_EQ(jobs.Start(&error), 0) << error;
  const Bytes job = Cat({Text("A\n"), kCut});
  jobs.Received(job.data(), job.size());
  jobs.Consumed(job.size(), true, Clock::now());
  const auto line = events.Next("render ", 0ms);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->rfind("render " + dir.File("job-0008.png"), 0), 0u) << *line;
}

TEST(JobRendererTest, AFolderThatCannotBeMadeIsAStartError) {
  ScratchDir dir;
  std::ofstream(dir.File("file")) << "x";
  JobRenderer jobs(RenderConfig{dir.File("file/sub"), 1s}, nullptr);
  std::string error;
  EXPECT_EQ(jobs.Start(&error), -1);
  EXPECT_NE(error.find("file/sub"), std::string::npos) << error;
}

}  // namespace
}  // namespace printersim
