// com0com pair discovery: where com0com keeps its port pairs in the registry,
// which end belongs to whom, and the five reads the relay makes of pair 0.
// The application end (CNCA0) is the port the point-of-sale program uses;
// the relay end (CNCB0) is the port the relay opens and writes to
// PortLists.ini. Only pair 0 is ever looked at. UI thread only; nothing here
// shows or logs anything: callers judge by the counts and by PortLists.ini.
#pragma once

#include <cstdint>
#include <string>

#include "core/relay_service.h"
#include "platform/registry.h"
#include "provisioning/port_enumeration.h"

namespace provisioning {

inline constexpr const char* kPairKeyPrefix = "SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\";
inline constexpr const char* kPairKeySuffix = "\\Device Parameters";
inline constexpr const char* kPortNameValue = "PortName";
inline constexpr std::size_t kPairKeyBufferSize = 1024;
inline constexpr std::size_t kInstanceBufferSize = 32;
// No port name comes near this; a larger value is not read at all.
inline constexpr uint32_t kLargestPortNameValue = 65536;

enum PairEnd : int { kApplicationEnd = 0, kRelayEnd = 1 };

// What reading one end's "PortName" gave. The reads differ in what they do
// after each kind of failure, so the failures are kept apart.
enum class PairRead {
  kName,    // the name was read
  kNoKey,   // the key cannot be opened
  kNoSize,  // the value's size cannot be queried (it is missing)
  kNoData,  // the size was known but the data could not be read
};

struct PairPortName {
  PairRead result = PairRead::kNoKey;
  std::string name;
};

// "SYSTEM\...\port\CNCA<index>\Device Parameters" (CNCB for the relay end).
std::string PairKeyPath(PairEnd end, int index);
// The name read whole, however long (the buffer is sized from the registry).
PairPortName ReadPairPortName(platform::Registry& registry, PairEnd end, int index);
// True when "COM" occurs anywhere in the name (case-sensitive).
bool ContainsCom(const std::string& name);

// Empties every entry of the table equal to either end's name (the count
// stays). A failed size query of an end ends the operation there.
void ExcludePairPorts(platform::Registry& registry, SystemPortTable& table);
// Start-up: the application end into list 1004 (when it contains COM), the
// relay end into list 1005.
void ListPairPorts(core::RelayService& service);
// Refresh: counts the application ends (0 or 1, the result); the name goes
// into list 1004 (when it contains COM, and is counted) and always into 1005.
int ScanApplicationPorts(core::RelayService& service);
// Writes [Ports] Port1 of PortLists.ini from the relay end (empty when the
// pair is missing) and returns the relay ends counted (0 or 1).
int WriteRelayPortList(core::RelayService& service);

}  // namespace provisioning
