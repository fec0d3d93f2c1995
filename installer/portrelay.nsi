; portrelay-setup.exe: installs portrelay, relaytray and relayremove into one
; folder under Program Files, registers the uninstall entry "KELVO DOVI
; Service" and offers to start the service (through relaytray) at the end.
; "/S" installs silently; "/D=FOLDER" (last) names another folder.
;
; The uninstaller (the entry's UninstallString, also what relayremove runs)
; stops a running relay and removes the files, the autostart value, the
; settings, the log folder and the entry itself. It never starts relayremove:
; relayremove runs this entry once, and nothing runs relayremove back.
;
; Built by the windows preset (target "installer"):
;   makensis -INPUTCHARSET UTF8 -DBIN_DIR=DIR -DICON_DIR=DIR -DOUT_FILE=FILE
;            -DVERSION=X.Y.Z [-DCOM0COM_DIR=DIR] [-DX64] portrelay.nsi
; With COM0COM_DIR, com0com's two installers are packed beside the programs,
; where the relay looks for them when it installs its virtual port pair.
; X64 packs the x86_64 build (portrelay-setup-x64.exe, a 64-bit installer
; that installs into the 64-bit Program Files); without it, the 32-bit build.

!ifdef X64
Target amd64-unicode
!define PROGRAMS_FOLDER "$PROGRAMFILES64"
!else
Unicode true
!define PROGRAMS_FOLDER "$PROGRAMFILES"
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define PRODUCT "KELVO DOVI Service"
!define PUBLISHER "Kelvo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KELVO DOVI Service"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "portrelay"
!define COM0COM_X86 "Setup_com0com_v3.0.0.0_x86_signed.exe"
!define COM0COM_X64 "Setup_com0com_v3.0.0.0_x64_signed.exe"
; ERROR_ELEVATION_REQUIRED: the exit code when administrator rights are missing.
!define NEEDS_ADMIN_EXIT 740

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "${PROGRAMS_FOLDER}\KELVO DOVI"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

Var RelayWasRunning

!define MUI_ICON "${ICON_DIR}/program.ico"
!define MUI_UNICON "${ICON_DIR}/remover.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartService)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartService
!insertmacro MUI_PAGE_FINISH

; Whoever runs the uninstaller has already confirmed the removal (relayremove's
; Delete button, or "Uninstall" in the system's list of programs): it shows
; its progress only and closes itself.
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"

LangString StartService ${LANG_ENGLISH} "Start the KELVO DOVI Service"
LangString StartService ${LANG_KOREAN} "KELVO DOVI 서비스 시작"
LangString NeedsAdmin ${LANG_ENGLISH} "Administrator rights are needed to install or remove the KELVO DOVI Service."
LangString NeedsAdmin ${LANG_KOREAN} "KELVO DOVI 서비스를 설치하거나 삭제하려면 관리자 권한이 필요합니다."

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) ${PUBLISHER}"

; The programs are 32-bit; on 64-bit Windows the relay keeps its autostart
; value in the 64-bit registry view, and the entry lives there as well, where
; relayremove looks for it.
!macro UseProgramsRegistryView
!ifdef X64
  SetRegView 64
!else
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!endif
!macroend

!macro RequireAdministrator
  System::Call "shell32::IsUserAnAdmin() i .r0"
  ${If} $0 = 0
    MessageBox MB_ICONSTOP|MB_OK "$(NeedsAdmin)" /SD IDOK
    SetErrorLevel ${NEEDS_ADMIN_EXIT}
    Quit
  ${EndIf}
!macroend

; Ends a running relay (exit code 1); $0 is 0 when one was running. Its
; program file is free only once the process is gone: wait for that, bounded.
!macro StopRelay
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM portrelay.exe'
  Pop $0
  ${If} $0 = 0
  ${AndIf} ${FileExists} "$INSTDIR\portrelay.exe"
    StrCpy $1 0
    ${Do}
      ClearErrors
      FileOpen $2 "$INSTDIR\portrelay.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        ${Break}
      ${EndIf}
      IntOp $1 $1 + 1
      ${IfThen} $1 >= 100 ${|} ${Break} ${|}
      Sleep 100
    ${Loop}
  ${EndIf}
!macroend

; Deletes a file that a program ending right now may still hold (relayremove
; runs the uninstaller and ends after it): tried for 20 s, then left for the
; next restart.
!macro DeleteWhenFree FILE
  StrCpy $1 0
  ${Do}
    Delete "${FILE}"
    ${IfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= 80
      Delete /REBOOTOK "${FILE}"
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
!macroend

Function .onInit
  !insertmacro UseProgramsRegistryView
  !insertmacro RequireAdministrator
  ; Installed before: install over it, in its folder (unless /D names one).
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/D=" $2
  ${If} ${Errors}
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function StartService
  Exec '"$INSTDIR\relaytray.exe"'
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  ; An upgrade in place: a running relay holds its program file.
  StrCpy $RelayWasRunning 0
  !insertmacro StopRelay
  ${If} $0 = 0
    StrCpy $RelayWasRunning 1
  ${EndIf}

  File "${BIN_DIR}/portrelay.exe"
  File "${BIN_DIR}/relaytray.exe"
  File "${BIN_DIR}/relayremove.exe"
!ifdef COM0COM_DIR
  File "${COM0COM_DIR}/${COM0COM_X86}"
  File "${COM0COM_DIR}/${COM0COM_X64}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\portrelay.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The relay registers the launcher beside it at its first start, and refuses
  ; to run while the value names another folder (compared case for case): a
  ; value left by an installation elsewhere goes.
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 != ""
  ${AndIf} $0 S!= "$INSTDIR\relaytray.exe"
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}

  ; A silent upgrade shows no finish page: the relay it stopped starts again.
  ${If} ${Silent}
  ${AndIf} $RelayWasRunning = 1
    Exec '"$INSTDIR\relaytray.exe"'
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro UseProgramsRegistryView
  !insertmacro RequireAdministrator
FunctionEnd

Section "Uninstall"
  SetAutoClose true
  !insertmacro StopRelay

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  Delete "$INSTDIR\Settings.ini"
  Delete "$INSTDIR\PortLists.ini"
  RMDir /r "$INSTDIR\MainLog"
  RMDir /r "$INSTDIR\Journal"

  !insertmacro DeleteWhenFree "$INSTDIR\portrelay.exe"
  Delete "$INSTDIR\relaytray.exe"
  Delete "$INSTDIR\${COM0COM_X86}"
  Delete "$INSTDIR\${COM0COM_X64}"
  !insertmacro DeleteWhenFree "$INSTDIR\relayremove.exe"
  ; This program runs from a copy in the temporary folder.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
