// portrelay's user-facing texts, English and Korean side by side. The Korean
// text is used when the ANSI code page is 949. Texts are kept in UTF-8 and
// turned into the ANSI code page when they are picked (see Pick).
#pragma once

#include <string>

#include "platform/system.h"

namespace core {

struct Text {
  const char* english;
  const char* korean;
};

inline constexpr unsigned kKoreanCodePage = 949;

// The text for the code page, in the ANSI code page.
inline std::string Pick(platform::System& system, unsigned codePage, const Text& text) {
  return system.FromUtf8(codePage == kKoreanCodePage ? text.korean : text.english);
}

namespace texts {

// Start-up.
inline constexpr Text kConnectionFailedTimes{
    "Printer connection failed %d times.\nThe program automatically closes after 5 failures.",
    "프린터 연결에 %d번 실패했습니다.\n5회 실패 시 프로그램이 자동 종료됩니다."};
inline constexpr Text kPathChanged{
    "The program execution path has been changed.\nPlease run the program in the installed "
    "location.\nAutomatically close the program.",
    "프로그램 실행 경로가 변경되었습니다.\n설치된 위치에 있는 프로그램을 실행 "
    "바랍니다.\n프로그램을 "
    "자동 종료합니다."};
inline constexpr Text kNotConfigured{
    "The virtual COM port is not configured.\nInstall the virtual COM port driver for "
    "interworking with the application.",
    "가상 COM 포트 구성이 안 되어 있습니다.\n어플리케이션과 연동을 위하여 가상 COM 포트 드라이버를 "
    "설치합니다."};

// The printer-port prefix of every printer message.
inline constexpr Text kPortPrefixTcp{"%s(%s) port : %s", "%s(%s) 포트 : %s"};
inline constexpr Text kPortPrefix{"%s port : %s", "%s 포트 : %s"};

// Main window (English texts replace the template's Korean ones when the code
// page is not 949).
inline constexpr Text kWindowCaption{"KELVO DOVI Service 2.10", "켈보 DOVI 서비스 2.10"};
inline constexpr Text kAppPortLabel{"Application port", "어플리케이션 사용 포트 : "};
inline constexpr Text kCheckPortButton{"Check the application's port (&V)",
                                       "DOVI 포트 인쇄 확인 (&V)"};
inline constexpr Text kSettingsButton{"Settings (&S)", "프린터 연결 및 정보 설정(&S)"};
inline constexpr Text kAddPortButton{"Add virtual COM port (&A)", "가상 COM 포트 추가 (&A)"};
inline constexpr Text kConnectedPortLabel{"Connected port", "연결된 프린터 포트 : "};
inline constexpr Text kTipRelayPorts{"This is a list of ports the printer is using for printing.",
                                     "프린터가 인쇄를 위하여 사용 중인 포트 리스트입니다."};
inline constexpr Text kTipAddPort{
    "After adding an application (app), the port to be printed is automatically set when "
    "clicked.",
    "어플리케이션(앱) 추가 후 클릭 시 인쇄할 포트를 자동으로 설정합니다."};
inline constexpr Text kTipCheckPort{"You can check the available ports in the application (app).",
                                    "어플리케이션(앱) 에서 사용 가능한 포트를 확인할 수 있습니다."};
inline constexpr Text kTipSettings{"You can set the connected printer information.",
                                   "연결된 프린터 정보를 설정할 수 있습니다."};

// Exit confirmation and information dialogs of the main window (the Korean
// texts are also the templates' own).
inline constexpr Text kExitCaption{"KELVO DOVI Service exit dialog", "KELVO DOVI Service 종료 창"};
inline constexpr Text kExitQuestion{
    "Do you want to close the KELVO Print Service program?\nPrinting is impossible when the "
    "program is closed. \n\nIt is automatically executed when the system reboots.",
    "KELVO DOVI Service 프로그램을 종료하시겠습니까 ?\n프로그램을 종료 시 인쇄가 불가능합니다. "
    "\n\n시스템 리부팅 시 자동 실행됩니다."};
inline constexpr Text kInfoCaption{"KelvoSvr Print Service information",
                                   "DORVA RadozadOZU Information"};
inline constexpr Text kInfoDescription{
    "When printing to a virtual COM port from an application, it is an application that "
    "receives print data and transmits the received data to a connected printer.\n\nIf "
    "printing is required from a new application to a virtual COM port, open service -> \"Add "
    "virtual COM port (&A)\" button to install. It is set automatically after installation, and "
    "you can print to the added port.",
    "어플리케이션이 가상 COM 포트로 보낸 인쇄 데이터를 받아 연결된 프린터로 전달하는 "
    "프로그램입니다.\n\n새 어플리케이션에서 인쇄하려면 서비스 열기 -> \"가상 COM 포트 추가 "
    "(&A)\" 버튼으로 포트를 설치합니다. 설치 후 자동으로 설정되며, 추가된 포트로 인쇄할 수 "
    "있습니다."};
inline constexpr Text kInfoOk{"OK", "OK(&O)"};

// Printer status pop-up.
inline constexpr Text kStatusCaptionNormal{"Kelvo printer status - Normal",
                                           "Kelvo 프린터 상태 - 정상"};
inline constexpr Text kStatusCaptionError{"Kelvo printer status - Error",
                                          "Kelvo 프린터 상태 - 장애 발생"};
inline constexpr Text kStatusCaptionReprint{"Kelvo printer status - Reprint",
                                            "Kelvo 프린터 상태 - 재인쇄"};
inline constexpr Text kButtonOk{"OK", "확인(&A)"};
inline constexpr Text kButtonCancel{"Cancel", "취소(&C)"};

// Relay engine.
inline constexpr Text kConnectionFailure{
    "A printer connection failure has occurred. Please, check the printer.",
    "프린터 연결 장애가 발생했습니다. 검검 바랍니다."};

// Status check after a job and between jobs.
inline constexpr Text kJobCoverOpen{"[Printing] Printer cover is open.",
                                    "[인쇄중] 프린터 커버가 열렸습니다."};
inline constexpr Text kJobNearEnd{"[Printing] Paper is near empty.",
                                  "[인쇄중] 프린터 용지가 거의 없습니다."};
inline constexpr Text kJobPaperOut{"[Printing] Printer is out of paper.",
                                   "[인쇄중] 프린터 용지가 없습니다."};
inline constexpr Text kJobPowerOff{"[Printing] Printer power is off.",
                                   "[인쇄중] 프린터 전원이 꺼져 있습니다."};
inline constexpr Text kJobNoResponse{"[Printing] There is no response from the printer.",
                                     "[인쇄중] 프린터에서 응답이 없습니다."};
inline constexpr Text kJobUnknown{"[Printing] An unknown error has occurred.",
                                  "[인쇄중] 알 수 없는 에러가 발생했습니다."};
inline constexpr Text kJobNoError{"[Printing] Printer is no error.",
                                  "[인쇄중] 프린터가 정상입니다."};
inline constexpr Text kJobReprint{"[Printing] Starts reprinting.", "[인쇄중] 재인쇄를 시작합니다."};
// Restart recovery: jobs the journal holds that were never confirmed.
inline constexpr Text kRecoverAsk{
    "%d receipt(s) were not confirmed as printed when the relay last stopped.\nThe oldest "
    "arrived %d minute(s) ago.\nPrint them again now?",
    "인쇄 확인이 안 된 영수증이 %d건 있습니다.\n가장 오래된 영수증은 %d분 전에 "
    "들어왔습니다.\n지금 다시 인쇄하시겠습니까?"};
inline constexpr Text kIdleNoError{"Printer is no error.", "프린터가 정상입니다."};
inline constexpr Text kIdleCoverOpen{"Printer cover is open.", "프린터 커버가 열렸습니다."};
inline constexpr Text kIdleNearEnd{"Paper is near empty.", "프린터 용지가 거의 없습니다."};
inline constexpr Text kIdlePaperOut{"Printer is out of paper.", "프린터 용지가 없습니다."};
inline constexpr Text kIdlePowerOff{"Printer power is off.", "프린터 전원이 꺼져 있습니다."};
inline constexpr Text kIdleUnknown{"An unknown error has occurred.",
                                   "알 수 없는 에러가 발생했습니다."};

// Port refresh and pair installation.
inline constexpr Text kInstallNotice{
    "If you are installing the virtual COM port, click the OK button after installation is "
    "complete.\nIf you canceled the virtual COM port installation, click the OK button.",
    "가상 COM 포트를 설치 중인 경우, 설치 완료 후 확인 버튼을 클릭합니다.\n가상 COM 포트 설치를 "
    "취소한 경우 확인 버튼을 클릭합니다."};
inline constexpr Text kAddError1{
    "[1] An error occurred when adding the port.\nAutomatically close the program.\nPlease run "
    "it again!!!",
    "[1] 포트 추가 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n다시 실행해 주시기 "
    "바랍니다!!!"};
inline constexpr Text kAddError1File{
    "[1] An error occurred when adding the port.\nAutomatically close the program.\nPlease "
    "delete the %s file and run it again!!!",
    "[1] 포트 추가 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n%s 파일을 삭제한 후 "
    "다시 실행해 주시기 바랍니다!!!"};
inline constexpr Text kAddError2{
    "[2] An error occurred when adding the port.\nAutomatically close the program.\nPlease run "
    "it again!!!",
    "[2] 포트 추가 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n다시 실행해 주시기 "
    "바랍니다!!!"};
inline constexpr Text kAddError2File{
    "[2] An error occurred when adding the port.\nAutomatically close the program.\nPlease "
    "delete the %s file and run it again!!!",
    "[2] 포트 추가 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n%s 파일을 삭제한 후 "
    "다시 실행해 주시기 바랍니다!!!"};
inline constexpr Text kOpenError{
    "An error occurred when opening the port.\nAutomatically close the program.\nPlease run it "
    "again!!!",
    "포트 오픈 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n다시 실행해 주시기 "
    "바랍니다!!!"};
inline constexpr Text kOpenErrorFile{
    "An error occurred when opening the port.\nAutomatically close the program.\nPlease delete "
    "the %s file and run it again!!!",
    "포트 오픈 시 오류가 발생했습니다.\n프로그램을 자동 종료합니다.\n%s 파일을 삭제한 후 다시 "
    "실행해 주시기 바랍니다!!!"};
inline constexpr Text kChangesDone{"Changes are done.", "변경사항이 완료되었습니다."};

// Settings dialog (English texts replace the template's Korean ones when the
// code page is not 949; the tool tips and the printer-driver warning are
// Korean in every code page).
inline constexpr Text kSettingsCaption{"KELVO Printer settings dialog", "Kelvo 프린터 설정 창"};
inline constexpr Text kSettingsRealtimeLabel{"Real-time status check", "실시간 상태 확인 : "};
inline constexpr Text kSettingsPopupLabel{"Message popup in errors", "장애 시 메시지 팝업 : "};
inline constexpr Text kSettingsLogLabel{"Save log", "로그 저장 : "};
inline constexpr Text kSettingsTimeoutLabel{"Data receive timeout", "데이터 수신 타임아웃 : "};
inline constexpr Text kSettingsReprintLabel{"Reprint or not", "장애 발생 시 재인쇄 유무 : "};
inline constexpr Text kSettingsResultLabel{"Timeout the print result",
                                           "인쇄 결과 확인 타임아웃 : "};
inline constexpr Text kSettingsSave{"Save", "저장(&S)"};
inline constexpr Text kSettingsInterfaceGroup{"Printer's interface setting",
                                              "프린터 인터페이스 설정"};
inline constexpr Text kSettingsPortLabel{"Printer Connect Port : ", "프린터 연결 포트 : "};
inline constexpr Text kSettingsIpLabel{"Printer IP : ", "프린터 IP : "};
inline constexpr Text kSettingsMethodLabel{"Printer's connection method", "프린터 연결 방식 : "};
inline constexpr const char* kTipPort = "연결할 프린터 포트를 선택합니다.";
inline constexpr const char* kTipBaudrate = "시리얼인 경우 Baudrate을 선택합니다.";
inline constexpr const char* kTipRealtime = "실시간 프린터 상태 확인 기능을 선택합니다.";
inline constexpr const char* kTipPopup = "장애 발생 시 장애 팝업 사용 유무를 설정합니다.";
inline constexpr const char* kTipLogFile = "로그 저장 유무를 설정합니다.";
inline constexpr const char* kTipTimeout = "수신 데이터를 구분하기 위한 시간을 설정합니다.";
inline constexpr const char* kTipReprint = "장애 발생 시 재인쇄 유무를 설정합니다.";
inline constexpr const char* kTipResultTimeout = "데이터 전송 후 인쇄 결과 수신 시간을 설정합니다.";
inline constexpr const char* kPrinterDriverOnPort =
    "프린터 드라이버 %s의 포트(%s)를 다른 포트로 변경해야 합니다.\n포트를 변경해야 정상적인 인쇄가 "
    "가능합니다.";
inline constexpr Text kPrinterFailure{"A printer failure has occurred. Please, check the printer.",
                                      "프린터 장애가 발생했습니다. 검검 바랍니다."};

// Application port check (shown without the printer-port prefix and not
// logged); its set-up failures are plain English message boxes.
inline constexpr Text kPortInUse{"%s port is being used by another program.",
                                 "%s 포트를 다른 프로그램에서 사용 중입니다."};
inline constexpr Text kPortUsable{"Application can use the %s port.",
                                  "어플리케이션에서 %s 포트를 사용할 수 있습니다."};
inline constexpr Text kPortTransferFailed{"Data transfer to %s port failed.",
                                          "%s 포트로 데이터 전송 실패했습니다."};
inline constexpr const char* kCheckTimeoutsFailed = "SetCommTimeouts() failed in %s";
inline constexpr const char* kCheckGetStateFailed = "GetCommState() failed in %s";
inline constexpr const char* kCheckSetStateFailed = "SetCommState() failed in %s";
inline constexpr const char* kImageWriteFailed = "WriteFile() Fail !!!";

// Recent receipts: the window. Its template keeps the Korean texts too; the
// states are the journal's (core::JobState) as a person reads them.
inline constexpr Text kRecentCaption{"Recent receipts", "최근 영수증"};
inline constexpr Text kRecentListLabel{"Last 100 receipts, newest first", "최근 100건 (최신순)"};
inline constexpr Text kRecentPreviewLabel{"Preview", "미리 보기"};
inline constexpr Text kRecentColumnTime{"Received", "받은 시각"};
inline constexpr Text kRecentColumnSize{"Size", "크기"};
inline constexpr Text kRecentColumnState{"State", "상태"};
inline constexpr Text kRecentSize{"%s bytes", "%s 바이트"};
inline constexpr Text kRecentPrintAgain{"Print again (&P)", "다시 인쇄 (&P)"};
inline constexpr Text kRecentClose{"Close (&C)", "닫기 (&C)"};
inline constexpr Text kRecentEmpty{"No receipts yet.", "아직 받은 영수증이 없습니다."};
inline constexpr Text kRecentStateArriving{"Arriving", "받는 중"};
inline constexpr Text kRecentStateReceived{"Received", "받음"};
inline constexpr Text kRecentStateSent{"Sent", "보냄"};
inline constexpr Text kRecentStateConfirmed{"Printed", "인쇄됨"};
inline constexpr Text kRecentStateFault{"Printer fault", "프린터 장애"};
inline constexpr Text kRecentStatePrintedAgain{"Printed again", "재인쇄됨"};
inline constexpr Text kRecentStateAbandoned{"Not printed", "인쇄 안 됨"};
inline constexpr Text kRecentStateDiscarded{"Discarded", "버림"};

// Test page heading (line 1 is formatted with the port name).
inline constexpr Text kTestPageLine1{"Print to %s port.\n\n", "%s로 인쇄합니다.\n\n"};
inline constexpr Text kTestPageLine2{
    "If the printed string can be read, the printer can be used normally.\n",
    "출력되는 문자열을 읽을 수 있으면 정상적으로 프린터를 사용할 수 있습니다.\n"};

// Plain message boxes of the set-up paths (English only, in every language).
inline constexpr const char* kElevationDenied = "elevation permission denied by user \n";
inline constexpr const char* kSetupcNotFound = "the file to be executed by did not find \n";
inline constexpr const char* kEnumPrintersCaption = "EnumPrinters() Error";
inline constexpr const char* kEnumPrintersFailed = "EnumPrinters() failed";

// Debugger output of the status check (the same in every language).
inline constexpr const char* kDebugClearQueue = "Clear queue";
inline constexpr const char* kDebugStandbyFault = "스탠바이 : Start 장애 발생.";
inline constexpr const char* kDebugStandbyCleared = "스탠바이 : 장애 클리어.";

// Recent receipts: the list and the commands.
inline constexpr Text kRecentJournalOff{
    "The journal is off (Journal=NO in Settings.ini): no receipts are kept to list or print "
    "again.",
    "저널이 꺼져 있습니다(Settings.ini의 Journal=NO): 목록을 보거나 다시 인쇄할 영수증이 "
    "보관되지 않습니다."};
inline constexpr Text kRecentJournalFailed{
    "The journal stopped recording (the disk is full, read-only or gone; see MainLog): the "
    "newest receipts are missing.",
    "저널 기록이 중단되었습니다(디스크가 가득 찼거나 읽기 전용이거나 없습니다. MainLog 참조): "
    "최근 영수증이 빠져 있습니다."};
inline constexpr Text kRecentJournalUnreadable{"The journal folder cannot be read (error %d).",
                                               "저널 폴더를 읽을 수 없습니다(오류 %d)."};
inline constexpr Text kRecentJournalDamaged{
    "%d journal file(s) are damaged: receipts after the damage are missing.",
    "저널 파일 %d개가 손상되었습니다: 손상된 곳 이후의 영수증이 빠져 있습니다."};
inline constexpr Text kReprintQueued{"The receipt is printed again.", "영수증을 다시 인쇄합니다."};
inline constexpr Text kReprintNoJournal{
    "The journal is off or failed: nothing can be printed again.",
    "저널이 꺼져 있거나 중단되어 다시 인쇄할 수 없습니다."};
inline constexpr Text kReprintNoSuchJob{"There is no such receipt in the journal.",
                                        "저널에 그런 영수증이 없습니다."};
inline constexpr Text kReprintUnreadable{"The receipt cannot be read back from the journal.",
                                         "저널에서 영수증을 읽을 수 없습니다."};
inline constexpr Text kReprintStopping{"The relay is stopping: ask again once it runs.",
                                       "프로그램이 멈추는 중입니다. 다시 실행된 후 요청하십시오."};
inline constexpr Text kReprintBusy{
    "Too many receipts wait to be printed again: ask again once the printer prints.",
    "다시 인쇄를 기다리는 영수증이 너무 많습니다. 프린터가 인쇄한 후 다시 요청하십시오."};

}  // namespace texts
}  // namespace core
