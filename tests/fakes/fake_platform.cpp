// Fakes of the platform interfaces.
#include "tests/fakes/fake_platform.h"

namespace fakes {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

platform::LocalTime FakeClock::LocalNow() {
  platform::LocalTime base;
  {
    std::lock_guard<std::mutex> g(lock_);
    base = base_;
  }
  const int64_t startMs =
      ((DaysFromCivil(base.year, base.month, base.day) * 24 + base.hour) * 60 + base.minute) *
          60000 +
      base.second * 1000 + base.millisecond;
  const int64_t ms = startMs + now_.load();
  const int64_t days = ms / 86400000;
  int64_t rest = ms % 86400000;
  platform::LocalTime t;
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600000);
  rest %= 3600000;
  t.minute = static_cast<int>(rest / 60000);
  rest %= 60000;
  t.second = static_cast<int>(rest / 1000);
  t.millisecond = static_cast<int>(rest % 1000);
  return t;
}

bool FakeFiles::AppendText(const std::string& path, const std::string& text) {
  {
    std::lock_guard<std::mutex> g(lock_);
    appended_.push_back(path);
  }
  if (failAppends_) return Scripted();
  return Real(real_.AppendText(path, text));
}

std::vector<std::string> FakeFiles::appendedPaths() {
  std::lock_guard<std::mutex> g(lock_);
  return appended_;
}

void FakeSystem::DebugOutput(const std::string& text) {
  std::lock_guard<std::mutex> g(lock_);
  debug_.push_back(text);
}

void FakeSystem::ShowMessageBox(const std::string& text, const std::string& caption) {
  {
    std::lock_guard<std::mutex> g(lock_);
    boxes_.push_back(caption + "|" + text);
  }
  if (onMessageBox) onMessageBox(text);
}

std::vector<std::string> FakeSystem::debugLines() {
  std::lock_guard<std::mutex> g(lock_);
  return debug_;
}

std::vector<std::string> FakeSystem::messageBoxes() {
  std::lock_guard<std::mutex> g(lock_);
  return boxes_;
}

FakePlatform::FakePlatform() : files(*platform::Native().files) {
  platform = platform::Native();
  platform.clock = &clock;
  platform.files = &files;
  platform.system = &system;
  platform.registry = &registry;
  platform.processes = &processes;
  platform.portEnumerator = &portEnumerator;
  platform.runningPrograms = &runningPrograms;
}

}  // namespace fakes
