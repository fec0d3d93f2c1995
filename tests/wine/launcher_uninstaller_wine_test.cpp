// relaytray.exe and relayremove.exe on the Wine desktop, in code page 949
// (a Korean locale) and 1252: the launcher's error and normal status dialogs,
// the launcher itself and the uninstaller, read through the window probe and
// saved as screenshots (build/screenshots/launcher_*.png, uninstaller_*.png).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"

namespace {

namespace fs = std::filesystem;

struct Language {
  const char* locale;
  unsigned codePage;
  // Launcher.
  const char* errorCaption;
  const char* notFound;
  const char* normalCaption;
  const char* started;
  const char* ok;
  const char* launcherCaption;
  const char* startButton;
  const char* exitButton;
  // Uninstaller.
  const char* uninstallerCaption;
  const char* deleteButton;
  const char* serviceBox;
  const char* driverBox;
  const char* uninstallerExit;
};

const Language kLanguages[] = {
    {"ko_KR.UTF-8", 949, "KELVO DOVI 서비스 실행 - 장애 발생",
     "실행 파일을 찾을 수 없습니다.\\n실행 파일의 위치를 확인 바랍니다.",
     "KELVO DOVI 서비스 실행 - 정상", "KELVO DOVI 서비스가 정상적으로 실행되었습니다.", "확인",
     "KELVO DOVI 시작 프로그램", "DOVI 서비스 시작", "프로그램 종료",
     "KELVO DOVI 서비스 및 가상 COM 포트 드라이버 삭제 프로그램",
     "DOVI 서비스 또는 가상 COM 드라이버 삭제(&D)", "DOVI 서비스 삭제", "가상 COM 드라이버 삭제",
     "종료(&X)"},
    {"C.UTF-8", 1252, "KELVO DUZI Service execution - Error",
     "The executable file could not be found.\\nPlease check the location of the executable file.",
     "KELVO DOVI Service execution - Normal", "KELVO DOVI service was running normally.", "OK",
     "KELVO DOVI Service start program", "Start service", "Exit (&X)",
     "KELVO DOVI Service and Virtual COM Port Driver Uninstaller",
     "Delete Print Service or Virtual COM Driver", "Delete print service",
     "Delete Virtual COM Driver", "Exit"},
};

void PrintTo(const Language& language, std::ostream* out) { *out << language.locale; }

class ProgramWindows : public ::testing::TestWithParam<Language> {
 protected:
  static void SetUpTestSuite() {
    // Unmanaged windows: Wine draws their captions itself, and hiding one
    // does not wait for a window manager the virtual display does not have.
    for (const char* program : {"relaytray.exe", "relayremove.exe"})
      winetest::RunToEnd(
          winetest::WineCommand(
              "reg",
              {"add", std::string("HKCU\\Software\\Wine\\AppDefaults\\") + program + "\\X11 Driver",
               "/v", "Managed", "/d", "N", "/f"}),
          {}, 60000);
  }

  void SetUp() override {
    for (const char* program : {"relaytray.exe", "relayremove.exe", "window_probe.exe"})
      ASSERT_TRUE(fs::exists(winetest::WindowsProgram(program)))
          << program << " is missing: build the windows preset first";
    fs::copy_file(winetest::WindowsProgram("relaytray.exe"), dir.File("relaytray.exe"));
    fs::copy_file(winetest::WindowsProgram("relayremove.exe"), dir.File("relayremove.exe"));
  }

  std::vector<std::pair<std::string, std::string>> Locale() const {
    return {{"LC_ALL", GetParam().locale}};
  }

  // Runs the probe's steps; its report lines.
  std::vector<std::string> Probe(const std::vector<std::string>& steps) {
    const winetest::Finished run = winetest::RunToEnd(
        winetest::WineCommand(winetest::WindowsProgram("window_probe.exe"), steps), Locale(),
        180000);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = run.output.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = run.output.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows text stream
      lines.push_back(line);
    }
    EXPECT_EQ(run.status, 0) << run.output;
    return lines;
  }

