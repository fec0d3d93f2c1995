// The bytes of the job journal: records, their checksum, day-file names and
// the calendar times records carry. No I/O here: the writer and the readers
// (the relay's recovery, the recent-receipts list, the fuzz target) share it.
//
// A record is
//   u32 payload length | u8 type | payload | u32 CRC-32 of all before it
// little-endian. The payloads:
//   arrival  u64 job id | i64 receive time | u16 port length | port | bytes
//   bytes    u64 job id | bytes (more of the job, in order)
//   state    u64 job id | i64 time | u8 state
// Times are local calendar milliseconds since 1970-01-01, as the log's clock
// gives them. A day-file holds whole records one after the other; a damaged
// or torn record ends what can be trusted in that file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace core {

enum class JobState : uint8_t {
  kArriving = 0,  // arrival recorded, the job's end not seen: never written as a state
  kReceived = 1,  // the job's end seen: all its bytes are in the journal
  kSent = 2,
  kConfirmed = 3,
  kFault = 4,
  kPrintedAgain = 5,
  kAbandoned = 6,
  kDiscarded = 7,
};
const char* JobStateName(JobState state);

enum class RecordType : uint8_t { kArrival = 1, kBytes = 2, kState = 3 };

inline constexpr std::size_t kRecordHeaderSize = 5;
inline constexpr std::size_t kRecordTrailerSize = 4;
// A job's bytes are split over records of at most this size; a length past it
// is damage, not a wish to read gigabytes.
inline constexpr std::size_t kMaxRecordPayload = 1u << 20;
inline constexpr std::size_t kMaxPortName = 255;

uint32_t Crc32(std::string_view bytes, uint32_t crc = 0);

// A record but for its checksum, which SealRecord appends: the journal
// encodes on the caller's thread, a copy of the bytes and no more, and
// leaves the checksum to its writer thread, off the forwarding path.
std::string EncodeArrival(uint64_t id, int64_t timeMs, std::string_view port,
                          std::string_view bytes);
std::string EncodeBytes(uint64_t id, std::string_view bytes);
std::string EncodeState(uint64_t id, int64_t timeMs, JobState state);
void SealRecord(std::string& record);
// The most job bytes that fit in an arrival record with this port name.
std::size_t ArrivalBytesRoom(std::size_t portLength);
inline constexpr std::size_t kBytesRoom = kMaxRecordPayload - 8;

// One whole record as read; the views point into the parsed buffer.
struct JournalRecord {
  RecordType type = RecordType::kState;
  uint64_t id = 0;
  int64_t timeMs = 0;  // arrival and state
  JobState state = JobState::kArriving;
  std::string_view port;     // arrival
  std::string_view bytes;    // arrival and bytes
  uint64_t offset = 0;       // of the record in the buffer
  uint64_t bytesOffset = 0;  // of `bytes` in the buffer
};

struct ParseResult {
  std::size_t wholeLength = 0;   // the bytes that held whole records
  const char* damage = nullptr;  // why reading stopped before the end, or null
};

// Calls `visit` for each whole record in order, up to the first damaged one.
// Records of a type this version does not know are passed over.
ParseResult ParseRecords(std::string_view data,
                         const std::function<void(const JournalRecord&)>& visit);

// Days since 1970-01-01 of a calendar date, and local milliseconds of a time.
int64_t CivilDay(int year, int month, int day);
int64_t CivilMs(const platform::LocalTime& t);
// The calendar date and time of local milliseconds, the inverse of CivilMs.
platform::LocalTime LocalTimeOfCivilMs(int64_t civilMs);

inline constexpr const char* kJournalFolder = "Journal";
// "YYYY_MM_DD.jnl"; later files of the same day "YYYY_MM_DD_NN.jnl" (1..99).
std::string DayFileName(const platform::LocalTime& day, int segment);
// The civil day and segment of a day-file name; false for any other name.
bool ParseDayFileName(std::string_view name, int64_t& civilDay, int& segment);

}  // namespace core
