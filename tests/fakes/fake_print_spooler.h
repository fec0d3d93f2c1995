// A print spooler that knows chosen printer names, records every document
// and refuses the start, a given byte or the end when told to.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/print_spooler.h"

namespace fakes {

class FakePrintSpooler : public platform::PrintSpooler {
 public:
  struct Document {
    std::string printer;
    std::string name;
    std::string dataType;
    std::vector<uint8_t> bytes;
    int writeCalls = 0;
    bool ended = false;
    bool closed = false;
  };

  void AddPrinter(const std::string& name) { printers_.insert(name); }
  bool refuseStart = false;
  // Index (in its document) of the byte whose write is refused: the call
  // that reaches it takes the bytes before it and fails.
  int refuseWriteAt = -1;
  bool refuseEnd = false;
  uint32_t takePerCall = 0;  // a write takes at most this much; 0: all

  std::vector<Document> documents() {
    std::lock_guard<std::mutex> g(lock_);
    return documents_;
  }

  // The OS error an open of an unknown printer fails with (0: none).
  int openError = 0;

  std::unique_ptr<platform::SpoolerPrinter> Open(const std::string& name) override {
    if (printers_.count(name) == 0) return nullptr;
    return std::make_unique<Printer>(*this, name);
  }
  int LastError() override { return openError; }

 private:
  class Printer : public platform::SpoolerPrinter {
   public:
    Printer(FakePrintSpooler& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
    // Closing the printer closes every document it had.
    ~Printer() override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      for (int i : mine_) owner_.documents_[static_cast<size_t>(i)].closed = true;
    }
    bool StartDocument(const std::string& documentName, const std::string& dataType) override {
      if (owner_.refuseStart) return false;
      std::lock_guard<std::mutex> g(owner_.lock_);
      Document d;
      d.printer = name_;
      d.name = documentName;
      d.dataType = dataType;
      owner_.documents_.push_back(d);
      index_ = static_cast<int>(owner_.documents_.size()) - 1;
      mine_.push_back(index_);
      return true;
    }
    bool Write(const uint8_t* data, uint32_t length, uint32_t& written) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      Document& d = owner_.documents_[index_];
      ++d.writeCalls;
      written = 0;
      uint32_t take = length;
      if (owner_.takePerCall > 0 && take > owner_.takePerCall) take = owner_.takePerCall;
      bool refused = false;
      if (owner_.refuseWriteAt >= 0 &&
          d.bytes.size() + take > static_cast<size_t>(owner_.refuseWriteAt)) {
        take = static_cast<uint32_t>(owner_.refuseWriteAt - static_cast<int>(d.bytes.size()));
        refused = true;
      }
      d.bytes.insert(d.bytes.end(), data, data + take);
      written = take;
      return !refused;
    }
    bool EndDocument() override {
      if (owner_.refuseEnd) return false;
      std::lock_guard<std::mutex> g(owner_.lock_);
      owner_.documents_[index_].ended = true;
      return true;
    }

   private:
    FakePrintSpooler& owner_;
    std::string name_;
    int index_ = -1;
    std::vector<int> mine_;
  };

  std::set<std::string> printers_;
  std::mutex lock_;
  std::vector<Document> documents_;
};

}  // namespace fakes
