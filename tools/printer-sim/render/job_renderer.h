// The --render side of the simulator: turns what the printer prints into
// numbered PNG files, one per job. A job ends at a cut, or when printing
// pauses for the configured gap; each file written is announced with a
// "render" event line.
//
// Bytes are kept from reception until the printer model prints them, so a
// job held by an open cover is drawn when it prints, and data the printer
// throws away unprinted (a buffer clear, power off) never appears.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/printer-sim/printer.h"
#include "tools/printer-sim/render/glyphs.h"
#include "tools/printer-sim/render/receipt_renderer.h"

namespace printersim {

struct RenderConfig {
  std::string dir;  // Created when missing.
  std::chrono::milliseconds gap{1000};
};

class JobRenderer {
 public:
  // Received bytes kept while the printer holds them; beyond this they are
  // not drawn (a note says so).
  static constexpr uint64_t kMaxBacklog = 32u << 20;

  JobRenderer(RenderConfig config, EventSink sink);
  ~JobRenderer();

  // Creates the folder, loads the fonts and numbers after the job files
  // already there. 0, or -1 with *error.
  int Start(std::string* error);

  // Bytes in reception order, before the printer model takes them.
  void Received(const uint8_t* data, size_t len);
  // The printer printed (true) or threw away (false) the next `bytes` of
  // what was received.
  void Consumed(uint64_t bytes, bool printed, Clock::time_point now);
  // The host link changed: the renderer forgets a partly received command
  // once the bytes received before now are consumed.
  void LinkChanged();
  // When Tick next has a job to end.
  std::optional<Clock::time_point> Deadline() const;
  // Ends the job when printing has paused for the gap.
  void Tick(Clock::time_point now);
  // Ends the job in progress (the program stops).
  void Finish();

  // Received bytes held until printed.
  uint64_t backlog() const { return kept_; }

 private:
  struct Segment {
    std::vector<uint8_t> bytes;  // Empty for a gap or a link change.
    uint64_t lost = 0;           // Bytes not kept (backlog full).
    bool link_change = false;
    size_t done = 0;
  };

  void WritePage(RenderedPage&& page);
  void EndJob(const char* reason);

  RenderConfig config_;
  EventSink sink_;
  GlyphSource glyphs_;
  std::unique_ptr<ReceiptRenderer> renderer_;
  std::deque<Segment> segments_;
  uint64_t kept_ = 0;
  uint64_t next_number_ = 1;
  const char* reason_ = "cut";
  Clock::time_point last_print_{};
};

}  // namespace printersim
