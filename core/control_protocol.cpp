// The control protocol's requests and answers (control_protocol.h).
#include "core/control_protocol.h"

#include "core/format.h"
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

// Civil from days (Howard Hinnant's algorithm), the inverse of CivilDay.
std::string LocalTimeText(int64_t localMs) {
  int64_t seconds = localMs / 1000;
  if (localMs % 1000 < 0) --seconds;
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return Format("%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                static_cast<long long>(rest % 60));
}

}  // namespace core
