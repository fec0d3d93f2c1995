// Identifiers of the main window's controls that the core talks to through
// the view (the Win32 dialog template uses the same numbers).
#pragma once

namespace core::controls {

inline constexpr int kAddPortButton = 1000;
inline constexpr int kCheckPortButton = 1001;
inline constexpr int kRelayPortList = 1002;   // relay ports in use
inline constexpr int kAllComPortList = 1003;  // every COM port of the system
inline constexpr int kAppPortList = 1004;     // application end of the pair
inline constexpr int kAllVirtualList = 1005;  // all virtual ports
inline constexpr int kSettingsButton = 1006;
inline constexpr int kInstallPairButton = 1007;
inline constexpr int kPairGroup = 1016;
inline constexpr int kPrinterPortCombo = 1019;  // printer connection port
inline constexpr int kSetupcTestButton = 1020;
inline constexpr int kProgress = 1021;
inline constexpr int kAppPrintTestButton = 1022;
inline constexpr int kPortCountEdit = 1023;
inline constexpr int kConnectedPortLabel = 1024;
inline constexpr int kAppPortLabel = 1025;

}  // namespace core::controls
