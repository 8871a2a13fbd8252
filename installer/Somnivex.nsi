; Somnivex setup: one installer per architecture, built with makensis (Linux or Windows).
;
;   makensis -DARCH=x64 -DVERSION=1.0.0 -DBINDIR="$PWD/build/release-x64/bin" \
;            [-DOUTFILE="$PWD/dist/Somnivex-1.0.0-x64-setup.exe"] installer/Somnivex.nsi
;
; ARCH x64 builds a 64-bit installer (it runs only on 64-bit Windows, as the programs
; do), so that $SYSDIR, $PROGRAMFILES64 and the uninstall entry are the native ones;
; ARCH x86 builds a 32-bit installer for the 32-bit programs. BINDIR is the build's bin
; folder (Somnivex.scr, Somniconf.exe, Somnivex.html, graphics\); the Group Policy
; templates come from the source tree's policies folder.
;
; Command line of the installer: /S silent, /D=folder the install folder (last, unquoted),
; /ACTIVATE also makes Somnivex the current screen saver of the account that runs Setup.
; Setup runs elevated, so that is the administrator's account (SYSTEM for a deployment
; tool), which is not always the user's: users make it theirs in Somnivex Manager, with
; their own rights, and fleets use Windows' "Force specific screen saver" policy. There
; is no page for it, only the switch for silent installs.
;
; The install folder must lie below Program Files (either one), whose rights let only
; administrators change what is in it: Windows runs the screen saver in every user's
; session, the screen saver starts the manager from there, and the manager starts itself
; with administrator rights to save, so a folder that standard users could write to would
; let any of them replace the programs. The folder page refuses any other folder, and a
; silent run with /D= elsewhere ends with an error before anything is installed. (Checked, rather than granting rights with icacls or an
; ACL plug-in: stock makensis needs nothing more, and nothing depends on an external tool.)
; The uninstaller: /S silent; a silent uninstall always keeps the settings.

!ifndef ARCH | VERSION | BINDIR
    !error "define ARCH (x64 or x86), VERSION (as in the VERSION file) and BINDIR"
!endif
!if "${ARCH}" != "x64"
!if "${ARCH}" != "x86"
    !error "ARCH must be x64 or x86, not '${ARCH}'"
!endif
!endif
!searchparse /noerrors "${VERSION}" "" VERSION_MAJOR "." VERSION_MINOR "." VERSION_PATCH
!ifndef VERSION_PATCH
    !error "VERSION must read MAJOR.MINOR.PATCH, not '${VERSION}'"
!endif

; makensis works in the script's folder: the source tree is its parent. Give BINDIR and
; OUTFILE as absolute paths (or relative to this folder).
!define /ifndef SRCDIR ".."
!define /ifndef OUTFILE "Somnivex-${VERSION}-${ARCH}-setup.exe"

!if "${ARCH}" == "x64"
    Target amd64-unicode
!else
    Target x86-unicode
!endif
Unicode true
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define PRODUCT "Somnivex"
!define COMPANY "Brellcor"
!define MANAGER_NAME "Somnivex Manager"
; The programs keep their settings here, in the 32-bit view of the registry, whichever
; build runs.
!define SETTINGS_KEY "Software\Brellcor\Somnivex"
!define COMPANY_KEY "Software\Brellcor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Somnivex"
!define DESKTOP_KEY "Control Panel\Desktop"
; The event source both programs write their events under, in the Application log.
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${MANAGER_NAME}.lnk"
; The upgrade code of the Windows Installer packages (Somnivex.wxs beside this script).
!define PACKAGE_UPGRADE_CODE "{6C0E6F52-35A4-4E0B-9A8E-2D3B5F1C7A90}"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUTFILE}"
BrandingText "${COMPANY} ${PRODUCT} ${VERSION} (${ARCH})"
!if "${ARCH}" == "x64"
    InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
    InstallDir "$PROGRAMFILES32\${PRODUCT}"
!endif
; An earlier installation is updated where it is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.0"
VIFileVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "© 2026 ${COMPANY}. All rights reserved."
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup (${ARCH})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include WinMessages.nsh

; ---------------------------------------------------------------------------- pages

!define MUI_ICON "${SRCDIR}/resources/graphics/Somnivex.ico"
!define MUI_UNICON "${SRCDIR}/resources/graphics/Somnivex.ico"
!define MUI_ABORTWARNING
; Drawn by welcome.sh beside this script.
!define MUI_WELCOMEFINISHPAGE_BITMAP "welcome.bmp"

