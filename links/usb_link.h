// UsbLink: a receipt printer of the USB printer class. Open finds the first
// accepted printer (vendor 0525, products A700 to A702), opens it, probes it
// with DLE EOT 2 and 4 and starts the reader. Writes go out in 1024-byte
// pieces within a time budget; a failed piece closes the device and starts
// the reconnect thread, which looks for the printer every 500 ms and reopens
// it. The reader asks the system every turn whether the device is still
// linked, enables Automatic Status Back when needed, forwards replies and
// keeps the status flags.
//
// Open results: 0 open and reader running; -1 no accepted printer; 1 cover
// open; 4 paper out; 2 no answer to the probe within 500 ms (also when the
// setup library could not be loaded: then no device is open, and when a
// thread of the earlier open, reader or reconnect, has not ended yet).
//
// Threads: the caller (open, write, close), the reader, and the reconnect
// thread while the device is away. Whole writes and every replacement of the
// device hold one lock, so a write never meets a half-replaced device and
// the worker's data and the reader's status commands never interleave.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "links/device_link.h"
#include "links/reader_block.h"
#include "links/reader_thread.h"

namespace platform {
class Processes;
class SerialPort;
class UsbPrinters;
}  // namespace platform

namespace links {

class UsbLink : public DeviceLink {
 public:
  // `machine` tells the processor architecture: a 64-bit system is asked
  // about the link in its registry's 64-bit view, and its device is read
  // without asking for the input queue first.
  UsbLink(platform::Clock& clock, platform::UsbPrinters& usb, platform::Processes& machine,
          ReaderMode mode = ReaderMode::kThread);
  ~UsbLink() override;

  // The target ("USB...") and parameter are not used.
  int Open(const std::string& target, int parameter) override;
  // 3 when the link was not open, else 0.
  int Close() override;
  // 1 written; 0 not open, or a piece failed (the device is then closed and
  // the reconnect thread started).
  int Write(const uint8_t* data, int length) override;
  int Read(uint8_t* buffer, int size) override;
  void ReaderTurn() override;
  // One pass of the reconnect thread's loop: discard what is left to read,
  // wait 500 ms, look for the printer and reopen it. The thread repeats it
  // while `connected` is 0; with ReaderMode::kManual no thread runs and
  // tests call this.
  void ReconnectTurn();

  int connected() const { return connected_; }
  bool holdsDevice() const;
  std::string devicePath() const;

  static constexpr int kPieceBytes = 1024;
  static constexpr uint32_t kPieceBaseMs = 500;
  static constexpr uint32_t kMsPerByte = 300;
  static constexpr uint32_t kKeepAliveIdleMs = 10000;
  static constexpr uint32_t kReconnectPauseMs = 500;

 private:
  void ReleaseLibrary();
  bool FindPrinter(std::string& path);
  bool OpenDevice();
  int Probe();
  int StartReaderAskingStatus();
  void StartReconnect();
  void StopReconnect();
  bool EarlierThreadsEnded();
  void RunLinkCheck();
  void OnlineCountRule(const ReaderBlock& block);
  std::shared_ptr<platform::SerialPort> Device() const;
  void SetDevice(std::shared_ptr<platform::SerialPort> device);

  platform::UsbPrinters& usb_;
  platform::Processes& machine_;
  const ReaderMode mode_;
  bool libraryLoaded_ = false;  // caller's thread only
  int arch64_ = 0;

  // Held across each whole write and each replacement of the device.
  std::mutex writeLock_;
  // Guards the device pointer and its path for the reader's short looks.
  mutable std::mutex deviceLock_;
  std::shared_ptr<platform::SerialPort> device_;
  std::string devicePath_;
  std::mutex readLock_;

  std::atomic<int> connected_{0};
  std::atomic<int> stopReconnect_{0};
  // Whether a reconnect thread is looping; changed only under its lock.
  std::mutex reconnectLock_;
  bool reconnectRunning_ = false;
  std::atomic<uint32_t> lastWriteTime_{0};
  ReaderThread reconnect_;
};

}  // namespace links
