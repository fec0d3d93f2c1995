// The Win32 implementations of the platform interfaces.
#pragma once

#include "platform/durable_files.h"
#include "platform/platform.h"
#include "platform/serial_port.h"

namespace platform::win32 {

class WinClock : public Clock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  LocalTime LocalNow() override;
};

class WinFiles : public Files {
 public:
  std::string ModuleFileName() override;
  char PathSeparator() const override { return '\\'; }
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ClearReadOnly(const std::string& path) override;
  bool AppendText(const std::string& path, const std::string& text) override;
  int LastError() override;
};

class WinDurableFiles : public DurableFiles {
 public:
  int MakePrivateDirectory(const std::string& path) override;
  int OpenAppend(const std::string& path, std::unique_ptr<DurableFile>& file) override;
  int ReadAll(const std::string& path, std::string& bytes) override;
  int ReadAt(const std::string& path, uint64_t offset, std::size_t size,
             std::string& bytes) override;
  int ListFiles(const std::string& path, std::vector<DirectoryEntry>& entries) override;
  int Remove(const std::string& path) override;
  int RemoveFolder(const std::string& path) override;
};

class WinProfile : public Profile {
 public:
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, std::size_t bufferSize,
                        const std::string& file) override;
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) override;
  int LastError() override;
};

class WinSystem : public System {
 public:
  void DebugOutput(const std::string& text) override;
  unsigned AnsiCodePage() override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  std::string FromUtf8(const std::string& utf8) override;
  std::string ToUtf8(const std::string& bytes, unsigned codePage) override;
};

}  // namespace platform::win32

namespace platform::win32 {
SingleInstance& NewInstance();
RunningPrograms& NewRunningPrograms();
SerialPorts& NewSerialPorts();
Sockets& NewSockets();
PrintSpooler& NewSpooler();
// Virtual port provisioning: registry, programs, ports and printers.
Registry& NewRegistry();
Processes& NewProcesses();
PortEnumerator& NewPortEnumerator();
// USB printer class devices for the USB printer link.
UsbPrinters& NewUsbPrinters();
}  // namespace platform::win32
