// relayremove's user-facing texts, English and Korean side by side (Korean
// when the ANSI code page is 949; the dialog templates hold the Korean ones),
// its debug traces and the message boxes of the application-port release
// (English only).
#pragma once

#include "core/texts.h"

namespace uninstaller::texts {

using core::Text;

// The main dialog.
inline constexpr Text kCaption{"KELVO DOVI Service and Virtual COM Port Driver Uninstaller",
                               "KELVO DOVI 서비스 및 가상 COM 포트 드라이버 삭제 프로그램"};
inline constexpr Text kNotice{
    "When you click the \"Delete Print Service or Virtual COM Driver\" button, the selected "
    "print service and virtual COM port driver are deleted.\n\nAfter the deletion is complete, "
    "the program is automatically closed.",
    "\"DOVI 서비스 또는 가상 COM 드라이버 삭제(&D)\" 버튼 클릭 시 선택된 DOVI 서비스 및 가상 COM "
    "포트 드라이버를 삭제합니다.\n\n삭제가 완료된 후 삭제 프로그램은 자동 종료됩니다."};
inline constexpr Text kServiceBox{"Delete print service", "DOVI 서비스 삭제"};
inline constexpr Text kDriverBox{"Delete Virtual COM Driver", "가상 COM 드라이버 삭제"};
inline constexpr Text kDeleteButton{"Delete Print Service or Virtual COM Driver",
                                    "DOVI 서비스 또는 가상 COM 드라이버 삭제(&D)"};
inline constexpr Text kExitButton{"Exit", "종료(&X)"};

// The information dialog.
inline constexpr Text kInfoCaption{"KELVO Print Service Uninstaller",
                                   "KELVO DOVI 서비스 삭제 프로그램"};
inline constexpr Text kInfoVersion{"KELVO Print Service Uninstaller Version 1.00.",
                                   "KELVO DOVI 서비스 삭제 프로그램 버전 1.00"};
inline constexpr Text kInfoOk{"OK", "확인"};

// Message boxes of the application-port release (device path).
inline constexpr const char* kBoxCaption = "relayremove";
inline constexpr const char* kSetTimeoutsFailed = "SetCommTimeouts() Fail in %s";
inline constexpr const char* kGetStateFailed = "GetCommState() Fail in %s";
inline constexpr const char* kSetStateFailed = "SetCommState() Fail in %s";

// Debug traces (UTF-8; turned into the ANSI code page when written).
inline constexpr const char* kServiceRunning = "실행 중...!";
inline constexpr const char* kServiceNotRunning = "실행 xxx..!";
inline constexpr const char* kRegisterOpenError = "Register Open Error";
inline constexpr const char* kRegisterReadError = "Register Read Error";
inline constexpr const char* kRegisterReadSuccess = "Register Read SUCCESS";

}  // namespace uninstaller::texts
