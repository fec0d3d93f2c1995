// System port and printer enumeration: what goes into the system COM port
// table, the printer port combo box and the list of all COM ports, the table's
// bounds, and finding the printer on a port.
#include "provisioning/port_enumeration.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/controls.h"
#include "tests/fakes/provisioning_fixture.h"

namespace {

using core::controls::kAllComPortList;
using core::controls::kPrinterPortCombo;
using Names = std::vector<std::string>;

Names TableNames(const provisioning::SystemPortTable& table) {
  Names names;
  for (int i = 0; i < table.count; ++i) names.push_back(table.names[static_cast<size_t>(i)].data());
  return names;
}

class PortEnumeration : public ::testing::Test {
 protected:
  fakes::ProvisioningFixture f;
};

TEST_F(PortEnumeration, ComAndLptPortsGoWhereTheyBelongAndOthersAreIgnored) {
  f.fake.portEnumerator.ports = {"COM1:", "COM3:", "LPT1:", "FILE:", "USB001:"};
  provisioning::EnumerateComPorts(f.fake.portEnumerator, f.dialog->comPorts());
  provisioning::ListLptPorts(f.service());
  provisioning::ListAllComPorts(f.service());
  EXPECT_EQ(TableNames(f.dialog->comPorts()), (Names{"COM1", "COM3"}));
  EXPECT_EQ(f.List(kPrinterPortCombo), Names{"LPT1"});
  EXPECT_EQ(f.List(kAllComPortList), (Names{"COM1:", "COM3:"}));
}

TEST_F(PortEnumeration, NamesKeepTheSpoolerOrderAndLoseOnlyTrailingColons) {
  f.fake.portEnumerator.ports = {"COM9::", "com2:", "COM10", "LPT2:", "xCOM4:", "COM1:"};
  provisioning::EnumerateComPorts(f.fake.portEnumerator, f.dialog->comPorts());
  provisioning::ListLptPorts(f.service());
  EXPECT_EQ(TableNames(f.dialog->comPorts()), (Names{"COM9", "COM10", "COM1"}));
  EXPECT_EQ(f.List(kPrinterPortCombo), Names{"LPT2"});
}

TEST_F(PortEnumeration, TheTableStopsAt256EntriesAndNeverWritesPastAnEntry) {
  f.fake.portEnumerator.ports.push_back("COM" + std::string(60, '7') + ":");
  for (int i = 1; i <= 300; ++i)
    f.fake.portEnumerator.ports.push_back("COM" + std::to_string(i) + ":");
  provisioning::SystemPortTable& table = f.dialog->comPorts();
  table.count = 1;  // the count starts where the caller left it
  std::strcpy(table.names[0].data(), "COM0");
  provisioning::EnumerateComPorts(f.fake.portEnumerator, f.dialog->comPorts());
  EXPECT_EQ(table.count, 256);
  EXPECT_STREQ(table.names[0].data(), "COM0");
  EXPECT_EQ(std::string(table.names[1].data()), "COM" + std::string(28, '7'));
  EXPECT_EQ(table.names[1][31], '\0');
  EXPECT_STREQ(table.names[2].data(), "COM1");
  EXPECT_STREQ(table.names[255].data(), "COM254");
}

TEST_F(PortEnumeration, AFailedEnumerationAddsNothing) {
  f.fake.portEnumerator.ports = {"COM1:", "LPT1:"};
  f.fake.portEnumerator.portsError = 5;
  provisioning::EnumerateComPorts(f.fake.portEnumerator, f.dialog->comPorts());
  provisioning::ListLptPorts(f.service());
  provisioning::ListAllComPorts(f.service());
  EXPECT_EQ(f.dialog->comPorts().count, 0);
  EXPECT_TRUE(f.List(kPrinterPortCombo).empty());
  EXPECT_TRUE(f.List(kAllComPortList).empty());
}

struct PrinterRow {
  const char* what;
  std::vector<platform::PrinterInfo> printers;
  int found;
  std::string printer;
};

TEST_F(PortEnumeration, FindPrinterOnPortMatchesTheWholePortTextExactly) {
  const PrinterRow rows[] = {
      {"printer on COM1:", {{"Receipt", "COM1:"}}, 1, "Receipt"},
      {"a port list is not the port", {{"Multi", "COM1:,COM2:"}}, 0, ""},
      {"lower case does not match", {{"Lower", "com1:"}}, 0, ""},
      {"the first of two printers wins", {{"First", "COM1:"}, {"Second", "COM1:"}}, 1, "First"},
      {"other ports only", {{"Net", "IP_10.0.0.5"}, {"Lpt", "LPT1:"}}, 0, ""},
      {"no printers", {}, 0, ""},
  };
  for (const PrinterRow& row : rows) {
    SCOPED_TRACE(row.what);
    f.fake.portEnumerator.printers = row.printers;
    provisioning::PrinterOnPort found{"stale", "stale"};
    EXPECT_EQ(provisioning::FindPrinterOnPort(f.fake.platform, "COM1", found), row.found);
    EXPECT_EQ(found.printer, row.printer);
    EXPECT_EQ(found.port, row.found ? "COM1:" : "");
  }
  EXPECT_TRUE(f.fake.system.messageBoxes().empty());
}

TEST_F(PortEnumeration, FindPrinterOnPortCutsLongNamesToTheirBuffers) {
  f.fake.portEnumerator.printers = {{std::string(300, 'p'), "COM1:"}};
  provisioning::PrinterOnPort found;
  ASSERT_EQ(provisioning::FindPrinterOnPort(f.fake.platform, "COM1", found), 1);
  EXPECT_EQ(found.printer, std::string(255, 'p'));
}

TEST_F(PortEnumeration, AFailedPrinterEnumerationSaysSoInAMessageBox) {
  f.fake.portEnumerator.printers = {{"Receipt", "COM1:"}};
  f.fake.portEnumerator.printersError = 1722;
  provisioning::PrinterOnPort found;
  EXPECT_EQ(provisioning::FindPrinterOnPort(f.fake.platform, "COM1", found), 0);
  EXPECT_EQ(f.fake.system.messageBoxes(), Names{"EnumPrinters() Error|EnumPrinters() failed"});
}

TEST_F(PortEnumeration, FileExistsFindsFilesAndFolders) {
  EXPECT_TRUE(provisioning::FileExists(f.fake.files, f.dir.File("Settings.ini")));
  EXPECT_TRUE(provisioning::FileExists(f.fake.files, f.dir.path()));
  EXPECT_FALSE(provisioning::FileExists(f.fake.files, f.dir.File("PortLists.ini")));
}

}  // namespace
