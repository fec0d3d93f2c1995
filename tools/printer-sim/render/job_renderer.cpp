// Job files: numbering, the pause rule and the backlog of unprinted bytes.
#include "tools/printer-sim/render/job_renderer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace printersim {
namespace {

// The number of a "job-NNNN.png" file name, 0 for other names.
uint64_t JobNumber(const std::string& name) {
  if (name.size() < 9 || name.rfind("job-", 0) != 0 || !name.ends_with(".png")) return 0;
  uint64_t n = 0;
  for (size_t i = 4; i + 4 < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 1'000'000'000) return 0;
    n = n * 10 + static_cast<uint64_t>(name[i] - '0');
  }
  return n;
}

}  // namespace

JobRenderer::JobRenderer(RenderConfig config, EventSink sink)
    : config_(std::move(config)), sink_(std::move(sink)) {}

JobRenderer::~JobRenderer() = default;

int JobRenderer::Start(std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(config_.dir, ec);
  if (!fs::is_directory(config_.dir, ec)) {
    *error = "render folder " + config_.dir + " cannot be created";
    return -1;
  }
  if (glyphs_.Load(error) != 0) return -1;
  // Earlier runs' files stay: numbering continues after the highest.
  for (const auto& entry : fs::directory_iterator(config_.dir, ec)) {
    const uint64_t n = JobNumber(entry.path().filename().string());
    if (n >= next_number_) next_number_ = n + 1;
  }
  renderer_ = std::make_unique<ReceiptRenderer>(
      &glyphs_, [this](RenderedPage&& page) { WritePage(std::move(page)); },
      [this](const std::string& note) {
        if (sink_) sink_("note " + note);
      });
  return 0;
}

void JobRenderer::Received(const uint8_t* data, size_t len) {
  if (len == 0 || !renderer_) return;
  if (kept_ + len > kMaxBacklog) {
    if (segments_.empty() || segments_.back().lost == 0) segments_.push_back(Segment{});
    segments_.back().lost += len;
    return;
  }
  Segment segment;
  segment.bytes.assign(data, data + len);
  segments_.push_back(std::move(segment));
  kept_ += len;
}

void JobRenderer::Consumed(uint64_t bytes, bool printed, Clock::time_point now) {
  if (!renderer_) return;
  if (printed && bytes > 0) last_print_ = now;
  while (!segments_.empty()) {
    Segment& s = segments_.front();
    if (s.link_change) {
      renderer_->ResetLink();
      segments_.pop_front();
      continue;
    }
    if (bytes == 0) break;
    if (s.lost > 0) {
      const uint64_t take = std::min(bytes, s.lost);
      s.lost -= take;
      bytes -= take;
      if (printed && sink_) {
        sink_("note " + std::to_string(take) + " printed bytes not drawn (over " +
              std::to_string(kMaxBacklog) + " bytes waited to be printed)");
      }
      renderer_->ResetLink();
      if (s.lost == 0) segments_.pop_front();
      continue;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes, s.bytes.size() - s.done));
    renderer_->Feed(s.bytes.data() + s.done, take, printed);
    s.done += take;
    kept_ -= take;
    bytes -= take;
    if (s.done == s.bytes.size()) segments_.pop_front();
  }
}

void JobRenderer::LinkChanged() {
  if (!renderer_) return;
  if (segments_.empty()) {
    renderer_->ResetLink();
    return;
  }
  Segment marker;
  marker.link_change = true;
  segments_.push_back(std::move(marker));
}

std::optional<Clock::time_point> JobRenderer::Deadline() const {
  if (!renderer_ || !renderer_->HasContent()) return std::nullopt;
  return last_print_ + config_.gap;
}

void JobRenderer::Tick(Clock::time_point now) {
  const auto deadline = Deadline();
  if (deadline && now >= *deadline) EndJob("pause");
}

void JobRenderer::Finish() {
  if (renderer_) EndJob("end");
}

void JobRenderer::EndJob(const char* reason) {
  reason_ = reason;
  renderer_->EndPage();
  reason_ = "cut";
}

void JobRenderer::WritePage(RenderedPage&& page) {
  char name[32];
  std::snprintf(name, sizeof name, "job-%04llu.png", static_cast<unsigned long long>(next_number_));
  ++next_number_;
  const std::string path = (std::filesystem::path(config_.dir) / name).string();
  std::string error;
  if (WritePng(path, page.image, &error) != 0) {
    if (sink_) sink_("error " + error);
    return;
  }
  if (!sink_) return;
  std::string line = "render " + path + " " + std::to_string(page.image.width) + "x" +
                     std::to_string(page.image.height) + " " + (page.cut ? "cut" : reason_);
  if (page.clipped) line += " clipped";
  sink_(line);
}

}  // namespace printersim
