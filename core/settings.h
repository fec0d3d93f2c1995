// The relay's configuration: the two INI files beside the program, the
// in-memory settings record, and the program-directory lookup.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace core {

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kPortsSection = "Ports";
inline constexpr std::size_t kSettingBufferSize = 1024;
// GetModuleFileNameA fills a 256-byte buffer: longer paths are cut there.
inline constexpr std::size_t kProgramPathBufferSize = 256;

// The settings as read, their converted values and the two file paths.
// The worker thread reads the converted values while the settings dialog may
// change them, so those are atomics.
struct RelaySettings {
  std::string port;
  std::string timeout;
  std::string baudrate;
  std::string realtime;
  std::string popup;
  std::string logFile;
  std::string reprint;
  std::string resultTimeout;
  std::string ip;
  // Read when present, never written: the job journal and its recovery.
  std::string journal;
  std::string journalDays;
  std::string journalMb;
  std::string recoverMinutes;

  std::atomic<uint32_t> receiveTimeoutMs{0};
  std::atomic<int> baudRate{0};
  std::atomic<uint32_t> resultTimeoutMs{0};
  std::atomic<int> realtimeOn{0};
  std::atomic<int> popupOn{0};
  std::atomic<int> logFileOn{0};
  std::atomic<int> reprintOn{0};
  std::atomic<int> journalOn{1};          // off only for Journal=NO
  std::atomic<int> journalDaysKept{7};    // JournalDays, at least 1
  std::atomic<int> journalMbKept{100};    // JournalMB, at least 1
  std::atomic<int> recoverMinutesOn{10};  // RecoverMinutes: Popup=NO prints younger jobs again

  std::string settingsPath;
  std::string portListsPath;

  // The relay worker reads `port` and `ip` (its messages' prefix, its opening
  // of the link) while the settings dialog may replace them on the UI thread:
  // other threads read them through LinkTexts, and they change only through
  // SetLinkText.
  struct LinkTextsCopy {
    std::string port;
    std::string ip;
  };
  LinkTextsCopy LinkTexts() const {
    std::lock_guard<std::mutex> guard(linkTextLock_);
    return {port, ip};
  }
  void SetLinkText(std::string RelaySettings::*field, const std::string& value) {
    std::lock_guard<std::mutex> guard(linkTextLock_);
    this->*field = value;
  }

 private:
  mutable std::mutex linkTextLock_;
};

// The program directory without a trailing separator. Both threads ask for it
// (the log does on every line), so the lookup is serialised.
class ProgramDirectory {
 public:
  explicit ProgramDirectory(platform::Files& files) : files_(files) {}
  std::string Get();
  // "<directory><separator><name>".
  std::string PathOf(const std::string& name);

 private:
  platform::Files& files_;
  std::mutex lock_;
};

std::string ReadSetting(platform::Profile& profile, const std::string& section,
                        const std::string& key, const std::string& file);
void WriteSetting(platform::Profile& profile, const std::string& section, const std::string& key,
                  const std::string& value, const std::string& file);

// Decimal conversion of the leading digits: optional leading blanks and sign;
// empty or non-numeric text gives 0; values beyond the int range saturate.
int ToInt(const std::string& text);
// The same conversion read as an unsigned millisecond count (as a DWORD would).
uint32_t ToUnsigned(const std::string& text);
// A flag is on exactly when its text is "YES".
int ToFlag(const std::string& text);

// Past these a time-out is a mistake, not a wish (Timeout=-1 reads as
// 4294967295 ms and no job would ever end): the default is used instead.
inline constexpr uint32_t kLongestReceiveTimeoutMs = 60000;
inline constexpr uint32_t kLongestResultTimeoutMs = 600000;
inline constexpr uint32_t kDefaultReceiveTimeoutMs = 1000;
inline constexpr uint32_t kDefaultResultTimeoutMs = 10000;

// What loading or converting found that the user should hear of, one line
// each for the log.
struct SettingsNotes {
  std::vector<std::string> lines;
  // Settings.ini exists but gave no [Settings] key: even LogFile is unknown.
  bool nothingRead = false;
};

// Loads Settings.ini (or creates it with the defaults) into the record and
// converts the values. Builds both file paths first. A file that exists but
// yields no [Settings] key at all (unreadable, another encoding) is noted.
SettingsNotes LoadSettings(RelaySettings& settings, ProgramDirectory& directory,
                           platform::Files& files, platform::Profile& profile);

// Recomputes the converted values from the texts. A time-out past its bound
// is converted to its default and noted; the text keeps what the file says.
SettingsNotes ConvertSettings(RelaySettings& settings);
// The two time-outs as the relay uses them, bounded as above; a value out of
// range adds a note that names the key and the default used.
uint32_t ReceiveTimeoutMs(const std::string& text, SettingsNotes& notes);
uint32_t ResultTimeoutMs(const std::string& text, SettingsNotes& notes);

}  // namespace core
