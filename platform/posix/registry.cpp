// The file-backed registry stand-in: the locked store (registry.h) over the
// regedit text format (registry_text.h).
#include "platform/posix/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/posix/autostart_entry.h"
#include "platform/posix/native.h"
#include "platform/posix/registry_text.h"

namespace platform::posix {
namespace {

using Store = RegistryText;
using Key = RegistryText::Key;

std::string ReadWhole(const std::string& path) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

// The shared state of one registry file.
class RegistryFile {
 public:
  RegistryFile(std::string file, std::string autostart)
      : file_(std::move(file)), autostart_(std::move(autostart)) {}

  // Write permission: the file's own write bits when it exists (root has the
  // right to write anything, so access() would not tell), else the folder's.
  bool Writable() const {
    struct stat st {};
    if (stat(file_.c_str(), &st) == 0) return (st.st_mode & 0222) != 0;
    return access(Directory().c_str(), W_OK) == 0;
  }

  bool KeyExists(const std::string& path) {
    if (AtOrBelow(kRunKeyPath, path)) return true;  // every machine has it
    std::lock_guard<std::mutex> guard(lock_);
    Store store = ParseRegistryText(ReadWhole(file_));
    for (const Key& k : store.keys)
      if (AtOrBelow(k.path, path)) return true;
    return false;
  }

  Store Load() {
    std::lock_guard<std::mutex> guard(lock_);
    return ParseRegistryText(ReadWhole(file_));
  }

  // Reads, changes and rewrites the file under the lock file.
  template <typename Change>
  int Update(Change change) {
    if (!Writable()) return kRegAccessDenied;
    std::lock_guard<std::mutex> guard(lock_);
    const std::string lockPath = Directory() + "/." + BaseName() + ".lock";
    int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) return kRegAccessDenied;
    flock(lockFd, LOCK_EX);
    Store store = ParseRegistryText(ReadWhole(file_));
    int result = change(store);
    if (result == kRegOk) result = Save(store);
    flock(lockFd, LOCK_UN);
    close(lockFd);
    return result;
  }

  void AfterChange(const std::string& keyPath, const std::string& name, const std::string* data) {
    if (autostart_.empty() || !SameText(keyPath, kRunKeyPath)) return;
    if (data)
      WriteAutostartEntry(autostart_, name, *data);
    else
      RemoveAutostartEntry(autostart_, name);
  }

 private:
  std::string Directory() const {
    const size_t slash = file_.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : file_.substr(0, slash);
  }
  std::string BaseName() const {
    const size_t slash = file_.rfind('/');
    return slash == std::string::npos ? file_ : file_.substr(slash + 1);
  }

  int Save(const Store& store) {
    const std::string text = SerialiseRegistryText(store);
    const std::string temp = file_ + ".new" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return kRegAccessDenied;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), file_.c_str()) == 0) return kRegOk;
    unlink(temp.c_str());
    return kRegAccessDenied;
  }

  std::string file_;
  std::string autostart_;
  std::mutex lock_;
};

thread_local int tRegistryError = 0;

// The stand-in answers with the Windows codes of registry.h; the error kept
// for LastError() is the errno of the same meaning.
int Kept(int result) {
  switch (result) {
    case kRegOk:
      return result;
    case kRegNotFound:
      tRegistryError = ENOENT;
      break;
    case kRegAccessDenied:
      tRegistryError = EACCES;
      break;
    case kRegMoreData:
      tRegistryError = EOVERFLOW;
      break;
    default:
      tRegistryError = EIO;
  }
  return result;
}

class FileKey : public RegistryKey {
 public:
  FileKey(std::shared_ptr<RegistryFile> file, std::string path, int access)
      : file_(std::move(file)), path_(std::move(path)), access_(access) {}

  int QueryValueSize(const std::string& name, uint32_t& size) override {
    std::string data;
    int result = Find(name, data);
    if (result == kRegOk) size = static_cast<uint32_t>(data.size());
    return Kept(result);
  }

  int QueryValue(const std::string& name, uint32_t capacity, std::string& data) override {
    std::string found;
    int result = Find(name, found);
    if (result != kRegOk) return Kept(result);
    if (found.size() > capacity) return Kept(kRegMoreData);
    data = found;
    return kRegOk;
  }

