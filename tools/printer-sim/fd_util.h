// Small POSIX helpers shared by the transports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace printersim {

// Writes all of `data` to a non-blocking fd, waiting for writability up to
// timeout_ms in total. 0 on success, -1 on error or timeout.
int WriteAll(int fd, const uint8_t* data, size_t len, int timeout_ms, bool is_socket);
// Waits up to timeout_ms for `wake_fd` to become readable; the caller
// drains it.
void WaitWake(int wake_fd, int timeout_ms);
void CloseFd(int* fd);
std::string ErrnoText(const char* what);

}  // namespace printersim