!define MUI_WELCOMEPAGE_TITLE "Welcome to ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} is a screen saver that shuts the computer down when \
    nobody comes back to it. It runs the screen saver you choose in its place and, when that \
    has been running for the minutes you set, shows a 60-second countdown and then shuts \
    down, restarts or logs off.$\r$\n$\r$\nSetup installs ${PRODUCT} and ${MANAGER_NAME}, \
    where you choose the screen saver and the minutes.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${SRCDIR}/LICENSE.txt"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs ${PRODUCT} in a folder of Program Files, \
    where only administrators can change the programs. To install in another folder of \
    Program Files, click Browse and select it."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "Open ${MANAGER_NAME} from the Start menu to choose the screen \
    saver ${PRODUCT} shows and how long it waits, and to make ${PRODUCT} your screen saver \
    (or pick it in Windows' screen saver settings).$\r$\n$\r$\nClick Finish to close Setup."
; No "open it now" choice: Setup runs elevated, and what it starts would run elevated too,
; for a standard user even as the administrator who typed the password. Starting it at
; the user's own level takes the desktop shell's COM objects, out of reach of a plain
; NSIS script; the Start menu starts it at the user's level.
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------- helpers

; The system folder's Somnivex.scr, as the screen-saver setting names it. A 32-bit
; build on 64-bit Windows lives in SysWOW64, which is where the setting must point.
Var SystemScr

!macro SetSystemScr
    StrCpy $SystemScr "$SYSDIR\${PRODUCT}.scr"
    !if "${ARCH}" == "x86"
        ${If} ${RunningX64}
            StrCpy $SystemScr "$WINDIR\SysWOW64\${PRODUCT}.scr"
        ${EndIf}
    !endif
!macroend

; The x64 installer is a 64-bit program and sees the real System32 anyway; turning the
; redirection off keeps that true should it ever be built as a 32-bit program.
!macro SystemFolderBegin
    !if "${ARCH}" == "x64"
        ${DisableX64FSRedirection}
    !endif
!macroend
!macro SystemFolderEnd
    !if "${ARCH}" == "x64"
        ${EnableX64FSRedirection}
    !endif
!macroend

; The uninstall entry lives in the installer's native view.
!macro UninstallView
    !if "${ARCH}" == "x64"
        SetRegView 64
    !else
        SetRegView 32
    !endif
!macroend

; Files in use cannot be replaced: the manager's window must be closed first. Closing it
; for the user would throw away what they changed, so they are asked; a silent run gives up.
!macro WaitForManagerClosed
    ${Do}
        FindWindow $0 "SomnivexForm" "Somnivex - Settings"
        ${If} $0 = 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${MANAGER_NAME} is open. Close it \
            (with OK to keep your changes), then click Retry." /SD IDCANCEL IDRETRY +2
        Abort
    ${Loop}
!macroend

; FullPath VAR PATH: PATH made absolute, with ".." and "." resolved, whether or not it
; exists (GetFullPathName of NSIS itself wants the folder to exist).
!macro FullPath VAR PATH
    System::Call 'kernel32::GetFullPathNameW(w "${PATH}", i ${NSIS_MAX_STRLEN}, w .s, p 0) i .r0'
    Pop ${VAR}
!macroend

; InstallFolderBelow BASE: sets $R0 to 1 when the full path in $R1 (of length $R4) lies
; below the folder BASE.
!macro InstallFolderBelow BASE
    !insertmacro FullPath $R2 "${BASE}"
    ${If} $R2 != ""
        StrCpy $R2 "$R2\"
        StrLen $R3 $R2
        ${If} $R4 > $R3
            StrCpy $R3 $R1 $R3
            ${If} $R3 == $R2
                StrCpy $R0 1
            ${EndIf}
        ${EndIf}
    ${EndIf}
!macroend

; Sets $R0 to 1 when the install folder lies below a Program Files folder, else to 0. The
; full paths are compared, so "..\" cannot lead out of it.
Function InstallFolderIsProtected
    Push $0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    StrCpy $R0 0
    !insertmacro FullPath $R1 "$INSTDIR"
    StrLen $R4 $R1
    !insertmacro InstallFolderBelow "$PROGRAMFILES64"
    !insertmacro InstallFolderBelow "$PROGRAMFILES32"
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $0
FunctionEnd

; The Next button of the folder page stays off for any other folder.
Function .onVerifyInstDir
    Call InstallFolderIsProtected
    ${If} $R0 != 1
        Abort
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------- sections

Section "${PRODUCT} (required)" SecProgram
    SectionIn RO
    SetShellVarContext all

    ; Also for /D= of a silent run, which no folder page checks.
    Call InstallFolderIsProtected
    ${If} $R0 != 1
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} cannot be installed in $INSTDIR: standard \
            users could change the programs there. Choose a folder in Program Files." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}

    SetOutPath "$INSTDIR"
    File "${BINDIR}/Somniconf.exe"
    ; A copy beside the manager as well: "Somnivex.scr /c" works from here.
    File "${BINDIR}/Somnivex.scr"
    File "${BINDIR}/Somnivex.html"
    File "${SRCDIR}/LICENSE.txt"
    SetOutPath "$INSTDIR\graphics"
    File "${BINDIR}/graphics/SomnivexLgeTxt.GIF"
    File "${BINDIR}/graphics/Brellcor.gif"
    ; The Group Policy templates, for administrators to copy into their PolicyDefinitions.
    SetOutPath "$INSTDIR\policies"
    File "${SRCDIR}/policies/Somnivex.admx"
    SetOutPath "$INSTDIR\policies\en-US"
    File "${SRCDIR}/policies/en-US/Somnivex.adml"

    ; Windows lists the screen savers of the system folder.
    !insertmacro SystemFolderBegin
    SetOutPath "$SYSDIR"
    File "${BINDIR}/Somnivex.scr"
    !insertmacro SystemFolderEnd

    ; The event source: Event Viewer takes the texts of the events from the message table
    ; of the system folder's copy, the one that stays where it is while Somnivex is
    ; installed. Events of type error (1), warning (2) and information (4).
    DetailPrint "Registering the event source ${PRODUCT}"
    WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$SystemScr"
    WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7

    ; Settings: where the programs are, unless they are recorded already. An update keeps
    ; everything the user chose; only a folder that no longer holds the manager (or was
    ; never filled in) is replaced, as "Somnivex.scr /c" could not start it from there.
    SetRegView 32
    ClearErrors
    ReadRegStr $0 HKLM "${SETTINGS_KEY}" "AppPath"
    ${If} $0 == ""
    ${OrIfNot} ${FileExists} "$0\Somniconf.exe"
        DetailPrint "Recording the program folder in the settings"
        WriteRegStr HKLM "${SETTINGS_KEY}" "AppPath" "$INSTDIR"
        ClearErrors
        ReadRegStr $1 HKLM "${SETTINGS_KEY}" "LogDir"
        ${If} ${Errors}
        ${OrIf} $1 == ""
        ${OrIf} $1 == "$0\Error.log"
            WriteRegStr HKLM "${SETTINGS_KEY}" "LogDir" "$INSTDIR\Error.log"
        ${EndIf}
    ${Else}
        DetailPrint "Keeping the settings (program folder $0)"
    ${EndIf}

    SetOutPath "$INSTDIR"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\Somniconf.exe" "" "$INSTDIR\Somniconf.exe" 0 \
        SW_SHOWNORMAL "" "Choose the screen saver Somnivex shows and when it shuts down"

    WriteUninstaller "$INSTDIR\Uninstall.exe"
    !insertmacro UninstallView
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Somniconf.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\Somnivex.html"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The program folder and the copy in the system folder, in KB.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    ${GetSize} "$INSTDIR" "/M=${PRODUCT}.scr /S=0K /G=0" $3 $1 $2
    IntOp $0 $0 + $3
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Hidden: no page offers it; selected by /ACTIVATE only.
Section /o "-Make ${PRODUCT} the current screen saver" SecActivate
    ; Screen-saver choice is a per-user setting: this is the account that runs Setup.
    DetailPrint "Making ${PRODUCT} the screen saver of this user ($SystemScr)"
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SystemScr"
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
    ; SPI_SETSCREENSAVEACTIVE, stored and announced, so the change holds without a log off.
    System::Call "user32::SystemParametersInfoW(i 17, i 1, p 0, i 3)"
