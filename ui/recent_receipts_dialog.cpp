// RecentReceiptsDialog, the recent receipts window's presenter (see
// recent_receipts_dialog.h).
#include "ui/recent_receipts_dialog.h"

#include <utility>

#include "core/format.h"
#include "core/journal_format.h"
#include "core/texts.h"

namespace ui {
namespace {

namespace ids = recent_controls;

// Digits in groups of three: "20,041".
std::string Grouped(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

core::RecentList ServiceReceipts::List(std::size_t most) {
  return core::ListRecentJobs(service_, most);
}

int ServiceReceipts::Read(uint64_t id, std::string& bytes) {
  return core::ReadRecentJob(service_, id, bytes);
}

core::ReprintResult ServiceReceipts::Reprint(uint64_t id) {
  return core::RequestReprint(service_, id);
}

std::string ReceivedTime(int64_t civilMs) {
  const platform::LocalTime t = core::LocalTimeOfCivilMs(civilMs);
  return core::Format("%02d-%02d %02d:%02d:%02d", t.month, t.day, t.hour, t.minute, t.second);
}

const core::Text& StateText(core::JobState state) {
  using core::JobState;
  namespace t = core::texts;
  switch (state) {
    case JobState::kArriving:
      return t::kRecentStateArriving;
    case JobState::kReceived:
      return t::kRecentStateReceived;
    case JobState::kSent:
      return t::kRecentStateSent;
    case JobState::kConfirmed:
      return t::kRecentStateConfirmed;
    case JobState::kFault:
      return t::kRecentStateFault;
    case JobState::kPrintedAgain:
      return t::kRecentStatePrintedAgain;
    case JobState::kAbandoned:
      return t::kRecentStateAbandoned;
    case JobState::kDiscarded:
      return t::kRecentStateDiscarded;
  }
  return t::kRecentStateReceived;
}

RecentReceiptsDialog::RecentReceiptsDialog(platform::System& system, RecentReceiptsSource& source,
                                           RecentReceiptsView& view, escpos::ToUtf8 toUtf8)
    : system_(system), source_(source), view_(view), toUtf8_(std::move(toUtf8)) {}

std::string RecentReceiptsDialog::Say(const core::Text& text) {
  return core::Pick(system_, codePage_, text);
}

unsigned RecentReceiptsDialog::receiptCodePage() const {
  return codePage_ == core::kKoreanCodePage ? core::kKoreanCodePage : 437;
}

void RecentReceiptsDialog::OnInitDialog() {
  namespace t = core::texts;
  codePage_ = system_.AnsiCodePage();
  view_.SetCaption(Say(t::kRecentCaption));
  view_.SetText(ids::kListLabel, Say(t::kRecentListLabel));
  view_.SetText(ids::kPreviewLabel, Say(t::kRecentPreviewLabel));
  view_.SetText(ids::kPrintAgain, Say(t::kRecentPrintAgain));
  view_.SetText(ids::kClose, Say(t::kRecentClose));
  view_.SetText(ids::kStatus, "");
  view_.SetColumns(
      {Say(t::kRecentColumnTime), Say(t::kRecentColumnSize), Say(t::kRecentColumnState)});
  view_.Enable(ids::kPrintAgain, false);
}

void RecentReceiptsDialog::Load() {
  namespace t = core::texts;
  core::RecentList list = source_.List(core::kRecentJobsShown);
  jobs_ = std::move(list.jobs);
  if (jobs_.size() > core::kRecentJobsShown) jobs_.resize(core::kRecentJobsShown);
  problem_ = std::move(list.problem);
  if (jobs_.empty() && !problem_.empty()) {
    view_.ShowProblem(problem_);
    problem_.clear();  // it stands in the list's place already
    return;
  }
  if (jobs_.empty()) {
    view_.ShowProblem(Say(t::kRecentEmpty));
    return;
  }
  std::vector<RecentRow> rows;
  rows.reserve(jobs_.size());
  for (const core::RecentJob& job : jobs_) {
    rows.push_back({ReceivedTime(job.receivedMs),
                    core::FormatText(Say(t::kRecentSize).c_str(), Grouped(job.size).c_str()),
                    Say(StateText(job.state))});
  }
  view_.ShowRows(rows);
  // The receipts the journal still holds can be printed again; the problem
  // says which may be missing.
  view_.SetText(ids::kStatus, problem_);
}

void RecentReceiptsDialog::OnSelect(int row) {
  if (row == selected_) return;
  selected_ = row >= 0 && static_cast<std::size_t>(row) < jobs_.size() ? row : -1;
  view_.SetText(ids::kStatus, problem_);
  view_.Enable(ids::kPrintAgain, selected_ >= 0);
  if (selected_ < 0) {
    view_.SetPreview("");
    return;
  }
  std::string bytes;
  if (source_.Read(jobs_[static_cast<std::size_t>(selected_)].id, bytes) != 0) {
    view_.SetPreview("");
    view_.SetText(ids::kStatus, Say(core::texts::kReprintUnreadable));
    return;
  }
  view_.SetPreview(
      escpos::PreviewText(bytes, escpos::TextCodePage(bytes, receiptCodePage()), toUtf8_));
}

void RecentReceiptsDialog::OnPrintAgain() {
  if (selected_ < 0) return;
  const core::ReprintResult result = source_.Reprint(jobs_[static_cast<std::size_t>(selected_)].id);
  view_.SetText(ids::kStatus, Say(core::ReprintResultText(result)));
}

}  // namespace ui
