// Settings.ini / PortLists.ini access and the settings record.
#include "core/settings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>

namespace core {

std::string ProgramDirectory::Get() {
  std::lock_guard<std::mutex> guard(lock_);
  std::string path = files_.ModuleFileName();
  if (path.size() > kProgramPathBufferSize - 1) path.resize(kProgramPathBufferSize - 1);
  size_t cut = path.rfind(files_.PathSeparator());
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string ProgramDirectory::PathOf(const std::string& name) {
  return Get() + files_.PathSeparator() + name;
}

std::string ReadSetting(platform::Profile& profile, const std::string& section,
                        const std::string& key, const std::string& file) {
  return profile.GetString(section, key, "", kSettingBufferSize, file);
}

void WriteSetting(platform::Profile& profile, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file) {
  profile.WriteString(section, key, value, file);
}

int ToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

uint32_t ToUnsigned(const std::string& text) { return static_cast<uint32_t>(ToInt(text)); }

int ToFlag(const std::string& text) { return text == "YES" ? 1 : 0; }

namespace {

uint32_t BoundedTimeout(const char* key, const std::string& text, uint32_t longest,
                        uint32_t fallback, SettingsNotes& notes) {
  const uint32_t ms = ToUnsigned(text);
  if (ms <= longest) return ms;
  notes.lines.push_back(std::string(key) + "=" + text +
                        " in Settings.ini is out of range (at most " + std::to_string(longest) +
                        " ms): " + std::to_string(fallback) + " ms are used");
  return fallback;
}

// A count that must be at least 1: missing, zero or negative gives the default.
int PositiveOr(const std::string& text, int fallback) {
  const int value = ToInt(text);
  return value > 0 ? value : fallback;
}

}  // namespace

uint32_t ReceiveTimeoutMs(const std::string& text, SettingsNotes& notes) {
  return BoundedTimeout("Timeout", text, kLongestReceiveTimeoutMs, kDefaultReceiveTimeoutMs, notes);
}

uint32_t ResultTimeoutMs(const std::string& text, SettingsNotes& notes) {
  return BoundedTimeout("ResultTimeout", text, kLongestResultTimeoutMs, kDefaultResultTimeoutMs,
                        notes);
}

SettingsNotes ConvertSettings(RelaySettings& s) {
  SettingsNotes notes;
  s.receiveTimeoutMs = ReceiveTimeoutMs(s.timeout, notes);
  s.baudRate = ToInt(s.baudrate);
  s.resultTimeoutMs = ResultTimeoutMs(s.resultTimeout, notes);
  s.realtimeOn = ToFlag(s.realtime);
  s.popupOn = ToFlag(s.popup);
  s.logFileOn = ToFlag(s.logFile);
  s.reprintOn = ToFlag(s.reprint);
  s.journalOn = s.journal != "NO";
  s.journalDaysKept = PositiveOr(s.journalDays, 7);
  s.journalMbKept = PositiveOr(s.journalMb, 100);
  s.recoverMinutesOn = s.recoverMinutes.empty() ? 10 : std::max(0, ToInt(s.recoverMinutes));
  return notes;
}

SettingsNotes LoadSettings(RelaySettings& s, ProgramDirectory& directory, platform::Files& files,
                           platform::Profile& profile) {
  s.settingsPath = directory.PathOf("Settings.ini");
  s.portListsPath = directory.PathOf("PortLists.ini");

  struct Key {
    const char* name;
    std::string RelaySettings::*field;
    const char* fallback;  // written when the file is missing; null: not written
  };
  static const Key keys[] = {
      {"Port", &RelaySettings::port, "USB"},
      {"Timeout", &RelaySettings::timeout, "1000"},
      {"Baudrate", &RelaySettings::baudrate, "9600"},
      {"Realtime", &RelaySettings::realtime, "YES"},
      {"Popup", &RelaySettings::popup, "NO"},
      {"LogFile", &RelaySettings::logFile, "NO"},
      {"Reprint", &RelaySettings::reprint, "YES"},
      {"ResultTimeout", &RelaySettings::resultTimeout, "10000"},
      {"IP", &RelaySettings::ip, nullptr},
      {"Journal", &RelaySettings::journal, nullptr},
      {"JournalDays", &RelaySettings::journalDays, nullptr},
      {"JournalMB", &RelaySettings::journalMb, nullptr},
      {"RecoverMinutes", &RelaySettings::recoverMinutes, nullptr},
  };

  bool readNothing = false;
  if (files.FileExists(s.settingsPath)) {
    readNothing = true;
    for (const Key& k : keys) {
      s.*k.field = ReadSetting(profile, kSettingsSection, k.name, s.settingsPath);
      if (!(s.*k.field).empty()) readNothing = false;
    }
  } else {
    for (const Key& k : keys) {
      if (!k.fallback) continue;
      WriteSetting(profile, kSettingsSection, k.name, k.fallback, s.settingsPath);
      s.*k.field = k.fallback;
    }
  }
  SettingsNotes notes;
  if (readNothing) {
    notes.nothingRead = true;
    notes.lines.push_back(s.settingsPath +
                          " holds no [Settings] keys that can be read: every setting is empty");
  }
  for (std::string& line : ConvertSettings(s).lines) notes.lines.push_back(std::move(line));
  return notes;
}

}  // namespace core
