// The launcher's presenter on fakes: the start results and their messages in
// both languages, the elevation choice, the path beside the launcher, and a
// second click while a start is still in progress. Its texts are written
// out: it is the golden test of launcher/launcher_texts.h.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launcher_dialog.h"
#include "tests/fakes/fake_platform.h"

namespace {

struct Shown {
  int kind;
  std::string message;
};

class RecordingLauncherView : public launcher::LauncherView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void SetControlText(int control, const std::string& text) override {
    texts.push_back(std::to_string(control) + " " + text);
  }
  void ShowStatus(int kind, const std::string& message) override {
    shown.push_back({kind, message});
    if (whileShown) whileShown();
  }
  void PostClose() override { ++closes; }

  std::string caption;
  std::vector<std::string> texts;
  std::vector<Shown> shown;
  int closes = 0;
  std::function<void()> whileShown;
};

class Launcher : public ::testing::Test {
 protected:
  Launcher() { fake.files.SetModuleFileName(Dir() + sep + "relaytray.exe"); }
  std::string Dir() const { return std::string("") + sep + "opt" + sep + "KELVO DOVI"; }
  std::string RelayPath() const { return Dir() + sep + "portrelay.exe"; }

  fakes::FakePlatform fake;
  char sep = fake.files.PathSeparator();
  RecordingLauncherView view;
  launcher::LauncherDialog dialog{fake.platform, view};
};

TEST_F(Launcher, ASuccessfulFirstStartClosesTheLauncherWithoutAMessage) {
  dialog.OnInitDialog();
  EXPECT_EQ(fake.processes.launches, std::vector<std::string>{"open " + RelayPath()});
  EXPECT_EQ(view.closes, 1);
  EXPECT_TRUE(view.shown.empty());
}

struct ResultRow {
  int code;
  const char* english;
  const char* korean;
};

// Every start result of the table, and one it does not know.
TEST_F(Launcher, EveryFailedStartShowsItsMessageInTheErrorDialogAndTheLauncherStays) {
  const ResultRow rows[] = {
      {2,
       "The executable file could not be found.\nPlease check the location of the executable "
       "file.",
       "실행 파일을 찾을 수 없습니다.\n실행 파일의 위치를 확인 바랍니다."},
      {3, "Could not find the executable path.\nPlease check the path of the executable file.",
       "실행 경로를 찾을 수 없습니다.\n실행 파일의 경로를 확인 바랍니다."},
      {5, "Access to the specified file is denied.",
       "실행 파일 접근이 차단되었습니다.\n실행 권한을 확인 바랍니다."},
      {8, "There is not enough memory to perform the specified action.",
       "원하는 액션에 대한 메모리가 부족합니다.\n메모리 상태를 확인 바랍니다."},
      {32, "A sharing violation occurred.",
       "공유 접근이 차단되었습니다.\n실행 권한을 확인 바랍니다."},
      {100, "An unknown error has occurred.", "알수 없는 에러가 발생했습니다."},
      {1223,
       "The request to execute administrator privileges has been canceled.\nPlease allow the "
       "administrator privilege request.",
       "관리자 권한 실행 요청을 취소하였습니다.\n관리자 권한 요청을 허용바랍니다."},
      {193, "", ""},  // not in the table: an empty message
  };
  for (const ResultRow& row : rows) {
    for (unsigned codePage : {1252u, 949u}) {
      SCOPED_TRACE(std::to_string(row.code) + " in code page " + std::to_string(codePage));
      fakes::FakePlatform f;
      f.files.SetModuleFileName(Dir() + sep + "relaytray.exe");
      f.system.codePage = codePage;
      f.processes.launchResults = {row.code};
      RecordingLauncherView v;
      launcher::LauncherDialog d(f.platform, v);
      d.OnInitDialog();
      ASSERT_EQ(v.shown.size(), 1u);
      EXPECT_EQ(v.shown[0].kind, launcher::kLaunchError);
      EXPECT_EQ(v.shown[0].message, codePage == 949 ? row.korean : row.english);
      EXPECT_EQ(v.closes, 0);
      EXPECT_EQ(d.lastResult(), row.code);
    }
  }
}

TEST_F(Launcher, TheStatusCaptionsAreTheSystemsOwnTextsTypoIncluded) {
  auto say = [&](unsigned codePage, int kind) {
    return core::Pick(fake.system, codePage, launcher::StatusCaption(kind));
  };
  EXPECT_EQ(say(1252, launcher::kLaunchError), "KELVO DUZI Service execution - Error");
  EXPECT_EQ(say(949, launcher::kLaunchError), "KELVO DOVI 서비스 실행 - 장애 발생");
  EXPECT_EQ(say(1252, launcher::kLaunchNormal), "KELVO DOVI Service execution - Normal");
  EXPECT_EQ(say(949, launcher::kLaunchNormal), "KELVO DOVI 서비스 실행 - 정상");
}

