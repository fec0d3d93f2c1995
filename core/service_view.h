// What the relay core needs from its main window. The Win32 view maps each
// call to the dialog's controls; the headless view of the Linux build keeps
// the lists in memory and logs what a user would have seen.
// All calls come from the UI thread.
#pragma once

#include <string>

#include "core/event.h"

namespace core {

class ServiceView {
 public:
  virtual ~ServiceView() = default;

  // The window's own control set-up at initialisation (menu, icons, texts for
  // the code page, buttons, hidden progress bar, port count "0", centring).
  virtual void InitControls(unsigned codePage) = 0;

  virtual void SetControlText(int control, const std::string& text) = 0;
  // List box or combo box entries, appended unsorted.
  virtual void AddListEntry(int control, const std::string& text) = 0;
  virtual void ClearList(int control) = 0;
  // The text of a list box entry, "" when the list has no such entry.
  virtual std::string ListEntry(int control, int index) = 0;
  // The text of the list box's selected entry, "" when none is selected.
  virtual std::string SelectedListEntry(int control) = 0;
  // Selects the first combo entry that begins with the text, ignoring case;
  // no selection when none does.
  virtual void SelectComboPrefix(int control, const std::string& prefix) = 0;

  virtual void ShowProgress(bool shown) = 0;
  virtual void SetProgress(int position) = 0;
  virtual void SetWaitCursor(bool waiting) = 0;

  virtual void HideToTray() = 0;
  virtual void RestoreFromTray() = 0;
  virtual void CreateTooltips(unsigned codePage) = 0;

  // Waits for the event without making the window unresponsive (the Win32
  // view keeps dispatching messages meanwhile).
  virtual void WaitWhileResponsive(ManualResetEvent& event) { event.Wait(); }

  // Queues a close request to the main window; the program ends once the
  // message loop runs again.
  virtual void PostClose() = 0;

  // Something the user should know that needs no answer and is in the log
  // already (a setting out of range, a relay port that cannot be opened).
  // The headless view prints it on the console; the window has no place
  // for it.
  virtual void Notify(const std::string& /*text*/) {}
};

}  // namespace core
