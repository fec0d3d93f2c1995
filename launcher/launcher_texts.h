// relaytray's user-facing texts, English and Korean side by side (Korean when
// the ANSI code page is 949), and the start results with their messages.
#pragma once

#include "core/texts.h"

namespace launcher::texts {

using core::Text;

// The launcher dialog (the template holds the Korean texts).
inline constexpr Text kCaption{"KELVO DOVI Service start program", "KELVO DOVI 시작 프로그램"};
inline constexpr Text kStartButton{"Start service", "DOVI 서비스 시작"};
inline constexpr Text kExitButton{"Exit (&X)", "프로그램 종료"};

// The launcher status dialog.
inline constexpr Text kStatusNormal{"KELVO DOVI Service execution - Normal",
                                    "KELVO DOVI 서비스 실행 - 정상"};
inline constexpr Text kStatusError{"KELVO DUZI Service execution - Error",
                                   "KELVO DOVI 서비스 실행 - 장애 발생"};
inline constexpr Text kStatusOk{"OK", "확인"};
inline constexpr Text kStarted{"KELVO DOVI service was running normally.",
                               "KELVO DOVI 서비스가 정상적으로 실행되었습니다."};

// The information dialog.
inline constexpr Text kInfoCaption{"KELVO DOVI Service launcher information",
                                   "KELVO DOVI 서비스 시작 프로그램 정보"};
inline constexpr Text kInfoVersion{"KELVO DOVI launcher version 1.0.",
                                   "KELVO DOVI 서비스 시작 프로그램 버전 1.0"};
inline constexpr Text kInfoOk{"OK", "확인"};

// What a failed start of the relay means, by the system's error code.
struct StartFailure {
  int code;
  Text message;
};

inline constexpr StartFailure kStartFailures[] = {
    {2,
     {"The executable file could not be found.\nPlease check the location of the executable file.",
      "실행 파일을 찾을 수 없습니다.\n실행 파일의 위치를 확인 바랍니다."}},
    {3,
     {"Could not find the executable path.\nPlease check the path of the executable file.",
      "실행 경로를 찾을 수 없습니다.\n실행 파일의 경로를 확인 바랍니다."}},
    {5,
     {"Access to the specified file is denied.",
      "실행 파일 접근이 차단되었습니다.\n실행 권한을 확인 바랍니다."}},
    {8,
     {"There is not enough memory to perform the specified action.",
      "원하는 액션에 대한 메모리가 부족합니다.\n메모리 상태를 확인 바랍니다."}},
    {32,
     {"A sharing violation occurred.", "공유 접근이 차단되었습니다.\n실행 권한을 확인 바랍니다."}},
    {100, {"An unknown error has occurred.", "알수 없는 에러가 발생했습니다."}},
    {1223,
     {"The request to execute administrator privileges has been canceled.\nPlease allow the "
      "administrator privilege request.",
      "관리자 권한 실행 요청을 취소하였습니다.\n관리자 권한 요청을 허용바랍니다."}},
};

}  // namespace launcher::texts
