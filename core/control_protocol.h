// The control protocol of a running relay: what `portrelay --recent` and
// `portrelay --reprint ID` send it and what it answers (the POSIX build
// carries it over a socket in the program's folder, platform/posix/
// control_socket.h). One request line per connection:
//   recent
//   reprint <job id>
// The answer is "ok" or "failed" on its first line, then the text to show,
// and ends with the connection. Both sides parse bytes from outside: each
// stays within its bound and takes any bytes (fuzz/control_protocol_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

class RelayService;

inline constexpr std::size_t kMaxControlRequest = 64;       // with its newline
inline constexpr std::size_t kMaxControlAnswer = 1u << 16;  // the list of 100 and more

struct ControlRequest {
  enum class Kind { kInvalid, kRecent, kReprint };
  Kind kind = Kind::kInvalid;
  uint64_t id = 0;
};

// A job id as a person types it: decimal digits, 1 to 2^64-1.
bool ParseJobId(std::string_view text, uint64_t& id);
std::string RecentRequest();
std::string ReprintRequest(uint64_t id);
// One line, with or without its newline.
ControlRequest ParseControlRequest(std::string_view line);

// The relay's answer to the request line (any thread).
std::string AnswerControlRequest(RelayService& service, std::string_view line);

struct ControlAnswer {
  bool valid = false;  // an answer of this protocol at all
  bool ok = false;
  std::string text;  // what follows the first line
};
ControlAnswer ParseControlAnswer(std::string_view answer);

// "YYYY-MM-DD HH:MM:SS" of local calendar milliseconds (journal_format.h).
std::string LocalTimeText(int64_t localMs);

}  // namespace core
