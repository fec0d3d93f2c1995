// Runs one simulated printer behind a transport on its own thread: the
// in-process form used by tests and the engine of the printer-sim program.
//
// Every observation is reported as an event line (see EventSink) from the
// server thread; Start() itself emits the "listen" and first "state" lines.
// The callback must not block for long: the printer waits for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/printer-sim/control_command.h"
#include "tools/printer-sim/printed_record.h"
#include "tools/printer-sim/printer.h"
#include "tools/printer-sim/profile.h"
#include "tools/printer-sim/record_file.h"
#include "tools/printer-sim/render/job_renderer.h"
#include "tools/printer-sim/reply_queue.h"
#include "tools/printer-sim/transport.h"

namespace printersim {

struct SimConfig {
  std::string tcp;                   // "HOST:PORT" (port 0: any free port), or
  std::string pty;                   // the link path of a pseudo-terminal.
  const Profile* profile = nullptr;  // nullptr: DefaultProfile().
  uint64_t print_rate = 0;           // Bytes per second, 0 = instant.
  uint64_t input_buffer = 0;         // Unprinted bytes held at most, 0 = no limit.
  bool init_clears_asb = true;
  std::string record_path;                     // Empty: no record file.
  std::string printed_path;                    // Empty: no record of the printed bytes.
  std::string render_dir;                      // Empty: no pictures of the printed jobs.
  std::chrono::milliseconds render_gap{1000};  // A pause this long ends a job.
  InitialState initial;
};

class SimServer : private TransportListener {
 public:
  explicit SimServer(SimConfig config, EventSink sink = nullptr);
  ~SimServer() override;
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Opens the transport and record file and starts the server thread.
  // 0, or -1 with *error.
  int Start(std::string* error);
  // Stops the thread and closes the transport (removing the pty link). From
  // the event callback it only asks the thread to end.
  void Stop();

  // Applies an operator command as typed on stdin and waits until the server
  // thread has applied it. 0 applied, -1 unknown command, -2 not running.
  int Control(std::string_view line);
  int Control(ControlAction action);

  bool running() const { return running_; }
  // True once "quit" was applied; the server thread has then ended.
  bool quit_requested() const { return quit_requested_; }
  // TCP port actually listened on (after Start), 0 for a pty.
  uint16_t port() const { return port_; }
  // The pseudo-terminal's /dev/pts/N (after Start), empty for TCP.
  const std::string& device_path() const { return device_path_; }
  uint64_t bytes_received() const { return received_; }

 private:
  void Loop();
  void Apply(ControlAction action);
  void ApplyPending();
  void Flush();
  // How many bytes the receive buffer takes now.
  size_t ReadAllowance() const;
  void Emit(const std::string& line);
  void Wake();
  void DrainWake();

  // TransportListener, called on the server thread.
  void OnConnected(const std::string& peer) override;
  void OnData(const uint8_t* data, size_t len) override;
  void OnDisconnected() override;
  void OnError(const std::string& message) override;

  SimConfig config_;
  EventSink sink_;
  std::unique_ptr<Transport> transport_;
  std::unique_ptr<Printer> printer_;
  std::unique_ptr<JobRenderer> renderer_;
  RecordFile record_;
  PrintedRecord printed_;
  ReplyQueue replies_;
  int wake_fd_ = -1;
  uint16_t port_ = 0;
  std::string device_path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> quit_requested_{false};
  std::atomic<uint64_t> received_{0};

  std::mutex mu_;
  std::condition_variable applied_cv_;
  std::vector<ControlAction> pending_;  // Guarded by mu_.
  uint64_t posted_ = 0;                 // Guarded by mu_.
  uint64_t applied_ = 0;                // Guarded by mu_.
};

}  // namespace printersim
