// The daily log file: one line per call, under "MainLog" beside the program,
// written only while the LogFile setting is on.
#pragma once

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

#include "core/settings.h"
#include "platform/platform.h"

namespace core {

enum LogLevel : int { kLogDebug = 0, kLogNormal = 1, kLogChange = 2, kLogError = 3 };

inline constexpr std::size_t kLogMessageLimit = 1024;

class Log {
 public:
  Log(platform::Platform& platform, ProgramDirectory& directory, const std::atomic<int>& enabled)
      : platform_(platform), directory_(directory), enabled_(enabled) {}

  // printf-style. Text from outside the program (port names, setting values,
  // formatted messages) goes in as a "%s" argument, never as the format.
  void WriteLog(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void WriteLogV(int level, const char* format, va_list args);
  // Writes whatever the LogFile setting says: for what must reach the log
  // although the settings that switch it on could not be read.
  void WriteLogAlways(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

 private:
  platform::Platform& platform_;
  ProgramDirectory& directory_;
  void Append(int level, const char* format, va_list args);

  const std::atomic<int>& enabled_;
  std::mutex lock_;
};

// "YYYY_MM_DD.log" for the given day.
std::string LogFileName(const platform::LocalTime& t);
// "YYYY-MM-DD hh:mm:ss:mmm : " followed by the level tag (none for unknown levels).
std::string LogLinePrefix(const platform::LocalTime& t, int level);

}  // namespace core
