// The recent receipts window's presenter on a recording view and a scripted
// journal: the list newest first with its texts in both languages, the
// problem in the list's place, the preview of the selected job in the
// receipt's code page, and Print again with what became of the request.
#include "ui/recent_receipts_dialog.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/journal_format.h"
#include "core/texts.h"
#include "tests/fakes/fake_platform.h"

namespace {

namespace ids = ui::recent_controls;
namespace t = core::texts;
using core::JobState;
using core::ReprintResult;

class RecordingRecentView : public ui::RecentReceiptsView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void SetText(int control, const std::string& text) override { texts[control] = text; }
  void SetColumns(const std::vector<std::string>& headings) override { columns = headings; }
  void ShowRows(const std::vector<ui::RecentRow>& shown) override {
    rows = shown;
    problem.clear();
  }
  void ShowProblem(const std::string& text) override {
    rows.clear();
    problem = text;
  }
  void SetPreview(const std::string& utf8) override { preview = utf8; }
  void Enable(int control, bool enabled) override { this->enabled[control] = enabled; }
  void Close() override { closed = true; }

  std::string caption, problem, preview;
  std::map<int, std::string> texts;
  std::vector<std::string> columns;
  std::vector<ui::RecentRow> rows;
  std::map<int, bool> enabled;
  bool closed = false;
};

class ScriptedReceipts : public ui::RecentReceiptsSource {
 public:
  core::RecentList List(std::size_t most) override {
    asked = most;
    return list;
  }
  int Read(uint64_t id, std::string& bytes) override {
    const auto found = bytes_.find(id);
    if (found == bytes_.end()) return -1;
    bytes = found->second;
    return 0;
  }
  ReprintResult Reprint(uint64_t id) override {
    reprinted.push_back(id);
    return answer;
  }
  void Add(uint64_t id, int64_t receivedMs, uint64_t size, JobState state, std::string bytes) {
    list.jobs.push_back({id, "COM6", receivedMs, size, state});
    bytes_[id] = std::move(bytes);
  }

  core::RecentList list;
  std::size_t asked = 0;
  std::vector<uint64_t> reprinted;
  ReprintResult answer = ReprintResult::kQueued;

 private:
  std::map<uint64_t, std::string> bytes_;
};

int64_t At(int year, int month, int day, int hour, int minute, int second) {
  return core::CivilMs({year, month, day, hour, minute, second, 250});
}

// The code page the preview's conversion was asked for, and its result.
std::string Converted(std::string_view bytes, unsigned codePage) {
  std::string out = "[";
  out += std::to_string(codePage);
  out += ']';
  out += bytes;
  return out;
}

class RecentReceipts : public ::testing::Test {
 protected:
  void SetUp() override {
    // Newest first, as the core lists them.
    source.Add(30, At(2024, 2, 29, 23, 59, 58), 20041, JobState::kConfirmed, "\x1b@THIRD\n");
    source.Add(20, At(2024, 2, 29, 9, 5, 0), 812, JobState::kFault, "\x1b@SECOND\n");
    source.Add(10, At(2023, 12, 31, 0, 0, 7), 7, JobState::kPrintedAgain, "\x1b@FIRST\n");
  }
  void Open(unsigned codePage = 1252) {
    system.codePage = codePage;
    dialog.OnInitDialog();
    dialog.Load();
  }

  fakes::FakeSystem system;
  ScriptedReceipts source;
  RecordingRecentView view;
  ui::RecentReceiptsDialog dialog{system, source, view, Converted};
};

TEST_F(RecentReceipts, TheListIsShownNewestFirstInTheSystemsLanguage) {
  struct Case {
    unsigned codePage;
    bool korean;
  };
  for (const Case c : {Case{1252, false}, Case{949, true}}) {
    SCOPED_TRACE(c.codePage);
    RecordingRecentView shown;
    ui::RecentReceiptsDialog opened{system, source, shown, Converted};
    system.codePage = c.codePage;
    opened.OnInitDialog();
    opened.Load();
    auto say = [&](const core::Text& text) { return c.korean ? text.korean : text.english; };
    auto size = [&](const char* n) { return core::FormatText(say(t::kRecentSize), n); };
    EXPECT_EQ(source.asked, core::kRecentJobsShown);
    EXPECT_EQ(shown.caption, say(t::kRecentCaption));
    EXPECT_EQ(shown.texts[ids::kPrintAgain], say(t::kRecentPrintAgain));
    EXPECT_EQ(shown.texts[ids::kClose], say(t::kRecentClose));
    EXPECT_EQ(shown.columns,
              (std::vector<std::string>{say(t::kRecentColumnTime), say(t::kRecentColumnSize),
                                        say(t::kRecentColumnState)}));
    EXPECT_EQ(shown.rows, (std::vector<ui::RecentRow>{
                              {"02-29 23:59:58", size("20,041"), say(t::kRecentStateConfirmed)},
                              {"02-29 09:05:00", size("812"), say(t::kRecentStateFault)},
                              {"12-31 00:00:07", size("7"), say(t::kRecentStatePrintedAgain)},
                          }));
    EXPECT_TRUE(shown.problem.empty());
    EXPECT_FALSE(shown.enabled[ids::kPrintAgain]);
  }
}

