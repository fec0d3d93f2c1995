// The POSIX implementations of the platform interfaces.
#pragma once

#include "platform/durable_files.h"
#include "platform/platform.h"
#include "platform/serial_port.h"

namespace platform::posix {

class PosixClock : public Clock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  LocalTime LocalNow() override;
};

class PosixFiles : public Files {
 public:
  std::string ModuleFileName() override;
  char PathSeparator() const override { return '/'; }
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ClearReadOnly(const std::string& path) override;
  bool AppendText(const std::string& path, const std::string& text) override;
  int LastError() override;
};

class PosixDurableFiles : public DurableFiles {
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

// Private-profile files written to behave like the Windows calls for all the
// program does with them (see profile.cpp).
class PosixProfile : public Profile {
 public:
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, std::size_t bufferSize,
                        const std::string& file) override;
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) override;
  int LastError() override;
};

class PosixSystem : public System {
 public:
  void DebugOutput(const std::string& text) override;
  unsigned AnsiCodePage() override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  std::string FromUtf8(const std::string& utf8) override { return utf8; }
  std::string ToUtf8(const std::string& bytes, unsigned codePage) override;
};

SingleInstance& NewInstance();
// The lock file of the single instance `name`: ".<name>.lock" beside the program.
std::string InstanceLockPath(const std::string& name);
RunningPrograms& NewRunningPrograms();
SerialPorts& NewSerialPorts();
Sockets& NewSockets();
PrintSpooler& NewSpooler();
// Virtual port provisioning: the registry stand-in, programs, ports and printers.
Registry& NewRegistry();
Processes& NewProcesses();
PortEnumerator& NewPortEnumerator();
// USB printer class devices for the USB printer link.
UsbPrinters& NewUsbPrinters();

}  // namespace platform::posix
