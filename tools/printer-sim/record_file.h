// Raw log of every byte the printer received, appended in order and written
// through at once so tests can compare it at any moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace printersim {

class RecordFile {
 public:
  RecordFile() = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile() { Close(); }

  // Opens `path` for appending (created if missing). 0 or -1 with *error.
  int Open(const std::string& path, std::string* error);
  // 0 when all bytes were written.
  int Append(const uint8_t* data, size_t len);
  void Close();
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace printersim