  // The rest of the probe's last line that starts with `head` ("text 1001").
  static std::string Line(const std::vector<std::string>& lines, const std::string& head) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
      if (line->compare(0, head.size() + 1, head + " ") == 0) return line->substr(head.size() + 1);
    return "<no " + head + ">";
  }

  void Screenshot(const std::vector<std::string>& lines, const std::string& name) {
    const std::string png = winetest::ScreenshotDirectory() + "/" + name + "_" +
                            std::to_string(GetParam().codePage) + ".png";
    EXPECT_TRUE(winetest::SaveScreenshot("rect " + Line(lines, "rect"), png)) << png;
  }

  support::TempDir dir;
};

TEST_P(ProgramWindows, TheLauncherReportsAMissingRelayThenStartsItFromItsButton) {
  const Language& language = GetParam();
  support::ChildProcess launcher;
  support::ChildProcess::Options options;
  options.environment = Locale();
  ASSERT_TRUE(launcher.Start(winetest::WineCommand(dir.File("relaytray.exe")), options));

  // No portrelay.exe beside it: the red dialog with the code-2 message.
  auto error =
      Probe({std::string("window=") + language.errorCaption, "text=1001", "text=1", "rect"});
  EXPECT_EQ(Line(error, "window"), language.errorCaption);
  EXPECT_EQ(Line(error, "text 1001"), language.notFound);
  EXPECT_EQ(Line(error, "text 1"), language.ok);
  Screenshot(error, "launcher_status_error");

  // Dismissed: the launcher stays, with its texts in the code page's language.
  auto window =
      Probe({std::string("window=") + language.errorCaption, "press=1", "closed",
             std::string("window=") + language.launcherCaption, "text=1000", "text=1", "rect"});
  EXPECT_EQ(Line(window, "window"), language.launcherCaption);
  EXPECT_EQ(Line(window, "text 1000"), language.startButton);
  EXPECT_EQ(Line(window, "text 1"), language.exitButton);
  Screenshot(window, "launcher");
  EXPECT_TRUE(launcher.Running());

  // A program that starts and ends at once stands in for the relay: "Start
  // service" shows the green dialog, and once it is dismissed the launcher ends.
  fs::copy_file(winetest::WindowsProgram("window_probe.exe"), dir.File("portrelay.exe"));
  auto normal = Probe({std::string("window=") + language.launcherCaption, "press=1000",
                       std::string("window=") + language.normalCaption, "text=1001", "rect"});
  EXPECT_EQ(Line(normal, "text 1001"), language.started);
  Screenshot(normal, "launcher_status_normal");
  Probe({std::string("window=") + language.normalCaption, "press=1", "closed"});
  const auto status = launcher.WaitExit(60000);
  ASSERT_TRUE(status.has_value()) << "the launcher did not close after a successful start";
  EXPECT_EQ(*status, 0);
}

TEST_P(ProgramWindows, TheUninstallersExitButtonRemovesNothing) {
  const Language& language = GetParam();
  support::WriteFile(dir.File("Settings.ini"), "[Settings]\r\n");
  support::ChildProcess uninstaller;
  support::ChildProcess::Options options;
  options.environment = Locale();
  ASSERT_TRUE(uninstaller.Start(winetest::WineCommand(dir.File("relayremove.exe")), options));

  auto window = Probe({std::string("window=") + language.uninstallerCaption, "text=1000",
                       "text=1001", "text=1002", "text=1", "rect"});
  EXPECT_EQ(Line(window, "window"), language.uninstallerCaption);
  EXPECT_EQ(Line(window, "text 1000"), language.deleteButton);
  EXPECT_EQ(Line(window, "text 1001"), language.serviceBox);
  EXPECT_EQ(Line(window, "text 1002"), language.driverBox);
  EXPECT_EQ(Line(window, "text 1"), language.uninstallerExit);
  Screenshot(window, "uninstaller");
  Probe({std::string("window=") + language.uninstallerCaption, "press=1", "closed"});
  const auto status = uninstaller.WaitExit(60000);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(fs::exists(dir.File("Settings.ini")));
}

INSTANTIATE_TEST_SUITE_P(CodePages, ProgramWindows, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& info) {
                           return "CodePage" + std::to_string(info.param.codePage);
                         });

}  // namespace
