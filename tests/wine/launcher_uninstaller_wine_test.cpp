// relaytray.exe and relayremove.exe on the Wine desktop, in code page 949
// (a Korean locale) and 1252: the launcher's error and normal status dialogs,
// the launcher itself and the uninstaller, read through the window probe and
// saved as screenshots (build/screenshots/launcher_*.png, uninstaller_*.png).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "launcher/launcher_texts.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/wine_support.h"
#include "uninstaller/uninstaller_texts.h"

namespace {

namespace fs = std::filesystem;

struct Language {
  const char* locale;
  unsigned codePage;
};

const Language kLanguages[] = {{"ko_KR.UTF-8", core::kKoreanCodePage}, {"C.UTF-8", 1252}};

namespace lt = launcher::texts;
namespace ut = uninstaller::texts;
static_assert(lt::kStartFailures[0].code == 2, "the message of a missing program comes first");

// The text as the window shows it in the language (UTF-8 on both sides).
std::string In(const Language& language, const core::Text& text) {
  return language.codePage == core::kKoreanCodePage ? text.korean : text.english;
}

// The probe writes a line feed in a window's text as "\\n".
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

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
  auto error = Probe({"window=" + In(language, lt::kStatusError), "text=1001", "text=1", "rect"});
  EXPECT_EQ(Line(error, "window"), In(language, lt::kStatusError));
  EXPECT_EQ(Line(error, "text 1001"), Escaped(In(language, lt::kStartFailures[0].message)));
  EXPECT_EQ(Line(error, "text 1"), In(language, lt::kStatusOk));
  Screenshot(error, "launcher_status_error");

  // Dismissed: the launcher stays, with its texts in the code page's language.
  auto window = Probe({"window=" + In(language, lt::kStatusError), "press=1", "closed",
                       "window=" + In(language, lt::kCaption), "text=1000", "text=1", "rect"});
  EXPECT_EQ(Line(window, "window"), In(language, lt::kCaption));
  EXPECT_EQ(Line(window, "text 1000"), In(language, lt::kStartButton));
  EXPECT_EQ(Line(window, "text 1"), In(language, lt::kExitButton));
  Screenshot(window, "launcher");
  EXPECT_TRUE(launcher.Running());

  // A program that starts and ends at once stands in for the relay: "Start
  // service" shows the green dialog, and once it is dismissed the launcher ends.
  fs::copy_file(winetest::WindowsProgram("window_probe.exe"), dir.File("portrelay.exe"));
  auto normal = Probe({"window=" + In(language, lt::kCaption), "press=1000",
                       "window=" + In(language, lt::kStatusNormal), "text=1001", "rect"});
  EXPECT_EQ(Line(normal, "text 1001"), In(language, lt::kStarted));
  Screenshot(normal, "launcher_status_normal");
  Probe({"window=" + In(language, lt::kStatusNormal), "press=1", "closed"});
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

  auto window = Probe({"window=" + In(language, ut::kCaption), "text=1000", "text=1001",
                       "text=1002", "text=1", "rect"});
  EXPECT_EQ(Line(window, "window"), In(language, ut::kCaption));
  EXPECT_EQ(Line(window, "text 1000"), In(language, ut::kDeleteButton));
  EXPECT_EQ(Line(window, "text 1001"), In(language, ut::kServiceBox));
  EXPECT_EQ(Line(window, "text 1002"), In(language, ut::kDriverBox));
  EXPECT_EQ(Line(window, "text 1"), In(language, ut::kExitButton));
  Screenshot(window, "uninstaller");
  Probe({"window=" + In(language, ut::kCaption), "press=1", "closed"});
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
