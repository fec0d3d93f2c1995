// WriteLog: checks the flag before anything else, then formats, makes sure
// the directory exists and appends one line to the day's file, all under the
// log lock so lines of the two threads never mix.
#include "core/log.h"

#include <array>
#include <cstdio>

#include "platform/os_error.h"

namespace core {
namespace {

const char* LevelTag(int level) {
  switch (level) {
    case kLogDebug:
      return "[DEBUG] : ";
    case kLogNormal:
      return "[NORMAL] : ";
    case kLogChange:
      return "[CHANGE] : ";
    case kLogError:
      return "[ERROR] : ";
    default:
      return "";
  }
}

}  // namespace

std::string LogFileName(const platform::LocalTime& t) {
  char name[64];
  std::snprintf(name, sizeof name, "%04d_%02d_%02d.log", t.year, t.month, t.day);
  return name;
}

std::string LogLinePrefix(const platform::LocalTime& t, int level) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d:%03ld : ", t.year, t.month,
                t.day, t.hour, t.minute, t.second, static_cast<long>(t.millisecond));
  return std::string(prefix) + LevelTag(level);
}

void Log::WriteLog(int level, const char* format, ...) {
  if (!enabled_.load(std::memory_order_relaxed)) return;
  va_list args;
  va_start(args, format);
  WriteLogV(level, format, args);
  va_end(args);
}

void Log::WriteLogV(int level, const char* format, va_list args) {
  if (!enabled_.load(std::memory_order_relaxed)) return;
  Append(level, format, args);
}

void Log::WriteLogAlways(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Append(level, format, args);
  va_end(args);
}

void Log::Append(int level, const char* format, va_list args) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!format) return;

  // The formatter stops at 1024 characters, as the Windows one does.
  std::array<char, kLogMessageLimit + 1> message{};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::vsnprintf(message.data(), message.size(), format, args);
#pragma GCC diagnostic pop

  platform::Files& files = *platform_.files;
  const std::string dir = directory_.PathOf("MainLog");
  if (!files.DirectoryExists(dir)) files.MakeDirectory(dir);

  const platform::LocalTime now = platform_.clock->LocalNow();
  const std::string path = dir + files.PathSeparator() + LogFileName(now);
  const std::string line = LogLinePrefix(now, level) + message.data() + "\n";
  if (!files.AppendText(path, line))
    platform_.system->DebugOutput("Fail to open file: " + platform::SystemWords(files.LastError()));
}

}  // namespace core