SectionEnd

; The Windows Installer package manages the same files under an entry of its own, and
; removing either installation would take the files from the other: one per computer.
!macro RefuseOverPackage
    System::Call 'msi::MsiEnumRelatedProductsW(w "${PACKAGE_UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
    ${If} $0 = 0
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is installed on this computer from its Windows \
            Installer package. Update it with a newer package, or remove it in Apps before \
            running Setup." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
!macroend

Function .onInit
    !insertmacro SetSystemScr
    !insertmacro RefuseOverPackage
    !insertmacro WaitForManagerClosed
    !if "${ARCH}" == "x86"
        ${If} ${RunningX64}
            MessageBox MB_YESNO|MB_ICONINFORMATION "This is the 32-bit edition of ${PRODUCT}. \
                On 64-bit Windows, the screen saver settings only list the 64-bit edition \
                (Somnivex-${VERSION}-x64-setup.exe).$\r$\n$\r$\nInstall the 32-bit edition \
                anyway?" /SD IDYES IDYES +2
            Abort
        ${EndIf}
    !endif
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ACTIVATE" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecActivate}
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------- uninstall

; DeleteKeyIfOnlyDefault KEY VALUE READ OP DATA: deletes KEY (32-bit view) when it holds
; nothing but VALUE, read with READ and equal (OP) to DATA, the default that reading the
; settings writes back. Keys of the company's other products stay as soon as they hold
; anything of their own.
!macro DeleteKeyIfOnlyDefault KEY VALUE READ OP DATA
    ClearErrors
    EnumRegKey $1 HKLM "${KEY}" 0
    EnumRegValue $2 HKLM "${KEY}" 1
    ${If} $1 == ""
    ${AndIf} $2 == ""
        EnumRegValue $2 HKLM "${KEY}" 0
        ${READ} $3 HKLM "${KEY}" "${VALUE}"
        ${If} $2 == "${VALUE}"
        ${AndIf} $3 ${OP} "${DATA}"
            DeleteRegKey HKLM "${KEY}"
        ${EndIf}
    ${EndIf}
