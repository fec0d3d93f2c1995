// Encoding and parsing of journal records. The parser trusts nothing it
// reads: every length is checked against what is left before it is used.
#include "core/journal_format.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace core {
namespace {

constexpr int64_t kDayMs = 86400000;

// CRC-32 (the zlib and Ethernet one, reflected 0xEDB88320), eight bytes a
// step: table k gives the CRC of a byte followed by k zero bytes, so the
// eight lookups of a step are independent of each other. Byte-wise, a 1 MB
// job cost a few milliseconds of the relay's processor time; this is about
// a fifth of that.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < 8; ++k) {
      tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    }
  }
  return tables;
}
constexpr CrcTables kCrc = MakeCrcTables();

uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLittle(std::string& out, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t GetLittle(std::string_view in, std::size_t at, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) {
    value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
  }
  return value;
}

// A record's header, with room reserved for its payload and checksum.
std::string Begin(RecordType type, std::size_t payloadSize) {
  std::string record;
  record.reserve(kRecordHeaderSize + payloadSize + kRecordTrailerSize);
  PutLittle(record, payloadSize, 4);
  record.push_back(static_cast<char>(type));
  return record;
}

// Fills the record's fields from its payload; false when they do not fit.
bool DecodePayload(std::string_view payload, JournalRecord& record) {
  if (payload.size() < 8) return false;
  record.id = GetLittle(payload, 0, 8);
  switch (record.type) {
    case RecordType::kArrival: {
      if (payload.size() < 18) return false;
      record.timeMs = static_cast<int64_t>(GetLittle(payload, 8, 8));
      const std::size_t portLength = GetLittle(payload, 16, 2);
      if (portLength > kMaxPortName || payload.size() < 18 + portLength) return false;
      record.port = payload.substr(18, portLength);
      record.bytes = payload.substr(18 + portLength);
      record.bytesOffset += 18 + portLength;
      return true;
    }
    case RecordType::kBytes:
      record.bytes = payload.substr(8);
      record.bytesOffset += 8;
      return true;
    case RecordType::kState: {
      if (payload.size() != 17) return false;
      record.timeMs = static_cast<int64_t>(GetLittle(payload, 8, 8));
      const uint8_t state = static_cast<uint8_t>(payload[16]);
      if (state < static_cast<uint8_t>(JobState::kReceived) ||
          state > static_cast<uint8_t>(JobState::kDiscarded)) {
        return false;
      }
      record.state = static_cast<JobState>(state);
      return true;
    }
  }
  return false;
}

bool KnownType(uint8_t type) {
  return type >= static_cast<uint8_t>(RecordType::kArrival) &&
         type <= static_cast<uint8_t>(RecordType::kState);
}

}  // namespace

const char* JobStateName(JobState state) {
  switch (state) {
    case JobState::kArriving:
      return "arriving";
    case JobState::kReceived:
      return "received";
    case JobState::kSent:
      return "sent";
    case JobState::kConfirmed:
      return "confirmed";
    case JobState::kFault:
      return "fault";
    case JobState::kPrintedAgain:
      return "printed again";
    case JobState::kAbandoned:
      return "abandoned";
    case JobState::kDiscarded:
      return "discarded";
  }
  return "unknown";
}

