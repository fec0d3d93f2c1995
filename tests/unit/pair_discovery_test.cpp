// com0com pair discovery: what each of the reads of pair 0 does with each
// state an end can be in (named, key missing, value missing, data unreadable).
#include "provisioning/pair_discovery.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/controls.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

using core::controls::kAllVirtualList;
using core::controls::kAppPortList;
using Names = std::vector<std::string>;

// How an end of pair 0 is registered.
struct End {
  enum Kind { kName, kNoKey, kNoValue, kNoSize, kNoData } kind;
  std::string name;
};
End Named(const std::string& name) { return {End::kName, name}; }
const End kNoKey{End::kNoKey, ""};
const End kNoValue{End::kNoValue, ""};  // key without "PortName": the size query fails
const End kNoSize{End::kNoSize, "COM9"};
const End kNoData{End::kNoData, "COM9"};

void Register(fakes::FakeRegistry& registry, const char* key, const End& end) {
  switch (end.kind) {
    case End::kName:
      registry.Set(key, "PortName", end.name);
      break;
    case End::kNoKey:
      break;
    case End::kNoValue:
      registry.MakeKey(key);
      break;
    case End::kNoSize:
      registry.Set(key, "PortName", end.name);
      registry.FailSizeQuery(key, "PortName");
      break;
    case End::kNoData:
      registry.Set(key, "PortName", end.name);
      registry.FailDataQuery(key, "PortName");
      break;
  }
}

class PairDiscovery : public ::testing::Test {
 protected:
  void Pair(const End& app, const End& relay) {
    Register(f.fake.registry, fakes::kAppKey, app);
    Register(f.fake.registry, fakes::kRelayKey, relay);
  }
  fakes::ProvisioningFixture f;
};

struct ExcludeRow {
  const char* what;
  End app, relay;
  Names table;  // after the exclusion, from COM1, COM5, COM6
};

TEST_F(PairDiscovery, ExcludePairPortsEmptiesTheEntriesOfBothEnds) {
  const ExcludeRow rows[] = {
      {"both ends named", Named("COM5"), Named("COM6"), {"COM1", "", ""}},
      {"application key missing: the relay end is still read",
       kNoKey,
       Named("COM6"),
       {"COM1", "COM5", ""}},
      {"application value missing: ends at once",
       kNoValue,
       Named("COM6"),
       {"COM1", "COM5", "COM6"}},
      {"application size query fails: ends at once",
       kNoSize,
       Named("COM6"),
       {"COM1", "COM5", "COM6"}},
      {"application data unreadable: skipped", kNoData, Named("COM6"), {"COM1", "COM5", ""}},
      {"relay value missing", Named("COM5"), kNoValue, {"COM1", "", "COM6"}},
      {"relay key missing", Named("COM5"), kNoKey, {"COM1", "", "COM6"}},
      {"no pair at all", kNoKey, kNoKey, {"COM1", "COM5", "COM6"}},
      {"names compare case-sensitively", Named("com5"), Named("COM6 "), {"COM1", "COM5", "COM6"}},
      {"a name longer than an entry never matches",
       Named("COM5" + std::string(40, 'x')),
       Named("COM6"),
       {"COM1", "COM5", ""}},
  };
  for (const ExcludeRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::FakeRegistry registry;
    Register(registry, fakes::kAppKey, row.app);
    Register(registry, fakes::kRelayKey, row.relay);
    provisioning::SystemPortTable table;
    for (const char* name : {"COM1", "COM5", "COM6"})
      std::strcpy(table.names[static_cast<size_t>(table.count++)].data(), name);
    provisioning::ExcludePairPorts(registry, table);
    EXPECT_EQ(table.count, 3);
    Names after;
    for (int i = 0; i < 3; ++i) after.push_back(table.names[static_cast<size_t>(i)].data());
    EXPECT_EQ(after, row.table);
  }
}

struct ListRow {
  const char* what;
  End app, relay;
  Names appList, virtualList;
};