TEST_F(RecentReceipts, AProblemIsShownBesideWhatTheJournalStillHolds) {
  struct Case {
    const char* name;
    bool jobs;
    std::string problem;
    std::string inListsPlace;  // empty: the rows show
    std::string status;
  };
  const Case cases[] = {
      {"journal off", false, "The job journal is off.", "The job journal is off.", ""},
      {"damaged, a few jobs found", true, "Journal damaged.", "", "Journal damaged."},
      {"nothing yet", false, "", t::kRecentEmpty.english, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedReceipts script;
    if (c.jobs) script.Add(1, At(2024, 1, 1, 1, 1, 1), 10, JobState::kConfirmed, "x");
    script.list.problem = c.problem;
    RecordingRecentView shown;
    ui::RecentReceiptsDialog opened{system, script, shown, Converted};
    opened.OnInitDialog();
    opened.Load();
    EXPECT_EQ(shown.problem, c.inListsPlace);
    EXPECT_EQ(shown.rows.size(), c.jobs ? 1u : 0u);
    EXPECT_EQ(shown.texts[ids::kStatus], c.status);
    // What is listed prints again, and a selection keeps the problem in view.
    opened.OnSelect(0);
    EXPECT_EQ(shown.texts[ids::kStatus], c.status);
    opened.OnPrintAgain();
    EXPECT_EQ(script.reprinted.size(), c.jobs ? 1u : 0u);
    EXPECT_EQ(shown.preview.empty(), !c.jobs);
  }
}

TEST_F(RecentReceipts, TheSelectedJobIsPreviewedInTheReceiptsCodePage) {
  struct Case {
    unsigned systemCodePage;
    int row;
    std::string job;  // its bytes; empty: none selected
    unsigned receiptCodePage;
  };
  const Case cases[] = {
      {949, 1, "\x1b@SECOND\n", 949},
      {1252, 1, "\x1b@SECOND\n", 437},
      {1252, 2, "\x1b@FIRST\n", 437},
      {1252, -1, "", 437},
      {1252, 7, "", 437},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.systemCodePage) + " row " + std::to_string(c.row));
    RecordingRecentView shown;
    ui::RecentReceiptsDialog opened{system, source, shown, Converted};
    system.codePage = c.systemCodePage;
    opened.OnInitDialog();
    opened.Load();
    EXPECT_EQ(opened.receiptCodePage(), c.receiptCodePage);
    opened.OnSelect(0);
    opened.OnSelect(c.row);
    const std::string expected =
        c.job.empty() ? "" : escpos::PreviewText(c.job, c.receiptCodePage, Converted);
    EXPECT_EQ(shown.preview, expected);
    EXPECT_EQ(shown.enabled[ids::kPrintAgain], !c.job.empty());
  }
}

TEST_F(RecentReceipts, AJobThatCannotBeReadBackSaysSo) {
  source.list.jobs.push_back({99, "COM6", At(2024, 3, 1, 8, 0, 0), 5, JobState::kSent});
  Open();
  dialog.OnSelect(0);
  ASSERT_FALSE(view.preview.empty());
  dialog.OnSelect(3);
  EXPECT_EQ(view.preview, "");
  EXPECT_EQ(view.texts[ids::kStatus], t::kReprintUnreadable.english);
}

TEST_F(RecentReceipts, PrintAgainAsksForTheSelectedJobAndSaysWhatBecameOfIt) {
  const ReprintResult cases[] = {ReprintResult::kQueued,    ReprintResult::kNoJournal,
                                 ReprintResult::kNoSuchJob, ReprintResult::kUnreadable,
                                 ReprintResult::kStopping,  ReprintResult::kBusy};
  Open(949);
  dialog.OnSelect(1);
  for (ReprintResult result : cases) {
    source.answer = result;
    dialog.OnPrintAgain();
    EXPECT_EQ(source.reprinted.back(), 20u);
    EXPECT_EQ(view.texts[ids::kStatus], core::ReprintResultText(result).korean);
  }
  // Another selection clears what was said of the last one.
  dialog.OnSelect(0);
  EXPECT_EQ(view.texts[ids::kStatus], "");
  dialog.OnPrintAgain();
  EXPECT_EQ(source.reprinted.back(), 30u);
  EXPECT_EQ(source.reprinted.size(), 7u);
  dialog.OnClose();
  EXPECT_TRUE(view.closed);
}

}  // namespace
