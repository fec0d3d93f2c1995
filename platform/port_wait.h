// PortWait: the relay worker's wait for input on its relay ends, between jobs
// and inside one. It ends as soon as one of the ports has input queued, when
// it is woken (a stop request), or when its time is up. A port the system
// cannot wait on (hung up, failing, or a driver that does not end a wait when
// asked) is looked at every `pollMs` instead, so it neither ends the wait
// early nor makes its caller spin.
//
// The blocking itself belongs to the back-end (PortSignals: poll with a
// wake-up descriptor on POSIX, WaitCommEvent with a stop event on Windows);
// the time keeping and what each end of a block means are decided here, on
// the owner's clock, so tests run them on fakes.
//
// Threads: Wait is called by one thread (the worker); Wake by any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace platform {

class PortSignals {
 public:
  static constexpr int kWoken = -1;
  static constexpr int kTimeUp = -2;

  virtual ~PortSignals() = default;
  // Blocks until Wake was called (kWoken; that wake-up is then used up), one
  // of the ports not marked in `polled` may have input or cannot be waited on
  // (its index), or `timeoutMs` passed (kTimeUp). Null ports are skipped.
  // May return kTimeUp early; the caller then looks at the ports again.
  virtual int Block(std::span<SerialPort* const> ports, std::span<const uint8_t> polled,
                    uint32_t timeoutMs) = 0;
  // Makes the current Block, or the next one, return kWoken.
  virtual void Wake() = 0;
};

// Blocking without any help from the ports: every port is polled, and the
// block only sleeps until woken or the time is up. For back-ends that cannot
// wait on their ports.
std::unique_ptr<PortSignals> NewSleepingPortSignals();

enum class WaitEnd { kInput, kWoken, kTimeUp };

class PortWait {
 public:
  PortWait(Clock& clock, std::unique_ptr<PortSignals> signals);

  // Returns kInput as soon as one of `ports` (nulls skipped) has input queued,
  // kWoken when woken, kTimeUp after `timeoutMs`. Ports that cannot be waited
  // on are looked at every `pollMs` (at least 1). A wake-up given while no
  // wait runs ends the next one at once.
  WaitEnd Wait(std::span<SerialPort* const> ports, uint32_t timeoutMs, uint32_t pollMs);
  void Wake() { signals_->Wake(); }

 private:
  bool AnyInput(std::span<SerialPort* const> ports) const;
  bool AnyPolled(std::span<SerialPort* const> ports) const;

  Clock& clock_;
  std::unique_ptr<PortSignals> signals_;
  std::vector<uint8_t> polled_;
  std::vector<uint8_t> emptyEnds_;
};

}  // namespace platform
