// The journal's receipts are the owner's only on Linux: its folder is 0700
// and its day-files 0600, whatever the umask, and a folder left wider by
// hand is narrowed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/journal.h"
#include "platform/platform.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(JournalPermissions, FolderAndFilesAreTheOwnersOnly) {
  for (const bool existedWide : {false, true}) {
    support::TempDir dir;
    const std::string folder = dir.File("Journal");
    if (existedWide) {
      ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    }
    const mode_t umaskBefore = umask(0);
    fakes::FakeClock clock;
    core::Journal journal(*platform::Native().durableFiles, clock, folder, '/',
                          [](const std::string&) {});
    ASSERT_EQ(journal.Open({}), 0);
    journal.MarkReceived(journal.AppendArrival("COM1", "JOB")).get();
    journal.Close();
    umask(umaskBefore);

    EXPECT_EQ(ModeOf(folder), 0700u) << "existed wide: " << existedWide;
    EXPECT_EQ(ModeOf(folder + "/" + core::DayFileName(clock.LocalNow(), 0)), 0600u);
  }
}

}  // namespace
