// Fuzzing both ends of the control protocol with any bytes a peer on the
// control socket may send: a request line as the relay reads it and an
// answer as `portrelay --recent` reads it. Parsing never fails; what it takes
// reads back the same, and the times of the list format for any stamp.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/control_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int64_t stamp = input.ConsumeIntegral<int64_t>();
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  const core::ControlRequest request = core::ParseControlRequest(bytes);
  if (request.kind == core::ControlRequest::Kind::kReprint) {
    if (request.id == 0) std::abort();
    const core::ControlRequest again = core::ParseControlRequest(core::ReprintRequest(request.id));
    if (again.kind != request.kind || again.id != request.id) std::abort();
  }
  if (request.kind == core::ControlRequest::Kind::kRecent && bytes.size() > 7) std::abort();

  const core::ControlAnswer answer = core::ParseControlAnswer(bytes);
  if (answer.valid != (bytes.rfind("ok\n", 0) == 0 || bytes.rfind("failed\n", 0) == 0) &&
      bytes.size() <= core::kMaxControlAnswer)
    std::abort();
  if (answer.text.size() > bytes.size()) std::abort();

  if (core::LocalTimeText(stamp).empty()) std::abort();
  return 0;
}
