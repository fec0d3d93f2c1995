// An in-memory HKEY_LOCAL_MACHINE for tests, with scripted failures: keys
// that refuse write access, values whose size or data query fails, keys
// whose subkeys cannot be listed. The current user's keys live below
// "HKCU\" (kUserRoot). Paths and value names compare without regard to
// case, as on Windows.
#pragma once

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/registry.h"

namespace fakes {

inline constexpr const char* kUserRoot = "HKCU\\";

class FakeRegistry : public platform::Registry {
 public:
  static std::string Fold(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }

  // Creates the key (and its parents) with the value.
  void Set(const std::string& path, const std::string& name, const std::string& data) {
    std::lock_guard<std::mutex> g(lock_);
    MakeLocked(path);
    keys_[Fold(path)].values[Fold(name)] = data;
  }
  void MakeKey(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    MakeLocked(path);
  }
  // The value's data, or "<none>".
  std::string Get(const std::string& path, const std::string& name) {
    std::lock_guard<std::mutex> g(lock_);
    auto k = keys_.find(Fold(path));
    if (k == keys_.end()) return "<none>";
    auto v = k->second.values.find(Fold(name));
    return v == k->second.values.end() ? "<none>" : v->second;
  }

  void DenyWrites(const std::string& path) { deniedWrites.insert(Fold(path)); }
  void FailSizeQuery(const std::string& path, const std::string& name) {
    failedSizes.insert(Fold(path) + "|" + Fold(name));
  }
  void FailDataQuery(const std::string& path, const std::string& name) {
    failedData.insert(Fold(path) + "|" + Fold(name));
  }
  void FailEnumeration(const std::string& path) { failedEnumerations.insert(Fold(path)); }
  // Opening with read access fails too.
  void DenyAll(const std::string& path) { deniedAll.insert(Fold(path)); }

  int OpenKey(const std::string& path, int access, bool view64,
              std::unique_ptr<platform::RegistryKey>& key) override {
    std::lock_guard<std::mutex> g(lock_);
    opens.push_back(path + (view64 ? " [64]" : ""));
    if (deniedAll.count(Fold(path))) return Failed(platform::kRegAccessDenied);
    if (access != platform::kKeyRead && deniedWrites.count(Fold(path)))
      return Failed(platform::kRegAccessDenied);
    if (!keys_.count(Fold(path))) return Failed(platform::kRegNotFound);
    key = std::make_unique<Key>(*this, Fold(path), access);
    return platform::kRegOk;
  }

  int CreateKey(const std::string& path, bool,
                std::unique_ptr<platform::RegistryKey>& key) override {
    std::lock_guard<std::mutex> g(lock_);
    if (deniedWrites.count(Fold(path))) return Failed(platform::kRegAccessDenied);
    MakeLocked(path);
    key = std::make_unique<Key>(*this, Fold(path), platform::kKeyAllAccess);
    return platform::kRegOk;
  }

  int OpenUserKey(const std::string& path, int access, bool view64,
                  std::unique_ptr<platform::RegistryKey>& key) override {
    return OpenKey(kUserRoot + path, access, view64, key);
  }

  // The OS error of the last failure, as this build's system numbers it.
  int LastError() override { return lastError_; }

  std::vector<std::string> opens;
  std::set<std::string> deniedWrites;
  std::set<std::string> deniedAll;
  std::set<std::string> failedEnumerations;
  std::set<std::string> failedSizes;
  std::set<std::string> failedData;

 private:
  struct Node {
    std::map<std::string, std::string> values;
  };

  class Key : public platform::RegistryKey {
   public:
    Key(FakeRegistry& owner, std::string path, int access)
        : owner_(owner), path_(std::move(path)), access_(access) {}

    int QueryValueSize(const std::string& name, uint32_t& size) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      if (owner_.failedSizes.count(path_ + "|" + Fold(name)))
        return owner_.Failed(platform::kRegNotFound);
      const std::string* data = Find(name);
      if (!data) return owner_.Failed(platform::kRegNotFound);
      size = static_cast<uint32_t>(data->size());
      return platform::kRegOk;
    }
    int QueryValue(const std::string& name, uint32_t capacity, std::string& out) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      if (owner_.failedData.count(path_ + "|" + Fold(name))) return owner_.Failed(31);
      const std::string* data = Find(name);
      if (!data) return owner_.Failed(platform::kRegNotFound);
      if (data->size() > capacity) return owner_.Failed(platform::kRegMoreData);
      out = *data;
      return platform::kRegOk;
    }
    int SetString(const std::string& name, const std::string& value) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      if (access_ == platform::kKeyRead) return owner_.Failed(platform::kRegAccessDenied);
      owner_.keys_[path_].values[Fold(name)] = value;
      return platform::kRegOk;
    }
    int DeleteValue(const std::string& name) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      if (access_ == platform::kKeyRead) return owner_.Failed(platform::kRegAccessDenied);
      return owner_.keys_[path_].values.erase(Fold(name)) ? platform::kRegOk
                                                          : owner_.Failed(platform::kRegNotFound);
    }
    int SubkeyNames(std::vector<std::string>& names) override {
      std::lock_guard<std::mutex> g(owner_.lock_);
      names.clear();
      if (owner_.failedEnumerations.count(path_))
        return owner_.Failed(1015);  // ERROR_REGISTRY_CORRUPT
      for (const auto& [path, node] : owner_.keys_) {
        if (path.size() <= path_.size() + 1 || path.compare(0, path_.size(), path_) != 0 ||
            path[path_.size()] != '\\')
          continue;
        std::string rest = path.substr(path_.size() + 1);
        rest = rest.substr(0, rest.find('\\'));
        if (std::find(names.begin(), names.end(), rest) == names.end()) names.push_back(rest);
      }
      return platform::kRegOk;
    }

   private:
    const std::string* Find(const std::string& name) {
      auto k = owner_.keys_.find(path_);
      if (k == owner_.keys_.end()) return nullptr;
      auto v = k->second.values.find(Fold(name));
      return v == k->second.values.end() ? nullptr : &v->second;
    }
    FakeRegistry& owner_;
    std::string path_;
    int access_;
  };

  // A failure's code, its OS error kept.
  int Failed(int code) {
    lastError_ = code == platform::kRegAccessDenied ? platform::OsErrorFor(platform::OsCause::kHeld)
                 : code == platform::kRegNotFound
                     ? platform::OsErrorFor(platform::OsCause::kNotFound)
                     : code;
    return code;
  }

  void MakeLocked(const std::string& path) {
    const std::string folded = Fold(path);
    for (size_t at = folded.find('\\'); at != std::string::npos; at = folded.find('\\', at + 1))
      keys_[folded.substr(0, at)];
    keys_[folded];
  }

  std::mutex lock_;
  std::map<std::string, Node> keys_;
  std::atomic<int> lastError_{0};
};

}  // namespace fakes
