; The Windows installer of zemta-stela: a 64-bit NSIS installer with Russian texts that
; installs the portable folder for all users into Program Files\ZEMTA\Stela.
;
; make-dist runs makensis on it with:
;   VERSION         the version as the file names carry it (dotted numbers)
;   VERSION4        the same in four parts, for the installer's own version record
;   STAGE           the portable folder to install
;   INSTALL_LIST    a generated script of the SetOutPath/File lines of every file
;   UNINSTALL_LIST  a generated script of the Delete/RMDir lines of the same files
;   SIZE_KB         the installed size, for "Приложения и возможности"
;   OUTFILE         the setup program to write
;
; Exit codes of the setup program and the uninstaller (with /S they are the only word):
;   0 done, 1 cancelled, 2 failed (NSIS's own),
;   3 the program is running (it holds the port and its files; silent: still running
;     after 60 s, nothing replaced),
;   4 a newer version is installed (the setup program does not go back),
;   5 the installed version could not be removed before the upgrade.
;
; The operator's port settings (HKLM and HKCU\Software\ZEMTA\ComPort) are the program's,
; not the installer's: neither install nor uninstall touches them.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include WordFunc.nsh

!define APP_NAME "ЗЕМТА - управление стелой"
!define PUBLISHER "ЗЕМТА"
!define EXE "zemta-stela.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ru.zemta.Stela"
; Held by zemta-stela.exe and zemta-sign.exe while they run (signlink/runningmark.h).
!define RUNNING_MUTEX "Global\ru.zemta.Stela"
; Held by the setup program and the uninstaller while they work; neither program
; starts meanwhile.
!define SETUP_MUTEX "Global\ru.zemta.Stela.Setup"
; How long a silent run waits for running programs to end, in seconds. The tests
; shorten it through the environment variable ZEMTA_SETUP_RUNNING_WAIT.
!define SILENT_RUNNING_WAIT 60
!define ERROR_RUNNING 3
!define ERROR_NEWER_INSTALLED 4
!define ERROR_OLD_NOT_REMOVED 5

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ZEMTA\Stela"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1049 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1049 "FileDescription" "${APP_NAME}: установка"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© 2026 ${PUBLISHER}"

!define MUI_ICON "${STAGE}/zemta-stela.ico"
!define MUI_UNICON "${STAGE}/zemta-stela.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE_3LINES
!define MUI_FINISHPAGE_TITLE_3LINES
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; --- running programs -------------------------------------------------------------

; Leaves $0 at 1 while one of the programs runs, else at 0. Only "no such mutex"
; (error 2) means that none runs: a mutex that exists but cannot be opened (another
; account's, without the right to it) counts as running.
!macro IS_RUNNING
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $0 P<> 0
        System::Call 'kernel32::CloseHandle(p r0)'
        StrCpy $0 1
    ${ElseIf} $1 = 2
        StrCpy $0 0
    ${Else}
        StrCpy $0 1
    ${EndIf}
!macroend

; Holds the setup mutex until the process ends, taken before looking for the programs,
; so that a program starting meanwhile sees it and stops.
!macro HOLD_SETUP_MUTEX
    System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${SETUP_MUTEX}") p .r0'
!macroend

; Until the programs have ended. Interactive: asks the operator to close them
; (Retry/Cancel; Cancel ends with exit code 3). Silent: waits for them up to
; SILENT_RUNNING_WAIT seconds, then ends with exit code 3, nothing replaced.
!macro WAIT_UNTIL_CLOSED
    ReadEnvStr $2 ZEMTA_SETUP_RUNNING_WAIT
    ${If} $2 == ""
        StrCpy $2 ${SILENT_RUNNING_WAIT}
    ${EndIf}
    IntOp $2 $2 * 2
    ${Do}
        !insertmacro IS_RUNNING
        ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
        ${If} ${Silent}
            ${If} $2 <= 0
                SetErrorLevel ${ERROR_RUNNING}
                Quit
            ${EndIf}
            IntOp $2 $2 - 1
            Sleep 500
            ${Continue}
        ${EndIf}
        ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Программа «${APP_NAME}» или zemta-sign.exe запущена: она держит COM-порт стелы и свои файлы.$\r$\n$\r$\nЗакройте её (кнопка «Выход из программы») или дождитесь окончания команды и нажмите «Повтор»." IDRETRY`
            SetErrorLevel ${ERROR_RUNNING}
            Quit
        ${EndIf}
    ${Loop}
!macroend

; --- end of running programs ------------------------------------------------------

Function .onInit
    SetRegView 64
    SetShellVarContext all
    !insertmacro HOLD_SETUP_MUTEX
    ; A newer version stays: going back is done by removing it first.
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $1 != ""
        ${VersionCompare} $1 "${VERSION}" $2
        ${If} $2 = 1
            MessageBox MB_OK|MB_ICONSTOP \
                "Установлена более новая версия программы «${APP_NAME}»: $1.$\r$\n$\r$\nЧтобы установить версию ${VERSION}, сначала удалите установленную (Параметры → Приложения)." \
                /SD IDOK
            SetErrorLevel ${ERROR_NEWER_INSTALLED}
            Quit
        ${EndIf}
    ${EndIf}
    !insertmacro WAIT_UNTIL_CLOSED
FunctionEnd

; Removes an installed version (the same or older) with its own uninstaller, in place,
; so that files it had and this version has not do not stay behind.
Function RemoveInstalled
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $1 == ""
    ${OrIfNot} ${FileExists} "$1\${UNINSTALLER}"
        Return
    ${EndIf}
    DetailPrint "Удаление установленной версии из $1"
    ; _? runs the uninstaller from where it is and waits for it; it then cannot remove
    ; itself, which is done here.
    ClearErrors
    ExecWait '"$1\${UNINSTALLER}" /S _?=$1' $2
    ${If} ${Errors}
    ${OrIf} $2 <> 0
        MessageBox MB_OK|MB_ICONSTOP \
            "Не удалось удалить установленную версию из $1 (код $2).$\r$\nУдалите её в «Параметры → Приложения» и запустите установку снова." \
            /SD IDOK
        SetErrorLevel ${ERROR_OLD_NOT_REMOVED}
        Quit
    ${EndIf}
    Delete "$1\${UNINSTALLER}"
    RMDir "$1"
FunctionEnd

Section "!${APP_NAME}" SecProgram
    SectionIn RO
    ; The program may have been started while the pages were shown.
    !insertmacro WAIT_UNTIL_CLOSED
    Call RemoveInstalled

    !include "${INSTALL_LIST}"

    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Ярлык на рабочем столе" SecDesktop
    SetOutPath "$INSTDIR"
    CreateShortcut "$DESKTOP\${APP_NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
SectionEnd

; The price journal: one file for every account of this computer. Users may create the
; file, read it and append to it (not delete it). It stays when the program is removed:
; it is the station's record of its prices.
Section "-Журнал цен" SecJournal
    ; With SetShellVarContext all, $APPDATA is %ProgramData%. S-1-5-32-545: Users, named
    ; by its SID in any language of Windows.
    CreateDirectory "$APPDATA\ZEMTA\Stela"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$APPDATA\ZEMTA\Stela" /grant *S-1-5-32-545:(OI)(CI)(RX,WD,AD)'
    Pop $0
    DetailPrint "Журнал цен: $APPDATA\ZEMTA\Stela (icacls: $0)"
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
    ; Run by the setup program for an upgrade, it shares the mutex the setup holds.
    !insertmacro HOLD_SETUP_MUTEX
    !insertmacro WAIT_UNTIL_CLOSED
FunctionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${APP_NAME}.lnk"
    Delete "$DESKTOP\${APP_NAME}.lnk"

    !include "${UNINSTALL_LIST}"

    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    ; The publisher's folder, when nothing else of it is installed.
    ${If} $INSTDIR == "$PROGRAMFILES64\ZEMTA\Stela"
        RMDir "$PROGRAMFILES64\ZEMTA"
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
