// Job bytes, CRC-32 and the frame's text parts.
#include "bench/soak/job.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace soak {
namespace {

constexpr char kTextChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:-*/=+()";
constexpr size_t kLineWidth = 42;
constexpr int kRasterWidthBytes = 48;  // 384 dots

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

void Append(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

bool Digits(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

uint32_t Number(const uint8_t* p) {
  uint32_t n = 0;
  for (size_t i = 0; i < 6; ++i) n = n * 10 + static_cast<uint32_t>(p[i] - '0');
  return n;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t len) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < len; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string HeaderText(uint32_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "#SOAK %06u BEGIN\n", number % 1000000);
  return text;
}

std::string TrailerLead(uint32_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "#SOAK %06u END CRC ", number % 1000000);
  return text;
}

Bytes MakeJob(uint32_t number, size_t size, bool raster, std::mt19937_64& rng) {
  Bytes job{0x1B, 0x40};
  Append(job, HeaderText(number));
  const size_t frame = job.size() + kTrailerSize + sizeof kCut;
  size_t body = size > frame ? size - frame : 0;

  size_t rasterRows = 0;
  size_t rasterBytes = 0;  // the command, its dots and a line feed
  if (raster && body > 1200) {
    rasterRows = std::min<size_t>((body - 600) / kRasterWidthBytes, 2000);
    rasterBytes = 8 + rasterRows * kRasterWidthBytes + 1;
    body -= rasterBytes;
  }
  std::uniform_int_distribution<size_t> pick(0, sizeof kTextChars - 2);
  size_t lines = 0;
  auto textUntil = [&](size_t target) {
    while (job.size() < target) {
      // Now and then a formatting command, as receipts have.
      switch (lines++ % 9) {
        case 2:
          job.insert(job.end(), {0x1B, 0x45, 0x01});  // ESC E 1: bold
          break;
        case 3:
          job.insert(job.end(), {0x1B, 0x45, 0x00});
          break;
        case 5:
          job.insert(job.end(), {0x1B, 0x61, static_cast<uint8_t>(rng() % 3)});  // ESC a n
          break;
        default:
          break;
      }
      const size_t width = 1 + rng() % kLineWidth;
      for (size_t i = 0; i < width; ++i) job.push_back(static_cast<uint8_t>(kTextChars[pick(rng)]));
      job.push_back('\n');
    }
  };
  const size_t start = job.size();
  textUntil(start + body / 2);
  if (rasterRows > 0) {
    // GS v 0 m xL xH yL yH, then the dots: any byte value, as in a logo.
    job.insert(job.end(),
               {0x1D, 0x76, 0x30, 0x00, kRasterWidthBytes, 0x00,
                static_cast<uint8_t>(rasterRows & 0xFF), static_cast<uint8_t>(rasterRows >> 8)});
    for (size_t i = 0; i < rasterRows * kRasterWidthBytes; ++i)
      job.push_back(static_cast<uint8_t>(rng()));
    job.push_back('\n');
  }
  textUntil(start + body + rasterBytes);

  const uint32_t crc = Crc32(job.data(), job.size());
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X\n", crc);
  Append(job, TrailerLead(number) + hex);
  job.insert(job.end(), std::begin(kCut), std::end(kCut));
  return job;
}

std::optional<uint32_t> ParseHeaderText(const uint8_t* p, size_t available) {
  if (available < kHeaderTextSize) return std::nullopt;
  if (std::memcmp(p, "#SOAK ", 6) != 0 || !Digits(p + 6, 6) ||
      std::memcmp(p + 12, " BEGIN\n", 7) != 0)
    return std::nullopt;
  return Number(p + 6);
}

std::optional<uint32_t> ParseTrailer(const uint8_t* p, size_t available) {
  if (available < kTrailerSize) return std::nullopt;
  if (std::memcmp(p, "#SOAK ", 6) != 0 || !Digits(p + 6, 6) ||
      std::memcmp(p + 12, " END CRC ", 9) != 0 || p[kTrailerSize - 1] != '\n')
    return std::nullopt;
  return Number(p + 6);
}

bool SelfConsistent(const uint8_t* p, size_t len) {
  if (len < 2 + kHeaderTextSize + kTrailerSize + sizeof kCut) return false;
  const size_t trailer = len - sizeof kCut - kTrailerSize;
  if (std::memcmp(p + len - sizeof kCut, kCut, sizeof kCut) != 0) return false;
  if (!ParseTrailer(p + trailer, kTrailerSize)) return false;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", Crc32(p, trailer));
  return std::memcmp(p + trailer + 21, hex, 8) == 0;
}

}  // namespace soak