struct VerbRow {
  const char* what;
  bool versionKnown;
  uint32_t major;
  bool admin;
  const char* verb;
};

TEST_F(Launcher, ElevationIsAskedForOnlyWhereTheSystemHasItAndTheUserLacksIt) {
  const VerbRow rows[] = {
      {"an administrator on Windows 10", true, 10, true, "open"},
      {"a standard user on Windows 10", true, 10, false, "runas"},
      {"a standard user on Vista", true, 6, false, "runas"},
      {"a standard user on XP", true, 5, false, "open"},
      {"an unknown version", false, 10, false, "open"},
  };
  for (const VerbRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    f.processes.versionKnown = row.versionKnown;
    f.processes.version.major = row.major;
    f.processes.admin = row.admin;
    RecordingLauncherView v;
    launcher::LauncherDialog d(f.platform, v);
    d.OnInitDialog();
    ASSERT_EQ(f.processes.launches.size(), 1u);
    EXPECT_EQ(f.processes.launches[0].substr(0, f.processes.launches[0].find(' ')), row.verb);
  }
}

TEST_F(Launcher, EnglishTextsReplaceTheTemplatesOnlyOutsideCodePage949) {
  dialog.OnInitDialog();
  EXPECT_EQ(view.caption, "KELVO DOVI Service start program");
  EXPECT_EQ(view.texts, (std::vector<std::string>{"1000 Start service", "1 Exit (&X)"}));

  fakes::FakePlatform korean;
  korean.system.codePage = 949;
  RecordingLauncherView v;
  launcher::LauncherDialog d(korean.platform, v);
  d.OnInitDialog();
  EXPECT_EQ(v.caption, "");
  EXPECT_TRUE(v.texts.empty());
}

TEST_F(Launcher, ARefusedElevationIsReportedAndStartServiceAsksAgainThenCloses) {
  fake.processes.admin = false;
  fake.processes.launchResults = {platform::kErrorCancelled, 0};
  dialog.OnInitDialog();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].kind, launcher::kLaunchError);
  EXPECT_EQ(view.closes, 0);

  dialog.OnStartClicked();
  EXPECT_EQ(fake.processes.launches,
            (std::vector<std::string>{"runas " + RelayPath(), "runas " + RelayPath()}));
  ASSERT_EQ(view.shown.size(), 2u);
  EXPECT_EQ(view.shown[1].kind, launcher::kLaunchNormal);
  EXPECT_EQ(view.shown[1].message, "KELVO DOVI service was running normally.");
  EXPECT_EQ(view.closes, 1);
}

TEST_F(Launcher, AStartFromTheButtonThatFailsAgainKeepsTheLauncherOpen) {
  fake.processes.launchResults = {platform::kErrorFileNotFound, platform::kErrorFileNotFound};
  dialog.OnInitDialog();
  dialog.OnStartClicked();
  ASSERT_EQ(view.shown.size(), 2u);
  EXPECT_EQ(view.shown[1].kind, launcher::kLaunchError);
  EXPECT_EQ(view.closes, 0);
}

TEST_F(Launcher, ClicksWhileAStartOrItsReportIsInProgressAreIgnored) {
  fake.processes.launchResults = {platform::kErrorFileNotFound};
  dialog.OnInitDialog();
  fake.processes.launches.clear();

  // Once while the shell hands the start over, once while its report shows.
  fake.processes.onLaunch = [&] { dialog.OnStartClicked(); };
  view.whileShown = [&] { dialog.OnStartClicked(); };
  dialog.OnStartClicked();
  EXPECT_EQ(fake.processes.launches.size(), 1u);
  EXPECT_EQ(view.shown.size(), 2u);
  EXPECT_EQ(view.closes, 1);

  // The next click is a new start.
  fake.processes.onLaunch = nullptr;
  view.whileShown = nullptr;
  dialog.OnStartClicked();
  EXPECT_EQ(fake.processes.launches.size(), 2u);
}

TEST_F(Launcher, TheRelayIsLookedForBesideTheLauncherWhereverItLies) {
  fake.files.SetModuleFileName(Dir() + sep + "sub dir" + sep + "relaytray.exe");
  dialog.OnInitDialog();
  EXPECT_EQ(dialog.relayPath(), Dir() + sep + "sub dir" + sep + "portrelay.exe");
  EXPECT_EQ(dialog.ProgramDirectory(), Dir() + sep + "sub dir");
}

}  // namespace
