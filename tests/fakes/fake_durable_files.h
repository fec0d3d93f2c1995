// Durable files over the real ones (tests give them a temporary folder) that
// fail on demand, as a full or read-only disk does, or hold the writer at an
// append until the test lets it go.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/durable_files.h"

namespace fakes {

class FakeDurableFiles : public platform::DurableFiles {
 public:
  explicit FakeDurableFiles(platform::DurableFiles& real) : real_(real) {}

  std::atomic<int> appendError{0};  // e.g. ENOSPC
  std::atomic<int> flushError{0};   // e.g. EROFS
  std::atomic<int> directoryError{0};
  std::atomic<int> listError{0};  // the folder cannot be listed
  std::atomic<int> flushes{0};
  // Runs on the writer's thread before each append (set before the journal opens).
  std::function<void()> beforeAppend;

  int MakePrivateDirectory(const std::string& path) override {
    return directoryError ? directoryError.load() : real_.MakePrivateDirectory(path);
  }
  int OpenAppend(const std::string& path, std::unique_ptr<platform::DurableFile>& file) override {
    std::unique_ptr<platform::DurableFile> inner;
    const int error = real_.OpenAppend(path, inner);
    if (error) return error;
    file = std::make_unique<File>(*this, std::move(inner));
    return 0;
  }
  int ReadAll(const std::string& path, std::string& bytes) override {
    return real_.ReadAll(path, bytes);
  }
  int ReadAt(const std::string& path, uint64_t offset, std::size_t size,
             std::string& bytes) override {
    return real_.ReadAt(path, offset, size, bytes);
  }
  int ListFiles(const std::string& path, std::vector<platform::DirectoryEntry>& entries) override {
    return listError ? listError.load() : real_.ListFiles(path, entries);
  }
  int Remove(const std::string& path) override { return real_.Remove(path); }
  int RemoveFolder(const std::string& path) override { return real_.RemoveFolder(path); }

 private:
  class File : public platform::DurableFile {
   public:
    File(FakeDurableFiles& owner, std::unique_ptr<platform::DurableFile> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    int Append(const void* data, std::size_t size) override {
      if (owner_.beforeAppend) owner_.beforeAppend();
      return owner_.appendError ? owner_.appendError.load() : inner_->Append(data, size);
    }
    int Flush() override {
      ++owner_.flushes;
      return owner_.flushError ? owner_.flushError.load() : inner_->Flush();
    }

   private:
    FakeDurableFiles& owner_;
    std::unique_ptr<platform::DurableFile> inner_;
  };

  platform::DurableFiles& real_;
};

}  // namespace fakes
