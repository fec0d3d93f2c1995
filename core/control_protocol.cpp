// The control protocol's requests and answers (control_protocol.h).
#include "core/control_protocol.h"

#include "core/format.h"
#include "core/journal_format.h"
#include "core/recent_receipts.h"
#include "core/relay_service.h"

namespace core {
namespace {

constexpr std::string_view kRecent = "recent";
constexpr std::string_view kReprint = "reprint ";
constexpr std::string_view kOk = "ok\n";
constexpr std::string_view kFailed = "failed\n";

std::string Answer(bool ok, const std::string& text) {
  return std::string(ok ? kOk : kFailed) + text;
}

std::string ListText(RelayService& service) {
  const RecentList list = ListRecentJobs(service);
  std::string text;
  if (!list.problem.empty()) text += "problem: " + list.problem + "\n";
  if (list.jobs.empty()) return text + "no receipts in the journal\n";
  text += Format("%-10s %-19s %10s  %-13s %s\n", "id", "received", "bytes", "state", "port");
  for (const RecentJob& job : list.jobs) {
    text += Format("%-10llu %-19s %10llu  %-13s %s\n", static_cast<unsigned long long>(job.id),
                   LocalTimeText(job.receivedMs).c_str(), static_cast<unsigned long long>(job.size),
                   JobStateName(job.state), job.port.c_str());
  }
  return text;
}

}  // namespace

bool ParseJobId(std::string_view text, uint64_t& id) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (value == 0) return false;
  id = value;
  return true;
}

std::string RecentRequest() { return std::string(kRecent) + "\n"; }

std::string ReprintRequest(uint64_t id) {
  return std::string(kReprint) + std::to_string(id) + "\n";
}

ControlRequest ParseControlRequest(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  ControlRequest request;
  if (line == kRecent) {
    request.kind = ControlRequest::Kind::kRecent;
  } else if (line.substr(0, kReprint.size()) == kReprint &&
             ParseJobId(line.substr(kReprint.size()), request.id)) {
    request.kind = ControlRequest::Kind::kReprint;
  }
  return request;
}

std::string AnswerControlRequest(RelayService& service, std::string_view line) {
  const ControlRequest request = ParseControlRequest(line);
  switch (request.kind) {
    case ControlRequest::Kind::kRecent:
      return Answer(true, ListText(service));
    case ControlRequest::Kind::kReprint: {
      const ReprintResult result = RequestReprint(service, request.id);
      return Answer(result == ReprintResult::kQueued,
                    Format("job %llu: ", static_cast<unsigned long long>(request.id)) +
                        service.Say(ReprintResultText(result)) + "\n");
    }
    case ControlRequest::Kind::kInvalid:
      break;
  }
  return Answer(false, "not a request of this relay\n");
}

ControlAnswer ParseControlAnswer(std::string_view answer) {
  ControlAnswer parsed;
  if (answer.size() > kMaxControlAnswer) return parsed;
  for (const std::string_view head : {kOk, kFailed}) {
    if (answer.substr(0, head.size()) != head) continue;
    parsed.valid = true;
    parsed.ok = head == kOk;
    parsed.text = std::string(answer.substr(head.size()));
  }
  return parsed;
}

std::string LocalTimeText(int64_t localMs) {
  const platform::LocalTime t = LocalTimeOfCivilMs(localMs);
  return Format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

}  // namespace core
