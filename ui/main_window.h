// MainWindow: how portrelay's main window lives, without the windowing API.
// It sits in the tray or on screen, keeps exactly one tray icon while it is
// in the tray, and turns the tray's mouse events, the tray menu, the system
// menu, the close paths and the buttons into what the service does. The Win32
// window forwards its messages here; the tests drive it with a fake window
// and a fake tray. Everything runs on the UI thread.
#pragma once

#include <string>

#include "app/service_commands.h"

namespace ui {

// The tray callback's second parameter: the mouse message over the icon.
inline constexpr unsigned kTrayLeftDown = 0x201;
inline constexpr unsigned kTrayLeftDoubleClick = 0x203;
inline constexpr unsigned kTrayRightDown = 0x204;

// Menus of the tray icon, by language, and their commands.
inline constexpr int kTrayMenuKorean = 143;
inline constexpr int kTrayMenuEnglish = 144;
inline constexpr int kOpenServiceCommand = 32771;
inline constexpr int kExitServiceCommand = 32773;
inline constexpr int kPrinterSettingCommand = 32774;
inline constexpr int kRecentReceiptsCommand = 32775;
// The system menu's information item.
inline constexpr int kAboutCommand = 16;

// Results of the exit confirmation.
inline constexpr int kExitConfirmed = 1;
inline constexpr int kExitCancelled = 2;

// The window's one tray icon (identifier 0). Results are the shell's: Add
// fails when the icon is already there, Delete when it is not.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  virtual bool Add(const std::string& tip) = 0;
  virtual bool Delete() = 0;
};

// What MainWindow asks of the real window.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void ShowMinimized() = 0;
  // Queues the hide; the window disappears when the queued request arrives
  // (a window that is still being created would otherwise be shown again).
  virtual void PostHide() = 0;
  virtual void Restore() = 0;
  virtual void BringToForeground() = 0;
  // Topmost without moving, sizing or activating.
  virtual void MakeTopmost() = 0;
  virtual std::string Caption() = 0;
  // Tracks the menu's first popup at the cursor; the chosen command arrives
  // later as a command of the window.
  virtual void ShowTrayMenu(int menuId) = 0;
  virtual void ShowInfoDialog() = 0;
  // The recent receipts window, modal; returns when it is closed.
  virtual void ShowRecentReceipts() = 0;
  // kExitConfirmed or kExitCancelled.
  virtual int ShowExitDialog() = 0;
  // Ends the main window, and with it the program.
  virtual void Destroy() = 0;
};

enum class WindowPlace { kShown, kInTray, kEnded };

class MainWindow {
 public:
  MainWindow(MainWindowView& view, TrayIcon& tray, app::ServiceCommands& commands)
      : view_(view), tray_(tray), commands_(commands) {}

  // Read once when the window initialises; 949 selects the Korean menu.
  void SetCodePage(unsigned codePage) { codePage_ = codePage; }

  void HideToTray();
  void RestoreFromTray();

  // The close box, Alt+F4 and the system menu's Close: the window never
  // closes this way.
  void OnCloseCommand() { HideToTray(); }
  void OnMinimized() { HideToTray(); }
  // The registered message "Kelvo_VCOM".
  void OnRelayMessage() { HideToTray(); }
  // Escape (the dialog's Cancel) would otherwise end the program without
  // the exit confirmation; one stray key press must not stop all printing.
  void OnEscape() { HideToTray(); }
  // Explorer started again and forgot every icon.
  void OnTaskbarCreated();
  void OnTrayEvent(unsigned mouseMessage);
  // Buttons and tray menu commands; false when the id is not one of them.
  bool OnCommand(int id);
  // The system menu's own items; false for the system's (default handling).
  bool OnSystemCommand(int id);
  void OnDestroy();

  // Whether a queued hide should still take effect (a restore may have come
  // in between).
  bool HideStillWanted() const { return place_ == WindowPlace::kInTray; }
  WindowPlace place() const { return place_; }
  int TrayMenu() const;

 private:
  void ConfirmExit();
  void ShowRecentReceipts();
  void PutUpIcon();

  MainWindowView& view_;
  TrayIcon& tray_;
  app::ServiceCommands& commands_;
  unsigned codePage_ = 0;
  // The window is created visible and goes to the tray at the end of start-up.
  WindowPlace place_ = WindowPlace::kShown;
  bool hiding_ = false;
  bool askingToExit_ = false;
  bool showingInfo_ = false;
  bool showingRecent_ = false;
};

}  // namespace ui