  int SetString(const std::string& name, const std::string& value) override {
    if (access_ == kKeyRead) return Kept(kRegAccessDenied);
    int result = file_->Update([&](Store& store) {
      Key& key = store.Make(path_);
      for (auto& v : key.values)
        if (SameText(v.first, name)) {
          v.second = value;
          return kRegOk;
        }
      key.values.emplace_back(name, value);
      return kRegOk;
    });
    if (result == kRegOk) file_->AfterChange(path_, name, &value);
    return Kept(result);
  }

  int DeleteValue(const std::string& name) override {
    if (access_ == kKeyRead) return Kept(kRegAccessDenied);
    int result = file_->Update([&](Store& store) {
      Key* key = store.Find(path_);
      if (!key) return Kept(kRegNotFound);
      for (auto it = key->values.begin(); it != key->values.end(); ++it)
        if (SameText(it->first, name)) {
          key->values.erase(it);
          return kRegOk;
        }
      return Kept(kRegNotFound);
    });
    if (result == kRegOk) file_->AfterChange(path_, name, nullptr);
    return Kept(result);
  }

  int SubkeyNames(std::vector<std::string>& names) override {
    names.clear();
    auto add = [&](const std::string& path) {
      if (!AtOrBelow(path, path_) || path.size() == path_.size()) return;
      std::string rest = path.substr(path_.size() + 1);
      rest = rest.substr(0, rest.find('\\'));
      for (const std::string& n : names)
        if (SameText(n, rest)) return;
      names.push_back(rest);
    };
    add(kRunKeyPath);
    for (const Key& k : file_->Load().keys) add(k.path);
    return kRegOk;
  }

 private:
  int Find(const std::string& name, std::string& data) {
    Store store = file_->Load();
    const Key* key = store.Find(path_);
    if (!key) return Kept(kRegNotFound);
    for (const auto& v : key->values)
      if (SameText(v.first, name)) {
        data = v.second;
        return kRegOk;
      }
    return Kept(kRegNotFound);
  }

  std::shared_ptr<RegistryFile> file_;
  std::string path_;
  int access_;
};

class FileRegistry : public Registry {
 public:
  FileRegistry(const std::string& file, const std::string& autostart)
      : file_(std::make_shared<RegistryFile>(file, autostart)) {}

  int OpenKey(const std::string& path, int access, bool,
              std::unique_ptr<RegistryKey>& key) override {
    const std::string clean = TrimSlashes(path);
    if (access != kKeyRead && !file_->Writable()) return Kept(kRegAccessDenied);
    if (clean.empty() || !file_->KeyExists(clean)) return Kept(kRegNotFound);
    key = std::make_unique<FileKey>(file_, clean, access);
    return kRegOk;
  }

  // The stand-in plays one machine and no user hive: nothing is registered
  // per user here.
  int OpenUserKey(const std::string&, int, bool, std::unique_ptr<RegistryKey>&) override {
    return Kept(kRegNotFound);
  }

  int LastError() override { return tRegistryError; }

  int CreateKey(const std::string& path, bool, std::unique_ptr<RegistryKey>& key) override {
    const std::string clean = TrimSlashes(path);
    if (clean.empty()) return Kept(kRegNotFound);
    int result = file_->Update([&](Store& store) {
      store.Make(clean);
      return kRegOk;
    });
    if (result != kRegOk) return Kept(result);
    key = std::make_unique<FileKey>(file_, clean, kKeyAllAccess);
    return kRegOk;
  }

 private:
  std::shared_ptr<RegistryFile> file_;
};

}  // namespace

std::unique_ptr<Registry> MakeRegistry(const std::string& file,
                                       const std::string& autostartDirectory) {
  return std::make_unique<FileRegistry>(file, autostartDirectory);
}

std::string ProgramRegistryFile() {
  PosixFiles files;
  const std::string exe = files.ModuleFileName();
  return exe.substr(0, exe.rfind('/')) + "/" + kRegistryFileName;
}

std::string UserAutostartDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  if (home && home[0]) return std::string(home) + "/.config/autostart";
  return {};
}

}  // namespace platform::posix

namespace platform::posix {

Registry& NewRegistry() {
  static std::unique_ptr<Registry> registry =
      MakeRegistry(ProgramRegistryFile(), UserAutostartDirectory());
  return *registry;
}

}  // namespace platform::posix