!macroend

Function un.onInit
    !insertmacro SetSystemScr
    !insertmacro WaitForManagerClosed
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    ; The uninstalling user's screen saver, when it is still one of these copies (by its
    ; full or short path; compared before the files go, as a short path needs the file).
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    StrCpy $4 0
    ${If} $0 != ""
        !insertmacro SystemFolderBegin
        GetFullPathName /SHORT $1 "$0"
        GetFullPathName /SHORT $2 "$SystemScr"
        GetFullPathName /SHORT $3 "$INSTDIR\${PRODUCT}.scr"
        !insertmacro SystemFolderEnd
        ${If} $0 == $SystemScr
        ${OrIf} $0 == "$INSTDIR\${PRODUCT}.scr"
            StrCpy $4 1
        ${ElseIf} $1 != ""
            ${If} $1 == $2
            ${OrIf} $1 == $3
                StrCpy $4 1
            ${EndIf}
        ${EndIf}
    ${EndIf}
    ${If} $4 = 1
        DetailPrint "Removing ${PRODUCT} from this user's screen saver setting"
        DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}

    Delete "${SHORTCUT}"

    Delete "$INSTDIR\Somniconf.exe"
    Delete "$INSTDIR\Somnivex.scr"
    Delete "$INSTDIR\Somnivex.html"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Error.log"
    Delete "$INSTDIR\graphics\SomnivexLgeTxt.GIF"
    Delete "$INSTDIR\graphics\Brellcor.gif"
    RMDir "$INSTDIR\graphics"
    Delete "$INSTDIR\policies\en-US\Somnivex.adml"
    RMDir "$INSTDIR\policies\en-US"
    Delete "$INSTDIR\policies\Somnivex.admx"
    RMDir "$INSTDIR\policies"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    !insertmacro SystemFolderBegin
    Delete "$SYSDIR\${PRODUCT}.scr"
    !insertmacro SystemFolderEnd

    ; Without its message file the source would only show "description not found"; the
    ; events already written stay in the log.
    DeleteRegKey HKLM "${EVENTLOG_KEY}"

    !insertmacro UninstallView
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; The settings stay for a later installation unless the user asks otherwise; a silent
    ; uninstall never asks and keeps them.
    ${IfNot} ${Silent}
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove the ${PRODUCT} settings as \
            well (the chosen screen saver, the minutes and the kind of shutdown)?$\r$\n$\r$\n\
            Choose No to keep them for a later installation." /SD IDNO IDNO keep
        SetRegView 32
        DetailPrint "Removing the settings"
        DeleteRegKey HKLM "${SETTINGS_KEY}"
        ; Reading the settings also leaves the defaults of these shared keys behind.
        !insertmacro DeleteKeyIfOnlyDefault "${COMPANY_KEY}\Window Handles" "ShutdownHwnd" \
            ReadRegDWORD = -1
        !insertmacro DeleteKeyIfOnlyDefault "${COMPANY_KEY}\Pemrose\Kelvane" "AppPath" \
            ReadRegStr == ""
        DeleteRegKey /ifempty HKLM "${COMPANY_KEY}\Pemrose"
        !insertmacro DeleteKeyIfOnlyDefault "${COMPANY_KEY}\Kelvane\Kelvane" "AppPath" \
            ReadRegStr == ""
        DeleteRegKey /ifempty HKLM "${COMPANY_KEY}\Kelvane"
        DeleteRegKey /ifempty HKLM "${COMPANY_KEY}"
      keep:
    ${EndIf}
SectionEnd
