// The log's words for OS errors (os_error.h).
#include "platform/os_error.h"

namespace platform {

std::string SystemWords(int code) {
  std::string text = OsErrorText(code);
  if (text.empty()) text = "system error";
  return text + " (error " + std::to_string(code) + ")";
}

std::string DescribeOsError(int code) {
  switch (OsCauseOf(code)) {
    case OsCause::kHeld:
      return "access denied (held by another program)";
    case OsCause::kNotFound:
      return "no such port, device or printer";
    case OsCause::kRefused:
      return "connection refused";
    case OsCause::kTimedOut:
      return "no answer (timed out)";
    case OsCause::kUnreachable:
      return "network unreachable";
    case OsCause::kOther:
      break;
  }
  return SystemWords(code);
}

}  // namespace platform
