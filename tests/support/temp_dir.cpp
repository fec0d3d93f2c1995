// Temporary directories and whole-file helpers for tests.
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace support {

TempDir::TempDir() {
  namespace fs = std::filesystem;
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("portrelay-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadLogFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> days;
  for (fs::directory_iterator it(fs::path(folder) / "MainLog", ec), end; !ec && it != end;
       it.increment(ec))
    days.push_back(it->path());
  // The files are named by date (YYYY_MM_DD.log), so name order is day order.
  std::sort(days.begin(), days.end());
  std::string all;
  for (const auto& day : days) all += ReadFile(day.string());
  return all;
}

}  // namespace support
