// MainWindow: the tray life of the main window and the routing of its
// commands.
#include "ui/main_window.h"

#include "core/controls.h"
#include "core/texts.h"

namespace ui {

// Minimising sends the window's own minimise notice, which asks for this
// again; the inner call has nothing left to do.
void MainWindow::HideToTray() {
  if (hiding_ || place_ == WindowPlace::kEnded) return;
  hiding_ = true;
  place_ = WindowPlace::kInTray;
  view_.ShowMinimized();
  view_.PostHide();
  PutUpIcon();
  hiding_ = false;
}

// The delete before the add keeps the icon from ever being doubled.
void MainWindow::PutUpIcon() {
  tray_.Delete();
  tray_.Add(view_.Caption());
}

void MainWindow::RestoreFromTray() {
  if (place_ == WindowPlace::kEnded) return;
  tray_.Delete();
  place_ = WindowPlace::kShown;
  view_.Restore();
  view_.BringToForeground();
}

void MainWindow::OnTaskbarCreated() {
  if (place_ == WindowPlace::kInTray) PutUpIcon();
}

int MainWindow::TrayMenu() const {
  return codePage_ == core::kKoreanCodePage ? kTrayMenuKorean : kTrayMenuEnglish;
}

void MainWindow::OnTrayEvent(unsigned mouseMessage) {
  switch (mouseMessage) {
    case kTrayLeftDown:
    case kTrayLeftDoubleClick:
      RestoreFromTray();
      break;
    case kTrayRightDown:
      view_.ShowTrayMenu(TrayMenu());
      break;
    default:
      break;
  }
}

bool MainWindow::OnCommand(int id) {
  namespace controls = core::controls;
  switch (id) {
    case kOpenServiceCommand:
      RestoreFromTray();
      view_.MakeTopmost();
      return true;
    case kPrinterSettingCommand:
    case controls::kSettingsButton:
      commands_.EditSettings();
      return true;
    case kExitServiceCommand:
      ConfirmExit();
      return true;
    case kRecentReceiptsCommand:
      ShowRecentReceipts();
      return true;
    case controls::kAddPortButton:
      commands_.AddPort();
      return true;
    case controls::kCheckPortButton:
      commands_.PortCheckPrint();
      return true;
    case controls::kInstallPairButton:
      commands_.InstallPair();
      return true;
    case controls::kSetupcTestButton:
      commands_.RunSetupc();
      return true;
    case controls::kAppPrintTestButton:
      commands_.DeveloperImagePrint();
      return true;
    default:
      return false;
  }
}

bool MainWindow::OnSystemCommand(int id) {
  if (id != kAboutCommand) return false;
  if (showingInfo_) return true;
  showingInfo_ = true;
  view_.ShowInfoDialog();
  showingInfo_ = false;
  return true;
}

// The tray menu stays usable while the window is up; choosing the item again
// would stack a second copy of the same list on the first.
void MainWindow::ShowRecentReceipts() {
  if (showingRecent_ || place_ == WindowPlace::kEnded) return;
  showingRecent_ = true;
  view_.ShowRecentReceipts();
  showingRecent_ = false;
}

// The tray menu can be opened again while the confirmation is up; a second
// confirmation on top of the first would answer nothing new.
void MainWindow::ConfirmExit() {
  if (askingToExit_ || place_ == WindowPlace::kEnded) return;
  askingToExit_ = true;
  const int answer = view_.ShowExitDialog();
  askingToExit_ = false;
  if (answer == kExitConfirmed) view_.Destroy();
}

void MainWindow::OnDestroy() {
  tray_.Delete();
  place_ = WindowPlace::kEnded;
}

}  // namespace ui
