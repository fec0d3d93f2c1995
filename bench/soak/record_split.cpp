// Record splitting: find the headers, parse each stretch like the printer
// does, leave out the relay's own whole commands, compare.
#include "bench/soak/record_split.h"

#include <algorithm>
#include <cstring>

#include "escpos/parser.h"

namespace soak {
namespace {

using escpos::Command;
using escpos::CommandKind;

bool RelayCommand(const Command& cmd) {
  return cmd.kind == CommandKind::kAsbEnable || cmd.kind == CommandKind::kDleEot ||
         cmd.kind == CommandKind::kDleEnq || cmd.kind == CommandKind::kProcessId;
}

// Offsets of the header texts ("#SOAK nnnnnn BEGIN\n").
std::vector<size_t> FindHeaders(const uint8_t* data, size_t len) {
  std::vector<size_t> at;
  const uint8_t* p = data;
  const uint8_t* end = data + len;
  while (p < end) {
    p = static_cast<const uint8_t*>(std::memchr(p, '#', static_cast<size_t>(end - p)));
    if (p == nullptr) break;
    if (ParseHeaderText(p, static_cast<size_t>(end - p)))
      at.push_back(static_cast<size_t>(p - data));
    ++p;
  }
  return at;
}

// Trailers ("#SOAK nnnnnn END CRC ...") in [from, to) of `bytes`.
std::vector<std::pair<size_t, uint32_t>> FindTrailers(const Bytes& bytes, size_t from, size_t to) {
  std::vector<std::pair<size_t, uint32_t>> found;
  for (size_t i = from; i < to; ++i) {
    if (bytes[i] != '#') continue;
    if (auto n = ParseTrailer(bytes.data() + i, to - i)) found.emplace_back(i, *n);
  }
  return found;
}

// The stretch with the relay's whole commands left out, and for each byte
// kept its offset in the stretch.
struct Cleaned {
  Bytes bytes;
  std::vector<size_t> origin;
};

Cleaned Clean(const uint8_t* data, size_t len) {
  escpos::EscPosParser parser;
  std::vector<Command> commands;
  parser.Feed(data, len, &commands);
  std::vector<std::pair<size_t, size_t>> cut;
  for (const Command& cmd : commands) {
    if (RelayCommand(cmd) && cmd.length <= cmd.end) cut.emplace_back(cmd.end - cmd.length, cmd.end);
  }
  Cleaned c;
  c.bytes.reserve(len);
  c.origin.reserve(len);
  size_t next = 0;
  for (size_t i = 0; i < len; ++i) {
    while (next < cut.size() && cut[next].second <= i) ++next;
    if (next < cut.size() && i >= cut[next].first) continue;
    c.bytes.push_back(data[i]);
    c.origin.push_back(i);
  }
  return c;
}

}  // namespace

std::vector<Piece> SplitRecord(const uint8_t* data, size_t len, size_t base,
                               const JobLookup& lookup) {
  std::vector<Piece> pieces;
  const std::vector<size_t> headers = FindHeaders(data, len);

  auto orphanTrailers = [&](size_t from, size_t to) {
    Bytes raw(data + from, data + to);
    for (const auto& [at, number] : FindTrailers(raw, 0, raw.size())) {
      pieces.push_back(Piece{number, base + from + at, base + from + at + kTrailerSize});
    }
  };
  orphanTrailers(0, headers.empty() ? len : headers.front());

  for (size_t h = 0; h < headers.size(); ++h) {
    // The job starts with ESC @ just before its header text, unless the relay
    // put a command of its own in between or the start was lost.
    size_t begin = headers[h];
    if (begin >= 2 && data[begin - 2] == 0x1B && data[begin - 1] == 0x40) {
      begin -= 2;
    } else if (begin >= 5 && data[begin - 5] == 0x1B && data[begin - 4] == 0x40) {
      begin -= 5;
    }
    const size_t limit = h + 1 < headers.size() ? headers[h + 1] : len;
    // The next job's ESC @ belongs to it, not to this stretch.
    size_t stretchEnd = limit;
    if (h + 1 < headers.size() && limit >= begin + 2 && data[limit - 2] == 0x1B &&
        data[limit - 1] == 0x40)
      stretchEnd = limit - 2;

    const Cleaned c = Clean(data + begin, stretchEnd - begin);
    size_t headerAt = 0;
    while (headerAt < c.bytes.size() && c.bytes[headerAt] != '#') ++headerAt;
    const auto number = ParseHeaderText(c.bytes.data() + headerAt, c.bytes.size() - headerAt);
    if (!number) continue;  // Cannot happen: the stretch starts at a header.

    const Bytes* expected = lookup(*number);
    Piece piece{*number, base + begin, base + stretchEnd};
    size_t consumed = headerAt;
    if (expected != nullptr && c.bytes.size() >= expected->size() &&
        std::equal(expected->begin(), expected->end(), c.bytes.begin())) {
      const size_t last = c.origin[expected->size() - 1];
      piece.intact = true;
      piece.end = base + begin + last + 1;
      piece.interleaved = last + 1 != expected->size();
      consumed = expected->size();
    } else {
      // Cut short or corrupted: the fragment runs up to its own trailer, if any.
      for (const auto& [at, n] : FindTrailers(c.bytes, headerAt, c.bytes.size())) {
        if (n != *number) continue;
        consumed = at + kTrailerSize;
        piece.end = base + begin + c.origin[consumed - 1] + 1;
        break;
      }
    }
    pieces.push_back(piece);
    // Tails of other jobs whose start was lost.
    for (const auto& [at, n] : FindTrailers(c.bytes, consumed, c.bytes.size())) {
      pieces.push_back(
          Piece{n, base + begin + c.origin[at], base + begin + c.origin[at] + kTrailerSize});
    }
  }
  return pieces;
}

}  // namespace soak
