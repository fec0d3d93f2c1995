// LauncherDialog (see launcher_dialog.h).
#include "launcher/launcher_dialog.h"

#include "launcher/launcher_texts.h"
#include "platform/processes.h"

namespace launcher {
namespace {

constexpr const char* kRelayProgram = "portrelay";
// Windows versions after 5 (XP, Server 2003) know elevation.
constexpr uint32_t kLastVersionWithoutElevation = 5;

// Clears the in-progress mark however the start ends.
class StartInProgress {
 public:
  explicit StartInProgress(bool& flag) : flag_(flag) { flag_ = true; }
  ~StartInProgress() { flag_ = false; }
  StartInProgress(const StartInProgress&) = delete;
  StartInProgress& operator=(const StartInProgress&) = delete;

 private:
  bool& flag_;
};

}  // namespace

const core::Text& StatusCaption(int kind) {
  return kind == kLaunchNormal ? texts::kStatusNormal : texts::kStatusError;
}

LauncherDialog::LauncherDialog(platform::Platform& platform, LauncherView& view)
    : platform_(platform), view_(view) {}

std::string LauncherDialog::Say(const core::Text& text) const {
  return core::Pick(*platform_.system, codePage_, text);
}

std::string LauncherDialog::ProgramDirectory() {
  std::lock_guard<std::mutex> guard(pathLock_);
  const std::string module = platform_.files->ModuleFileName();
  const size_t cut = module.rfind(platform_.files->PathSeparator());
  return cut == std::string::npos ? std::string() : module.substr(0, cut);
}

void LauncherDialog::FormRelayPath() {
  relayPath_ = ProgramDirectory() + platform_.files->PathSeparator() +
               platform_.processes->ProgramFileName(kRelayProgram);
}

int LauncherDialog::LaunchRelay() {
  platform::Processes& processes = *platform_.processes;
  platform::OsVersion version;
  if (!processes.QueryOsVersion(version)) version = platform::OsVersion{};
  const char* verb = "open";
  if (version.major > kLastVersionWithoutElevation && !processes.UserIsAdmin()) verb = "runas";
  return processes.Launch(verb, relayPath_);
}

std::string LauncherDialog::StartFailureMessage(int code) const {
  for (const texts::StartFailure& failure : texts::kStartFailures)
    if (failure.code == code) return Say(failure.message);
  return {};
}

void LauncherDialog::OnInitDialog() {
  codePage_ = platform_.system->AnsiCodePage();
  if (codePage_ != core::kKoreanCodePage) {
    view_.SetCaption(Say(texts::kCaption));
    view_.SetControlText(kStartButton, Say(texts::kStartButton));
    view_.SetControlText(kExitButton, Say(texts::kExitButton));
  }
  FormRelayPath();
  StartInProgress inProgress(starting_);
  lastResult_ = LaunchRelay();
  if (lastResult_ == 0) {
    view_.PostClose();
    return;
  }
  view_.ShowStatus(kLaunchError, StartFailureMessage(lastResult_));
}

void LauncherDialog::OnStartClicked() {
  if (starting_) return;
  StartInProgress inProgress(starting_);
  FormRelayPath();
  lastResult_ = LaunchRelay();
  if (lastResult_ == 0) {
    view_.ShowStatus(kLaunchNormal, Say(texts::kStarted));
    view_.PostClose();
    return;
  }
  view_.ShowStatus(kLaunchError, StartFailureMessage(lastResult_));
}

}  // namespace launcher
