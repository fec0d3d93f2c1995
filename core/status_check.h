// What happens after each job and between jobs: the print result is asked
// for, faults are reported (pop-ups on) or waited out (pop-ups off), and the
// job is sent again once the printer is usable. Runs on the relay worker.
#pragma once

#include <cstdint>

#include "core/journal_format.h"
#include "core/reprint_queue.h"
#include "core/texts.h"
#include "links/printer_link.h"

namespace core {

class RelayService;

class StatusCheck {
 public:
  StatusCheck(RelayService& service, links::PrinterLink& link, ReprintQueue& queue)
      : service_(service), link_(link), queue_(queue) {}

  // After a job: confirm it, report faults, offer the reprint, clear the queue.
  // `incomplete`: some of the job could not be written to the printer, so a
  // confirmation does not make it printed. False when a stop request cut the
  // handling short before the job was settled (confirmed, reprinted or
  // dropped by the user): the job is abandoned.
  bool JobEnd(bool incomplete = false);
  // After each pass over the ports: report a printer that is not fine.
  void IdleWatch();
  // The journal id of the job JobEnd settles (0: none); its states are
  // recorded as the check reaches them.
  void SetJob(uint64_t id) { job_ = id; }

  // Pop-ups off: how often a job is reprinted at most without a confirmation.
  static constexpr int kQuietReprints = 5;

  static const Text& JobMessage(unsigned code);
  static const Text& IdleMessage(unsigned code);

 private:
  // A pop-up; while it is up, jobs that arrive are held (see
  // RelayWorker::TakeHeldInput) by a thread that stands in for the worker.
  int Show(const Text& text, int kind);
  void Record(JobState state);
  // Sleeps the poll pause, taking held jobs in meanwhile.
  void PauseHolding();
  // Sends the job again and asks for its print result.
  unsigned Replay();
  bool Stopping() const;
  // Pop-ups off: polls the printer until it can print, or a stop request.
  void WaitUntilUsable();
  // Pop-ups off, the relay waits for a fault to clear without a word while
  // the jobs wait in their ports: the log says so once per such wait, with
  // the status that holds them, and once when they are free again.
  void NoteStatus(unsigned status);

  RelayService& service_;
  links::PrinterLink& link_;
  ReprintQueue& queue_;
  bool holding_ = false;
  uint64_t job_ = 0;
};

}  // namespace core