TEST_F(PairDiscovery, ListPairPortsShowsTheApplicationAndRelayEnds) {
  const ListRow rows[] = {
      {"COM5/COM6", Named("COM5"), Named("COM6"), {"COM5"}, {"COM6"}},
      {"application end without COM", Named("CNCA0"), Named("COM6"), {}, {"COM6"}},
      {"COM anywhere in the name", Named("xCOMy"), Named("COM6"), {"xCOMy"}, {"COM6"}},
      {"application value missing ends it", kNoValue, Named("COM6"), {}, {}},
      {"application size query fails", kNoSize, Named("COM6"), {}, {}},
      {"application key missing", kNoKey, Named("COM6"), {}, {"COM6"}},
      {"application data unreadable", kNoData, Named("COM6"), {}, {"COM6"}},
      {"relay end listed whatever it holds", Named("COM5"), Named("CNCB0"), {"COM5"}, {"CNCB0"}},
      {"relay value missing", Named("COM5"), kNoValue, {"COM5"}, {}},
      {"relay data unreadable", Named("COM5"), kNoData, {"COM5"}, {}},
  };
  for (const ListRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::ProvisioningFixture g;
    Register(g.fake.registry, fakes::kAppKey, row.app);
    Register(g.fake.registry, fakes::kRelayKey, row.relay);
    provisioning::ListPairPorts(g.service());
    EXPECT_EQ(g.List(kAppPortList), row.appList);
    EXPECT_EQ(g.List(kAllVirtualList), row.virtualList);
  }
}

struct ScanRow {
  const char* what;
  End app;
  Names appList, virtualList;
  int count;
};

TEST_F(PairDiscovery, ScanApplicationPortsCountsComNamesAndListsEveryName) {
  const ScanRow rows[] = {
      {"COM name", Named("COM5"), {"COM5"}, {"COM5"}, 1},
      {"no COM in the name: listed, not counted", Named("CNCA0"), {}, {"CNCA0"}, 0},
      {"key missing", kNoKey, {}, {}, 0},
      {"value missing", kNoValue, {}, {}, 0},
      {"size query fails", kNoSize, {}, {}, 0},
      {"data unreadable", kNoData, {}, {}, 0},
  };
  for (const ScanRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::ProvisioningFixture g;
    Register(g.fake.registry, fakes::kAppKey, row.app);
    EXPECT_EQ(provisioning::ScanApplicationPorts(g.service()), row.count);
    EXPECT_EQ(g.List(kAppPortList), row.appList);
    EXPECT_EQ(g.List(kAllVirtualList), row.virtualList);
  }
}

struct WriteRow {
  const char* what;
  End relay;
  std::string portList;  // PortLists.ini afterwards (it held Port1=COM9)
  int count;
};

TEST_F(PairDiscovery, WriteRelayPortListWritesPort1FromTheRelayEnd) {
  const std::string longName = "COM6-" + std::string(40, 'z');
  const WriteRow rows[] = {
      {"relay end named", Named("COM6"), "[Ports]\nPort1=COM6\n", 1},
      {"a name longer than 31 characters is written whole", Named(longName),
       "[Ports]\nPort1=" + longName + "\n", 1},
      {"key missing: empty value", kNoKey, "[Ports]\nPort1=\n", 0},
      {"value missing: empty value", kNoValue, "[Ports]\nPort1=\n", 0},
      {"size query fails: empty value", kNoSize, "[Ports]\nPort1=\n", 0},
      {"data unreadable: nothing written", kNoData, "[Ports]\nPort1=COM9\n", 0},
  };
  for (const WriteRow& row : rows) {
    SCOPED_TRACE(row.what);
    fakes::ProvisioningFixture g;
    g.WritePortList("COM9");
    Register(g.fake.registry, fakes::kRelayKey, row.relay);
    EXPECT_EQ(provisioning::WriteRelayPortList(g.service()), row.count);
    EXPECT_EQ(g.PortList(), row.portList);
  }
}

TEST_F(PairDiscovery, OnlyPairZeroIsEverLookedAt) {
  f.fake.registry.Set("SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCA1\\Device Parameters",
                      "PortName", "COM7");
  f.fake.registry.Set("SYSTEM\\CurrentControlSet\\Enum\\com0com\\port\\CNCB1\\Device Parameters",
                      "PortName", "COM8");
  provisioning::ListPairPorts(f.service());
  EXPECT_EQ(provisioning::ScanApplicationPorts(f.service()), 0);
  EXPECT_EQ(provisioning::WriteRelayPortList(f.service()), 0);
  EXPECT_TRUE(f.List(kAppPortList).empty());
  EXPECT_TRUE(f.List(kAllVirtualList).empty());
  EXPECT_EQ(f.PortList(), "[Ports]\nPort1=\n");
}

TEST_F(PairDiscovery, TheKeysAreReadInThe64BitViewUnderTheirOwnPaths) {
  Pair(Named("COM5"), Named("COM6"));
  provisioning::ListPairPorts(f.service());
  EXPECT_EQ(f.fake.registry.opens, (Names{std::string(fakes::kAppKey) + " [64]",
                                          std::string(fakes::kRelayKey) + " [64]"}));
  EXPECT_EQ(provisioning::PairKeyPath(provisioning::kRelayEnd, 0), fakes::kRelayKey);
}

}  // namespace
