// The headless main window of the Linux build: it keeps the window's lists in
// memory (so tests and the status line can read them) and turns a close
// request into the end of the program.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/event.h"
#include "core/service_view.h"

namespace ui::posix {

class HeadlessView : public core::ServiceView {
 public:
  // `ended` is set by a close request of the service itself.
  explicit HeadlessView(core::ManualResetEvent& ended) : ended_(ended) {}

  void InitControls(unsigned) override {}
  void SetControlText(int control, const std::string& text) override;
  void AddListEntry(int control, const std::string& text) override;
  void ClearList(int control) override;
  std::string ListEntry(int control, int index) override;
  // Nobody selects anything here: the first entry stands for the selection.
  std::string SelectedListEntry(int control) override { return ListEntry(control, 0); }
  void SelectComboPrefix(int control, const std::string& prefix) override;
  void ShowProgress(bool) override {}
  void SetProgress(int) override {}
  void SetWaitCursor(bool) override {}
  void HideToTray() override {}
  void RestoreFromTray() override {}
  void CreateTooltips(unsigned) override {}
  void PostClose() override {
    closedItself = true;
    ended_.Set();
  }
  void Notify(const std::string& text) override;

  std::vector<std::string> List(int control);
  std::string ControlText(int control);

  std::atomic<bool> closedItself{false};

 private:
  core::ManualResetEvent& ended_;
  std::mutex lock_;
  std::map<int, std::vector<std::string>> lists_;
  std::map<int, std::string> texts_;
};

}  // namespace ui::posix