uint32_t Crc32(std::string_view bytes, uint32_t crc) {
  crc = ~crc;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  for (; left >= 8; left -= 8, p += 8) {
    const uint32_t low = Load32(p) ^ crc;
    const uint32_t high = Load32(p + 4);
    crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^
          kCrc[4][low >> 24] ^ kCrc[3][high & 0xFF] ^ kCrc[2][(high >> 8) & 0xFF] ^
          kCrc[1][(high >> 16) & 0xFF] ^ kCrc[0][high >> 24];
  }
  for (; left > 0; --left, ++p) crc = kCrc[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::size_t ArrivalBytesRoom(std::size_t portLength) {
  return kMaxRecordPayload - 18 - std::min(portLength, kMaxPortName);
}

std::string EncodeArrival(uint64_t id, int64_t timeMs, std::string_view port,
                          std::string_view bytes) {
  port = port.substr(0, kMaxPortName);
  bytes = bytes.substr(0, ArrivalBytesRoom(port.size()));
  std::string record = Begin(RecordType::kArrival, 18 + port.size() + bytes.size());
  PutLittle(record, id, 8);
  PutLittle(record, static_cast<uint64_t>(timeMs), 8);
  PutLittle(record, port.size(), 2);
  record += port;
  record += bytes;
  return record;
}

std::string EncodeBytes(uint64_t id, std::string_view bytes) {
  bytes = bytes.substr(0, kBytesRoom);
  std::string record = Begin(RecordType::kBytes, 8 + bytes.size());
  PutLittle(record, id, 8);
  record += bytes;
  return record;
}

std::string EncodeState(uint64_t id, int64_t timeMs, JobState state) {
  std::string record = Begin(RecordType::kState, 17);
  PutLittle(record, id, 8);
  PutLittle(record, static_cast<uint64_t>(timeMs), 8);
  record.push_back(static_cast<char>(state));
  return record;
}

void SealRecord(std::string& record) { PutLittle(record, Crc32(record), 4); }

ParseResult ParseRecords(std::string_view data,
                         const std::function<void(const JournalRecord&)>& visit) {
  ParseResult result;
  std::size_t at = 0;
  while (at < data.size()) {
    const std::string_view rest = data.substr(at);
    if (rest.size() < kRecordHeaderSize) {
      result.damage = "torn record header";
      break;
    }
    const std::size_t length = GetLittle(rest, 0, 4);
    if (length > kMaxRecordPayload) {
      result.damage = "record length out of bounds";
      break;
    }
    const std::size_t whole = kRecordHeaderSize + length + kRecordTrailerSize;
    if (rest.size() < whole) {
      result.damage = "torn record";
      break;
    }
    const std::string_view framed = rest.substr(0, kRecordHeaderSize + length);
    if (Crc32(framed) != GetLittle(rest, kRecordHeaderSize + length, 4)) {
      result.damage = "checksum mismatch";
      break;
    }
    const uint8_t type = static_cast<uint8_t>(rest[4]);
    if (KnownType(type)) {
      JournalRecord record;
      record.type = static_cast<RecordType>(type);
      record.offset = at;
      record.bytesOffset = at + kRecordHeaderSize;
      if (!DecodePayload(framed.substr(kRecordHeaderSize), record)) {
        result.damage = "malformed record";
        break;
      }
      visit(record);
    }
    at += whole;
    result.wholeLength = at;
  }
  return result;
}

int64_t CivilDay(int year, int month, int day) {
  int64_t y = year - (month <= 2);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t CivilMs(const platform::LocalTime& t) {
  return ((CivilDay(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60000 +
         t.second * 1000 + t.millisecond;
}

// Civil from days (Howard Hinnant's algorithm), the inverse of CivilMs.
platform::LocalTime LocalTimeOfCivilMs(int64_t civilMs) {
  int64_t days = civilMs / kDayMs;
  int64_t ms = civilMs % kDayMs;
  if (ms < 0) {
    ms += kDayMs;
    --days;
  }
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  platform::LocalTime t;
  t.year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  t.month = month;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::string DayFileName(const platform::LocalTime& day, int segment) {
  char name[32];
  if (segment == 0) {
    std::snprintf(name, sizeof name, "%04d_%02d_%02d.jnl", day.year, day.month, day.day);
  } else {
    std::snprintf(name, sizeof name, "%04d_%02d_%02d_%02d.jnl", day.year, day.month, day.day,
                  segment);
  }
  return name;
}

bool ParseDayFileName(std::string_view name, int64_t& civilDay, int& segment) {
  const auto digits = [&](std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (name[i] < '0' || name[i] > '9') return false;
      value = value * 10 + (name[i] - '0');
    }
    return true;
  };
  int year = 0, month = 0, day = 0;
  segment = 0;
  if (name.size() == 17) {
    if (name[10] != '_' || name.substr(13) != ".jnl" || !digits(11, 2, segment) || segment == 0) {
      return false;
    }
  } else if (name.size() != 14 || name.substr(10) != ".jnl") {
    return false;
  }
  if (!digits(0, 4, year) || name[4] != '_' || !digits(5, 2, month) || name[7] != '_' ||
      !digits(8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  civilDay = CivilDay(year, month, day);
  return true;
}

}  // namespace core
