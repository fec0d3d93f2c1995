// The Win32 main window of portrelay: dialog template 102 driven by the
// portable ServiceDialog through the ServiceView interface; its buttons are
// routed to the ServiceDialog's commands.
#pragma once

#include <windows.h>

#include <memory>

#include "app/service_dialog.h"
#include "core/service_view.h"

namespace ui::win32 {

class Win32ServiceView : public core::ServiceView {
 public:
  explicit Win32ServiceView(platform::System& system) : system_(system) {}
  void Attach(HWND window) { window_ = window; }
  HWND window() const { return window_; }
  UINT relayMessage() const { return relayMessage_; }

  void InitControls(unsigned codePage) override;
  void SetControlText(int control, const std::string& text) override;
  void AddListEntry(int control, const std::string& text) override;
  void ClearList(int control) override;
  std::string ListEntry(int control, int index) override;
  std::string SelectedListEntry(int control) override;
  void SelectComboPrefix(int control, const std::string& prefix) override;
  void ShowProgress(bool shown) override;
  void SetProgress(int position) override;
  void SetWaitCursor(bool waiting) override;
  void HideToTray() override;
  void RestoreFromTray() override;
  void CreateTooltips(unsigned codePage) override;
  void PostClose() override;
  void WaitWhileResponsive(core::ManualResetEvent& event) override;

  void RemoveTrayIcon();

 private:
  bool IsCombo(int control) const;

  platform::System& system_;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  UINT relayMessage_ = 0;
  unsigned codePage_ = 0;
};

// Runs the main window modally; returns when it ends.
void RunServiceWindow(HINSTANCE instance, platform::Platform& platform,
                      platform::SingleInstance& single);

}  // namespace ui::win32
