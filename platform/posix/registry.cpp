// The file-backed registry stand-in (see registry_file.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/posix/autostart_entry.h"
#include "platform/posix/native.h"
#include "platform/posix/registry_file.h"

namespace platform::posix {
namespace {

constexpr const char* kHivePrefix = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kHeader = "REGEDIT4";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// True when `path` is `key` itself or lies below it.
bool AtOrBelow(const std::string& path, const std::string& key) {
  if (path.size() < key.size()) return false;
  if (!SameText(path.substr(0, key.size()), key)) return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

std::string TrimSlashes(std::string path) {
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

struct Key {
  std::string path;
  std::vector<std::pair<std::string, std::string>> values;
};

// The whole file, parsed.
struct Store {
  std::vector<Key> keys;

  Key* Find(const std::string& path) {
    for (Key& k : keys)
      if (SameText(k.path, path)) return &k;
    return nullptr;
  }
  Key& Make(const std::string& path) {
    if (Key* k = Find(path)) return *k;
    keys.push_back({path, {}});
    return keys.back();
  }
};

std::string Quote(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 0x0F];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads a quoted text starting at line[at] == '"'; moves `at` past it.
bool Unquote(const std::string& line, size_t& at, std::string& text) {
  if (at >= line.size() || line[at] != '"') return false;
  text.clear();
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++at >= line.size()) return false;
    switch (line[at]) {
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 't':
        text += '\t';
        break;
      case 'x': {
        if (at + 2 >= line.size()) return false;
        int hi = HexDigit(line[at + 1]), lo = HexDigit(line[at + 2]);
        if (hi < 0 || lo < 0) return false;
        text += static_cast<char>(hi * 16 + lo);
        at += 2;
        break;
      }
      default:
        text += line[at];
    }
  }
  return false;
}

// Unknown or damaged lines are skipped: a hand-edited file never stops the relay.
Store Parse(const std::string& text) {
  Store store;
  Key* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      current = nullptr;
      if (close == std::string::npos) continue;
      std::string path = line.substr(1, close - 1);
      const std::string hive = kHivePrefix;
      if (path.size() >= hive.size() && SameText(path.substr(0, hive.size()), hive))
        path.erase(0, hive.size());
      path = TrimSlashes(path);
      if (!path.empty()) current = &store.Make(path);
      continue;
    }
    if (!current) continue;
    size_t at = 0;
    std::string name, data;
    if (line[0] == '@') {
      at = 1;
    } else if (!Unquote(line, at, name)) {
      continue;
    }
    if (at >= line.size() || line[at] != '=') continue;
    ++at;
    if (!Unquote(line, at, data)) continue;
    bool replaced = false;
    for (auto& v : current->values)
      if (SameText(v.first, name)) {
        v.second = data;
        replaced = true;
      }
    if (!replaced) current->values.emplace_back(name, data);
  }
  return store;
}

std::string Serialise(const Store& store) {
  std::string text = std::string(kHeader) + "\n";
  for (const Key& k : store.keys) {
    text += "\n[" + std::string(kHivePrefix) + k.path + "]\n";
    for (const auto& v : k.values)
      text += (v.first.empty() ? std::string("@") : Quote(v.first)) + "=" + Quote(v.second) + "\n";
  }
  return text;
}

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
    Store store = Parse(ReadWhole(file_));
    for (const Key& k : store.keys)
      if (AtOrBelow(k.path, path)) return true;
    return false;
  }

  Store Load() {
    std::lock_guard<std::mutex> guard(lock_);
    return Parse(ReadWhole(file_));
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
    Store store = Parse(ReadWhole(file_));
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
    const std::string text = Serialise(store);
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

class FileKey : public RegistryKey {
 public:
  FileKey(std::shared_ptr<RegistryFile> file, std::string path, int access)
      : file_(std::move(file)), path_(std::move(path)), access_(access) {}

  int QueryValueSize(const std::string& name, uint32_t& size) override {
    std::string data;
    int result = Find(name, data);
    if (result == kRegOk) size = static_cast<uint32_t>(data.size());
    return result;
  }

  int QueryValue(const std::string& name, uint32_t capacity, std::string& data) override {
    std::string found;
    int result = Find(name, found);
    if (result != kRegOk) return result;
    if (found.size() > capacity) return kRegMoreData;
    data = found;
    return kRegOk;
  }

  int SetString(const std::string& name, const std::string& value) override {
    if (access_ == kKeyRead) return kRegAccessDenied;
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
    return result;
  }

  int DeleteValue(const std::string& name) override {
    if (access_ == kKeyRead) return kRegAccessDenied;
    int result = file_->Update([&](Store& store) {
      Key* key = store.Find(path_);
      if (!key) return kRegNotFound;
      for (auto it = key->values.begin(); it != key->values.end(); ++it)
        if (SameText(it->first, name)) {
          key->values.erase(it);
          return kRegOk;
        }
      return kRegNotFound;
    });
    if (result == kRegOk) file_->AfterChange(path_, name, nullptr);
    return result;
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
    if (!key) return kRegNotFound;
    for (const auto& v : key->values)
      if (SameText(v.first, name)) {
        data = v.second;
        return kRegOk;
      }
    return kRegNotFound;
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
    if (access != kKeyRead && !file_->Writable()) return kRegAccessDenied;
    if (clean.empty() || !file_->KeyExists(clean)) return kRegNotFound;
    key = std::make_unique<FileKey>(file_, clean, access);
    return kRegOk;
  }

  // The stand-in plays one machine and no user hive: nothing is registered
  // per user here.
  int OpenUserKey(const std::string&, int, bool, std::unique_ptr<RegistryKey>&) override {
    return kRegNotFound;
  }

  int CreateKey(const std::string& path, bool, std::unique_ptr<RegistryKey>& key) override {
    const std::string clean = TrimSlashes(path);
    if (clean.empty()) return kRegNotFound;
    int result = file_->Update([&](Store& store) {
      store.Make(clean);
      return kRegOk;
    });
    if (result != kRegOk) return result;
    key = std::make_unique<FileKey>(file_, clean, kKeyAllAccess);
    return kRegOk;
  }

 private:
  std::shared_ptr<RegistryFile> file_;
};

}  // namespace

std::string RewriteRegistryText(const std::string& text) { return Serialise(Parse(text)); }

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
