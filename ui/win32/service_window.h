// The Win32 main window of portrelay: dialog template 102. Its controls are
// the core's ServiceView; its tray life and command routing are MainWindow's
// (ui/main_window.h), which this window carries out with the windowing API.
#pragma once

#include <windows.h>

#include <array>

#include "app/service_dialog.h"
#include "core/service_view.h"
#include "ui/main_window.h"
#include "widgets/win32/image_button.h"

namespace ui::win32 {

class Win32ServiceView : public core::ServiceView, public MainWindowView {
 public:
  Win32ServiceView(HINSTANCE instance, platform::System& system);
  Win32ServiceView(const Win32ServiceView&) = delete;
  Win32ServiceView& operator=(const Win32ServiceView&) = delete;

  void Attach(HWND window, MainWindow& presenter);
  // The service the recent receipts window reads (the program's one).
  void SetService(core::RelayService& service) { service_ = &service; }
  HWND window() const { return window_; }
  HICON icon() const { return icon_; }
  UINT relayMessage() const { return relayMessage_; }
  UINT taskbarCreatedMessage() const { return taskbarCreatedMessage_; }
  void DestroyTooltips();

  // core::ServiceView
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
  void HideToTray() override { presenter_->HideToTray(); }
  void RestoreFromTray() override { presenter_->RestoreFromTray(); }
  void CreateTooltips(unsigned codePage) override;
  void PostClose() override;
  void WaitWhileResponsive(core::ManualResetEvent& event) override;

  // MainWindowView
  void ShowMinimized() override;
  void PostHide() override;
  void Restore() override;
  void BringToForeground() override;
  void MakeTopmost() override;
  std::string Caption() override;
  void ShowTrayMenu(int menuId) override;
  void ShowInfoDialog() override;
  void ShowRecentReceipts() override;
  int ShowExitDialog() override;
  void Destroy() override;

 private:
  bool IsCombo(int control) const;
  void SetUpButtons();

  HINSTANCE instance_;
  platform::System& system_;
  HICON icon_;
  HWND window_ = nullptr;
  MainWindow* presenter_ = nullptr;
  core::RelayService* service_ = nullptr;
  HWND tooltip_ = nullptr;
  UINT relayMessage_ = 0;
  UINT taskbarCreatedMessage_ = 0;
  unsigned codePage_ = 0;
  // Buttons 1000, 1001 and 1006; they outlive the dialog's window.
  std::array<widgets::ImageButton, 3> buttons_;
};

// Runs the main window; returns when it has been destroyed.
void RunServiceWindow(HINSTANCE instance, platform::Platform& platform,
                      platform::SingleInstance& single);

}  // namespace ui::win32
