// A ServiceView that records every call, for tests of the core's window logic.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/service_view.h"

namespace fakes {

class RecordingView : public core::ServiceView {
 public:
  void InitControls(unsigned codePage) override { Record("init " + std::to_string(codePage)); }
  void SetControlText(int control, const std::string& text) override {
    std::lock_guard<std::mutex> g(lock_);
    texts[control] = text;
    calls.push_back("text " + std::to_string(control) + " " + text);
  }
  void AddListEntry(int control, const std::string& text) override {
    std::lock_guard<std::mutex> g(lock_);
    lists[control].push_back(text);
  }
  void ClearList(int control) override {
    std::lock_guard<std::mutex> g(lock_);
    lists[control].clear();
    calls.push_back("clear " + std::to_string(control));
  }
  std::string ListEntry(int control, int index) override {
    std::lock_guard<std::mutex> g(lock_);
    const std::vector<std::string>& list = lists[control];
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return {};
    return list[static_cast<size_t>(index)];
  }
  // The entry a test selected (-1: none).
  std::string SelectedListEntry(int control) override {
    int index;
    {
      std::lock_guard<std::mutex> g(lock_);
      auto it = selected.find(control);
      index = it == selected.end() ? -1 : it->second;
    }
    return ListEntry(control, index);
  }
  std::map<int, int> selected;
  void SelectComboPrefix(int control, const std::string& prefix) override {
    Record("select " + std::to_string(control) + " " + prefix);
  }
  void ShowProgress(bool shown) override { Record(shown ? "progress shown" : "progress hidden"); }
  void SetProgress(int position) override {
    std::lock_guard<std::mutex> g(lock_);
    progress.push_back(position);
  }
  void SetWaitCursor(bool waiting) override { Record(waiting ? "wait cursor" : "normal cursor"); }
  void HideToTray() override {
    Record("hide to tray");
    if (onHide) onHide();
  }
  void RestoreFromTray() override {
    Record("restore from tray");
    if (onRestore) onRestore();
  }
  void CreateTooltips(unsigned) override { Record("tooltips"); }
  void PostClose() override { Record("post close"); }
  void Notify(const std::string& text) override { Record("notify " + text); }
  // Runs `whileWaiting` (what the window's message loop might dispatch
  // meanwhile, a second click for instance), then waits.
  void WaitWhileResponsive(core::ManualResetEvent& event) override {
    if (whileWaiting) whileWaiting();
    event.Wait();
  }
  std::function<void()> whileWaiting;
  // What the real window does on top of recording (its tray life, for
  // instance).
  std::function<void()> onHide;
  std::function<void()> onRestore;

  int Count(const std::string& call) {
    std::lock_guard<std::mutex> g(lock_);
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }

  std::map<int, std::vector<std::string>> lists;
  std::map<int, std::string> texts;
  std::vector<int> progress;
  std::vector<std::string> calls;

 private:
  void Record(const std::string& call) {
    std::lock_guard<std::mutex> g(lock_);
    calls.push_back(call);
  }
  std::mutex lock_;
};

}  // namespace fakes
