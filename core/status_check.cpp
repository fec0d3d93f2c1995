// The fault dialogue after a job, the polling without pop-ups, the replay and
// the idle watch.
#include "core/status_check.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/relay_service.h"

namespace core {
namespace {

constexpr uint32_t kStatusPollMs = 500;
constexpr uint32_t kHeldPollMs = 250;

// While a pop-up blocks the worker, this thread reads the relay ends for it:
// the worker touches neither them nor the link until the pop-up is answered.
class HeldIntake {
 public:
  explicit HeldIntake(RelayWorker& worker) : worker_(worker) {
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(lock_);
      while (!done_) {
        lock.unlock();
        worker_.TakeHeldInput();
        lock.lock();
        wake_.wait_for(lock, std::chrono::milliseconds(kHeldPollMs), [this] { return done_; });
      }
    });
  }
  ~HeldIntake() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  RelayWorker& worker_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

bool Usable(unsigned status) {
  return status == links::kPrinterOk || status == links::kPaperNearEnd;
}

const char* StatusName(unsigned status) {
  switch (status) {
    case links::kPrinterOk:
      return "no error";
    case links::kCoverOpen:
      return "cover open";
    case links::kPaperNearEnd:
      return "paper near end";
    case links::kPaperOut:
      return "paper out";
    case links::kPrinterPowerOff:
      return "power off";
    default:
      return "an unknown status";
  }
}

}  // namespace

const Text& StatusCheck::JobMessage(unsigned code) {
  switch (code) {
    case links::kCoverOpen:
      return texts::kJobCoverOpen;
    case links::kPaperNearEnd:
      return texts::kJobNearEnd;
    case links::kPaperOut:
      return texts::kJobPaperOut;
    case links::kPrinterPowerOff:
      return texts::kJobPowerOff;
    case links::kNoResponse:
      return texts::kJobNoResponse;
    default:
      return texts::kJobUnknown;
  }
}

const Text& StatusCheck::IdleMessage(unsigned code) {
  switch (code) {
    case links::kCoverOpen:
      return texts::kIdleCoverOpen;
    case links::kPaperNearEnd:
      return texts::kIdleNearEnd;
    case links::kPaperOut:
      return texts::kIdlePaperOut;
    case links::kPrinterPowerOff:
      return texts::kIdlePowerOff;
    default:
      return texts::kIdleUnknown;
  }
}

void StatusCheck::WaitUntilUsable() {
  for (unsigned s = link_.GetStatus(); !Stopping(); s = link_.GetStatus()) {
    NoteStatus(s);
    if (Usable(s)) return;
    PauseHolding();
  }
}

void StatusCheck::PauseHolding() {
  platform::Clock& clock = *service_.platform().clock;
  for (uint32_t slept = 0; slept < kStatusPollMs && !Stopping(); slept += kHeldPollMs) {
    service_.worker().TakeHeldInput();
    clock.SleepMs(kHeldPollMs);
  }
}

void StatusCheck::Record(JobState state) {
  if (Journal* journal = service_.journal()) journal->AppendState(job_, state);
}

bool StatusCheck::Stopping() const { return service_.stopFlag().load() != 0; }

void StatusCheck::NoteStatus(unsigned status) {
  const bool held = !Usable(status);
  if (held == holding_) return;
  holding_ = held;
  const std::string line = std::string(held ? "jobs are held" : "jobs are no longer held") +
                           ": the printer reports " + StatusName(status) + " (" +
                           std::to_string(status) + ")";
  service_.log().WriteLog(kLogError, "%s", service_.PrinterPortPrefixed(line).c_str());
}

// Pop-ups shown by the worker end by themselves when a stop is asked for.
int StatusCheck::Show(const Text& text, int kind) {
  HeldIntake intake(service_.worker());
  return service_.ShowPrinterMessage(service_.Say(text), kind, service_.stopFlag().flag());
}

unsigned StatusCheck::Replay() {
  Record(JobState::kPrintedAgain);
  link_.TakeUndelivered();
  queue_.Replay(link_);
  unsigned s =
      link_.WaitPrintResult(service_.settings().resultTimeoutMs, service_.stopFlag().flag());
  const uint64_t lost = link_.TakeUndelivered();
  if (lost > 0) {
    service_.log().WriteLog(kLogError, "Reprint : %d bytes were not written to the printer %s: %s",
                            static_cast<int>(lost), service_.PrinterName().c_str(),
                            service_.PrinterFailureCause().c_str());
    if (s == links::kPrinterOk) s = links::kJobIncomplete;
  }
  return s;
}

