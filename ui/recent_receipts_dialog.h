// RecentReceiptsDialog: the presenter of the recent receipts window (the tray
// command "Recent receipts"). It lists the journal's last jobs newest first,
// or why it cannot; shows the text preview of the selected job; and asks the
// core to print it again, saying what became of the request. The printing
// itself, its confirmation and its fault pop-ups are the worker's, as for any
// job. It talks to its window through RecentReceiptsView (the Win32 dialog in
// ui/win32; tests use a recording view) and to the relay through
// RecentReceiptsSource. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/recent_receipts.h"
#include "core/texts.h"
#include "escpos/preview.h"
#include "platform/system.h"

namespace ui {

namespace recent_controls {
inline constexpr int kClose = 2;  // IDCANCEL
inline constexpr int kListLabel = 1040;
inline constexpr int kList = 1041;
inline constexpr int kProblem = 1042;
inline constexpr int kPreviewLabel = 1043;
inline constexpr int kPreview = 1044;
inline constexpr int kStatus = 1045;
inline constexpr int kPrintAgain = 1046;
}  // namespace recent_controls

// The journal's side of the window: core/recent_receipts.h on the running
// service (ServiceReceipts), a script in the tests.
class RecentReceiptsSource {
 public:
  virtual ~RecentReceiptsSource() = default;
  virtual core::RecentList List(std::size_t most) = 0;
  // 0, or an error with `bytes` left empty.
  virtual int Read(uint64_t id, std::string& bytes) = 0;
  virtual core::ReprintResult Reprint(uint64_t id) = 0;
};

class ServiceReceipts : public RecentReceiptsSource {
 public:
  explicit ServiceReceipts(core::RelayService& service) : service_(service) {}
  core::RecentList List(std::size_t most) override;
  int Read(uint64_t id, std::string& bytes) override;
  core::ReprintResult Reprint(uint64_t id) override;

 private:
  core::RelayService& service_;
};

// One line of the list, as shown.
struct RecentRow {
  std::string time;
  std::string size;
  std::string state;
  bool operator==(const RecentRow&) const = default;
};

class RecentReceiptsView {
 public:
  virtual ~RecentReceiptsView() = default;
  // Texts are in the ANSI code page, except the preview's (UTF-8: a receipt
  // may be Korean whatever the system's code page).
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetText(int control, const std::string& text) = 0;
  virtual void SetColumns(const std::vector<std::string>& headings) = 0;
  // The list replaces whatever was shown, the problem text included.
  virtual void ShowRows(const std::vector<RecentRow>& rows) = 0;
  // The text stands where the list would be; the list is hidden.
  virtual void ShowProblem(const std::string& text) = 0;
  virtual void SetPreview(const std::string& utf8) = 0;
  virtual void Enable(int control, bool enabled) = 0;
  virtual void Close() = 0;
};

class RecentReceiptsDialog {
 public:
  // `toUtf8` turns the receipt's text bytes (code page 949 or 437) into
  // UTF-8 for the preview.
  RecentReceiptsDialog(platform::System& system, RecentReceiptsSource& source,
                       RecentReceiptsView& view, escpos::ToUtf8 toUtf8);

  // The texts; then Load, once the window is up, the list.
  void OnInitDialog();
  void Load();
  // The list's selection moved to `row` (-1: none).
  void OnSelect(int row);
  void OnPrintAgain();
  void OnClose() { view_.Close(); }

  // The code page of a receipt whose text does not show its own (plain
  // ASCII): a Korean system's printer prints code page 949, any other's 437.
  unsigned receiptCodePage() const;
  const std::vector<core::RecentJob>& jobs() const { return jobs_; }

 private:
  std::string Say(const core::Text& text);

  platform::System& system_;
  RecentReceiptsSource& source_;
  RecentReceiptsView& view_;
  escpos::ToUtf8 toUtf8_;
  unsigned codePage_ = 0;
  std::vector<core::RecentJob> jobs_;
  // Why the list may be short, shown in the status line beside the rows the
  // journal still gave.
  std::string problem_;
  int selected_ = -1;
};

// "MM-DD HH:MM:SS" of local calendar milliseconds (core::CivilMs's count).
std::string ReceivedTime(int64_t civilMs);
const core::Text& StateText(core::JobState state);

}  // namespace ui
