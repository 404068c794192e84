; SPDX-License-Identifier: GPL-3.0-or-later
; Quorvel's Windows installer, made by packaging/windows/make-packages with
; NSIS 3:  makensis -DVERSION=1.0.0 -DSTAGE=<folder> -DOUTFILE=<setup.exe> quorvel.nsi
; STAGE holds the program's files and files.nsh, the list the uninstaller
; removes: exactly what was installed, nothing of the user's.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define APP Quorvel
!define PUBLISHER "Quorvel developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
; Windows runs a machine's Active Setup commands once for each user at
; logon: the per-user working folder of a per-machine install.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\Quorvel"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"

; Per machine under Program Files with the administrator's consent, or per
; user under %LOCALAPPDATA%\Programs: the choice is offered on a page of its
; own, and on the command line as /AllUsers or /CurrentUser.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "Software\${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallFolder"
!include MultiUser.nsh
!include MUI2.nsh

!define MUI_ICON "${STAGE}\quorvel.ico"
!define MUI_UNICON "${STAGE}\quorvel.ico"
!define MUI_ABORTWARNING

; The folder the Start menu entry starts the program in: each user's own,
; with bin\ for the tools and output\ for the results.
!define WORK_FOLDER "%USERPROFILE%\Videos\${APP}"

!define MUI_WELCOMEPAGE_TEXT "This installs ${APP} ${VERSION}, which converts videos into AVI files for small-screen players.$\r$\n$\r$\n${APP} needs ffmpeg.exe (and mencoder.exe for the two-step conversion); this installer does not include them. The last page says where they go."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${APP} is installed"
!define MUI_FINISHPAGE_TEXT "Start ${APP} from the Start menu. It works in your folder Videos\${APP}.$\r$\n$\r$\nPut ffmpeg.exe and mencoder.exe in Videos\${APP}\bin. $\"One pass$\" (in Setting) needs only ffmpeg.exe. The results go to Videos\${APP}\output."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE English

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Quorvel"
    SetOutPath "$INSTDIR"
    !include "${STAGE}\files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The installing user's working folder now; every other user's at their
    ; next logon, when the install is per machine.
    CreateDirectory "$PROFILE\Videos\${APP}\bin"
    CreateDirectory "$PROFILE\Videos\${APP}\output"
    ${If} $MultiUser.InstallMode == AllUsers
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "${APP}"
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "1"
        WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" '"$SYSDIR\cmd.exe" /d /c mkdir "${WORK_FOLDER}\bin" "${WORK_FOLDER}\output" 2>nul'
    ${EndIf}
    ; A shortcut starts in $OUTDIR.
    StrCpy $OUTDIR "${WORK_FOLDER}"
    CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\Quorvel.exe" "" "$INSTDIR\Quorvel.exe" 0 SW_SHOWNORMAL "" "${APP} video converter"
    SetOutPath "$INSTDIR"

    ; Apps & features.
    WriteRegStr SHCTX "Software\${APP}" "InstallFolder" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quorvel.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes what the installer put in place; the working folder with the
; user's tools and results, and the settings, stay.
Section "Uninstall"
    !include "${STAGE}\unfiles.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${If} $MultiUser.InstallMode == AllUsers
        DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    ${EndIf}
    DeleteRegValue SHCTX "Software\${APP}" "InstallFolder"
    DeleteRegKey /ifempty SHCTX "Software\${APP}"
SectionEnd
