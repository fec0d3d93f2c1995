// What virtual port provisioning keeps between its operations: the adding
// mode of the port refresh, the architecture code of the pair installation,
// and the pair ends counted by the last scan. The main window owns one; the
// operations read it and record their results in it.
#pragma once

namespace provisioning {

struct ProvisioningState {
  // 1 while the refresh checks a pair installation's result.
  int addingMode = 0;
  // x86 0, x64 1, IA-64 2; -1 until detected.
  int architecture = -1;
  int applicationEndCount = 0;
  int relayEndCount = 0;
};

}  // namespace provisioning