bool StatusCheck::JobEnd(bool incomplete) {
  RelaySettings& settings = service_.settings();
  unsigned w = link_.WaitPrintResult(settings.resultTimeoutMs, service_.stopFlag().flag());
  if (incomplete && w == links::kPrinterOk) w = links::kJobIncomplete;
  if (w == links::kJobIncomplete && !incomplete) {
    service_.log().WriteLog(kLogError,
                            "Print result : the printer's answer does not cover the whole job "
                            "(its connection was lost, or its document was not ended)");
  }
  const bool confirmed = w == links::kPrinterOk;
  Record(confirmed ? JobState::kConfirmed : JobState::kFault);

  if (settings.popupOn) {
    while (w != links::kPrinterOk && !Stopping()) {
      Show(JobMessage(w), kStatusError);
      while (!Usable(link_.GetStatus()) && !Stopping()) Show(JobMessage(w), kStatusError);

      unsigned s = link_.GetStatus();
      if (s == links::kPrinterOk) {
        Show(texts::kJobNoError, kStatusNormal);
      } else if (s == links::kPaperNearEnd) {
        Show(texts::kJobNearEnd, kStatusError);
      } else {
        w = s;
        continue;
      }

      if (settings.reprintOn) {
        if (Show(texts::kJobReprint, kStatusReprint) == kAnswerOk) {
          s = Replay();
          Record(Usable(s) ? JobState::kConfirmed : JobState::kFault);
        } else if (!Stopping()) {
          Record(JobState::kDiscarded);  // the user does not want it again
        }
      }
      if (Usable(s) || Stopping()) break;
      w = s;
    }
  } else if (w != links::kPrinterOk && !Stopping()) {
    // A reprint that met a fault or did not reach the printer whole is tried
    // again once the printer is usable (a few times at most, so that a
    // printer whose flags disagree cannot print the job without end); one
    // that gets no answer at all is left, as the first copy was.
    for (int attempt = 1;; ++attempt) {
      WaitUntilUsable();
      if (Stopping() || !settings.reprintOn) break;
      const unsigned r = Replay();
      Record(r == links::kPrinterOk ? JobState::kConfirmed : JobState::kFault);
      if (r == links::kPrinterOk || r == links::kNoResponse || Stopping()) break;
      if (attempt == kQuietReprints) {
        Record(JobState::kAbandoned);
        service_.log().WriteLog(
            kLogError, "%s",
            service_
                .PrinterPortPrefixed("the job was reprinted " + std::to_string(attempt) +
                                     " times without a confirmation; it is given up")
                .c_str());
        break;
      }
    }
  }

  const bool settled = confirmed || !Stopping();

  if (settings.reprintOn) {
    queue_.Clear();
    service_.platform().system->DebugOutput(texts::kDebugClearQueue);
  }
  return settled;
}

void StatusCheck::IdleWatch() {
  unsigned g = link_.GetStatus();
  if (g == links::kPrinterOk) {
    NoteStatus(g);  // a wait cut short by a stop request has ended too
    return;
  }

  if (service_.settings().popupOn) {
    while (!Stopping()) {
      unsigned s = link_.GetStatus();
      if (s == links::kPrinterOk) {
        Show(texts::kIdleNoError, kStatusNormal);
        return;
      }
      Show(IdleMessage(s), kStatusError);
      unsigned t = link_.GetStatus();
      if (t == links::kPrinterOk) {
        Show(texts::kIdleNoError, kStatusNormal);
        return;
      }
      if (t == links::kPaperNearEnd) {
        Show(texts::kIdleNearEnd, kStatusError);
        return;
      }
    }
    return;
  }

  platform::System& system = *service_.platform().system;
  system.DebugOutput(system.FromUtf8(texts::kDebugStandbyFault));
  while (!Stopping()) {
    NoteStatus(g);
    if (Usable(g)) {
      system.DebugOutput(system.FromUtf8(texts::kDebugStandbyCleared));
      return;
    }
    PauseHolding();
    g = link_.GetStatus();
    system.DebugOutput(system.FromUtf8(texts::kDebugStandbyFault));
  }
}

}  // namespace core
