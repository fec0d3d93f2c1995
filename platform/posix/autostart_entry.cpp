// XDG autostart entries (see autostart_entry.h).
#include "platform/posix/autostart_entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform::posix {
namespace {

// The entry's file name keeps only characters that are safe in a file name.
std::string EntryFileName(const std::string& name) {
  std::string file;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    file += plain ? c : '_';
  }
  if (file.empty() || file[0] == '.') file.insert(0, "_");
  return file + ".desktop";
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = at == std::string::npos ? path : path.substr(0, at);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) return true;
  }
}

bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new" + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

}  // namespace

std::string DesktopExecValue(const std::string& program) {
  // The argument is quoted (", `, $ and \ escaped inside the quotes); then the
  // whole value takes the string escapes of a desktop entry (\ doubled) and
  // field codes are kept out (% doubled).
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (char c : quoted) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '%')
      value += "%%";
    else
      value += c;
  }
  return value;
}

bool WriteAutostartEntry(const std::string& directory, const std::string& name,
                         const std::string& program) {
  for (char c : program)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  if (!MakeDirectories(directory)) return false;
  const std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=" +
      name +
      "\n"
      "Comment=Starts the print relay when the user logs on\n"
      "Exec=" +
      DesktopExecValue(program) +
      "\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  return WriteWhole(directory + "/" + EntryFileName(name), text);
}

bool RemoveAutostartEntry(const std::string& directory, const std::string& name) {
  const std::string path = directory + "/" + EntryFileName(name);
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform::posix
