; Vistrel's setup program for 64-bit Windows, built by scripts/windows/installer.sh with makensis.
;
; Defines given by the build script:
;   VERSION     the product's version (from the root CMakeLists.txt)
;   BIN_DIR     the folder of the Windows files (vistrelcam.dll, vistrelsetup.exe, and EDSDK.dll for DEMO)
;   ICON        the product's icon (.ico)
;   OUT_FILE    the setup program to write
;   DEMO        (optional) carry the simulated-camera SDK instead of asking for the vendor's
;   COMPRESSOR  (optional) makensis' SetCompressor arguments; default solid LZMA
;
; Command line: /S installs silently; /SDK=FOLDER names the folder holding the vendor's 64-bit EDSDK.dll;
; /LOG=FILE appends the outcome (and why it failed) to FILE, for silent installations; /D=FOLDER (last) sets
; the installation folder. The uninstaller takes /S and /REMOVESETTINGS.

Unicode true
; The product is 64-bit only, so the setup program is too: it then sees Program Files, System32 and the
; registry as the driver does, and runs on Wine builds that have no 32-bit support.
Target amd64-unicode
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif
SetCompressor ${COMPRESSOR}

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include nsDialogs.nsh

!define PUBLISHER "Quorvane"
!define WEBSITE "https://vistrel.quorvane.com"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vistrel"
; Where the settings program and the driver keep the user's settings (QSettings' native store).
!define SETTINGS_PARENT_KEY "Software\com.quorvane.vistrel"
!define SETTINGS_KEY "${SETTINGS_PARENT_KEY}\Vistrel App"
!define SHORTCUT "Vistrel settings.lnk"
!define DEVICE "VistrelToolx64"
; Files set aside while an installed version is replaced, so that a failed registration can put it back.
!define ASIDE "$INSTDIR\previous-version"

!ifdef DEMO
  !define DISPLAY_NAME "Vistrel (demo, simulated camera)"
  Name "Vistrel ${VERSION} demo"
  Caption "Vistrel ${VERSION} demo setup (simulated camera)"
!else
  !define DISPLAY_NAME "Vistrel"
  Name "Vistrel ${VERSION}"
  Caption "Vistrel ${VERSION} setup"
!endif

OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Vistrel"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show
BrandingText "Vistrel ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${DISPLAY_NAME}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${DISPLAY_NAME} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

Var Upgrade      ; 1 when an installed version is replaced
Var WasDemo      ; 1 when that version is the demo, whose SDK is the simulated camera
Var SdkDir       ; the folder the vendor's SDK is copied from; empty: none given
Var SdkPresent   ; 1 when EDSDK.dll is beside the driver after installation
Var FinishText
Var LogFile      ; /LOG=FILE; empty: no log
Var RemoveSettings
!ifndef DEMO
  Var SdkProblem ; why SdkDir cannot be used; empty when it can
  Var SdkField
!endif
Var RemoveBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!ifdef DEMO
  !define MUI_WELCOMEPAGE_TITLE "Vistrel ${VERSION} demo setup"
  !define MUI_WELCOMEPAGE_TEXT "This installs Vistrel, which makes a USB camera a webcam that video applications \
list as $\"${DEVICE}$\", together with a simulated camera instead of the camera vendor's SDK.$\r$\n$\r$\n\
This demo is for trying Vistrel without a camera: applications show the simulated camera's moving test \
picture.$\r$\n$\r$\nClose video applications before you continue."
!else
  !define MUI_WELCOMEPAGE_TITLE "Vistrel ${VERSION} setup"
  !define MUI_WELCOMEPAGE_TEXT "This installs Vistrel, which makes a USB camera a webcam that video applications \
list as $\"${DEVICE}$\", and its settings program.$\r$\n$\r$\n\
Vistrel talks to the camera through the camera vendor's SDK (EDSDK.dll, 64-bit), which is not part of this \
setup: you will be asked for the folder that holds it.$\r$\n$\r$\nClose video applications before you continue."
!endif
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!ifndef DEMO
  Page custom SdkPage SdkPageLeave
!endif
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Vistrel is installed"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN "$INSTDIR\vistrelsetup.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Open Vistrel settings"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.OptionsPage un.OptionsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------------------------------------
; Installation

; Shows a line in the details and appends it to the /LOG file, so a silent installation tells its outcome.
!macro Report TEXT
  Push "${TEXT}"
  Call Report
!macroend

Function Report
  Exch $0
  Push $1
  DetailPrint "$0"
  ${If} $LogFile != ""
    ClearErrors
    FileOpen $1 "$LogFile" a
    ${IfNot} ${Errors}
      FileSeek $1 0 END
      FileWrite $1 "$0$\r$\n"
      FileClose $1
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Removes the line ends from the end of the string on the stack (a program's output as nsExec returns it).
!macro TrimLineEndsFunction UN
Function ${UN}TrimLineEnds
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == "$\r"
    ${OrIf} $1 == "$\n"
      StrCpy $0 $0 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro TrimLineEndsFunction ""
!insertmacro TrimLineEndsFunction "un."

; Runs one of the settings program's virtual camera commands (no window; it prints its outcome in one line)
; and leaves that line in OUT, or why the program gave none.
!macro VirtualCameraCommand UN COMMAND OUT
  nsExec::ExecToStack '"$INSTDIR\vistrelsetup.exe" ${COMMAND}'
  Pop $0 ; the exit code, or "error" when it did not start
  Call ${UN}TrimLineEnds
  Pop ${OUT}
  ${If} ${OUT} == ""
    StrCpy ${OUT} "The Windows virtual camera: vistrelsetup.exe ${COMMAND} gave no answer (it ended with $0)."
  ${EndIf}
!macroend

; Finds the command-line argument that starts with OPTION (like "/SDK=") and returns the rest of it, or "" when
; there is none. Quotes may surround the whole argument ("/SDK=C:\a b", as programs pass it) or only its value
; (/SDK="C:\a b", as typed); FileFunc's GetOptions understands only the second.
!macro GetArgument OPTION OUT
  Push "${OPTION}"
  Call GetArgument
  Pop ${OUT}
!macroend

Function GetArgument
  Exch $R0 ; the option
  Push $R1 ; the command line
  Push $R2 ; position in it
  Push $R3 ; the character there
  Push $R4 ; the argument so far, without quotes
  Push $R5 ; 1 inside quotes
  Push $R6 ; the option's length
  Push $R7 ; the result
  Push $R8 ; 1 where an argument ends
  Push $R9
  ${GetParameters} $R1
  StrLen $R6 $R0
  StrCpy $R2 0
  StrCpy $R4 ""
  StrCpy $R5 0
  StrCpy $R7 ""
  ${Do}
    StrCpy $R3 $R1 1 $R2
    IntOp $R2 $R2 + 1
    StrCpy $R8 0
    ${If} $R3 == ""
      StrCpy $R8 1
    ${ElseIf} $R3 == "$\""
      IntOp $R5 1 - $R5
    ${ElseIf} $R3 == " "
    ${AndIf} $R5 == 0
      StrCpy $R8 1
    ${Else}
      StrCpy $R4 "$R4$R3"
    ${EndIf}
    ${If} $R8 == 1
      StrCpy $R9 $R4 $R6
      ${If} $R9 == $R0
      ${AndIf} $R7 == ""
        StrCpy $R7 $R4 "" $R6
      ${EndIf}
      StrCpy $R4 ""
      ${If} $R3 == ""
        ${Break}
      ${EndIf}
    ${EndIf}
  ${Loop}
  StrCpy $R0 $R7
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Vistrel needs 64-bit Windows." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  SetRegView 64
  StrCpy $Upgrade 0
  StrCpy $WasDemo 0
  ; An installed version is replaced where it is, so there is never a second copy registered elsewhere.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\vistrelcam.dll"
    StrCpy $INSTDIR $0
    StrCpy $Upgrade 1
    ReadRegDWORD $WasDemo HKLM "${UNINSTALL_KEY}" "Demo"
  ${EndIf}

  !insertmacro GetArgument "/SDK=" $SdkDir
  !insertmacro GetArgument "/LOG=" $LogFile
!ifndef DEMO
  ; An administrator who names a folder wants that SDK: a wrong folder fails before anything changes.
  ${If} ${Silent}
  ${AndIf} $SdkDir != ""
    Call CheckSdk
    ${If} $SdkProblem != ""
      !insertmacro Report "Not installed: $SdkProblem"
      MessageBox MB_OK|MB_ICONSTOP "$SdkProblem" /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}
!endif
FunctionEnd

Function SkipOnUpgrade
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
FunctionEnd

!ifndef DEMO
; Sets SdkProblem to why "$SdkDir\EDSDK.dll" cannot be used, or to "" when it is a 64-bit Windows library.
Function CheckSdk
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $SdkProblem ""
  ${IfNot} ${FileExists} "$SdkDir\EDSDK.dll"
    StrCpy $SdkProblem "The folder $SdkDir holds no EDSDK.dll."
    Goto done
  ${EndIf}
  ClearErrors
  FileOpen $0 "$SdkDir\EDSDK.dll" r
  ${If} ${Errors}
    StrCpy $SdkProblem "$SdkDir\EDSDK.dll cannot be read."
    Goto done
  ${EndIf}
  ; The PE header's offset is at 0x3C; the header starts with "PE\0\0" followed by the machine type.
  FileSeek $0 0x3C SET
  FileReadByte $0 $1
  FileReadByte $0 $2
  IntOp $2 $2 << 8
  IntOp $1 $1 | $2
  FileReadByte $0 $2
  IntOp $2 $2 << 16
  IntOp $1 $1 | $2
  FileSeek $0 $1 SET
  FileReadByte $0 $1
  FileReadByte $0 $2
  FileReadByte $0 $3
  ${If} $1 <> 80   ; 'P'
  ${OrIf} $2 <> 69 ; 'E'
  ${OrIf} $3 <> 0
    StrCpy $SdkProblem "$SdkDir\EDSDK.dll is not a Windows library."
    FileClose $0
    Goto done
  ${EndIf}
  FileReadByte $0 $1
  FileReadByte $0 $1
  FileReadByte $0 $2
  FileClose $0
  IntOp $2 $2 << 8
  IntOp $1 $1 | $2
  ${If} $1 <> 0x8664
    StrCpy $SdkProblem "$SdkDir\EDSDK.dll is not the 64-bit library: Vistrel needs the one from the SDK's \
64-bit folder."
  ${EndIf}
done:
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function SdkPage
  !insertmacro MUI_HEADER_TEXT "Camera SDK" "Where is the camera vendor's SDK?"
  nsDialogs::Create 1018
  Pop $0
  ${If} $Upgrade == 1
  ${AndIf} $WasDemo != 1
  ${AndIf} ${FileExists} "$INSTDIR\EDSDK.dll"
    StrCpy $1 "Leave the field empty to keep the SDK library installed now."
  ${Else}
    StrCpy $1 "Leave the field empty to install without it; video applications then show Vistrel's \
placeholder picture until you copy it in."
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 56u "Vistrel needs the camera vendor's SDK library, EDSDK.dll, in its 64-bit form \
(and EdsImage.dll beside it, when the SDK has one). We may not distribute it: choose the folder where you \
unpacked it, and setup copies it beside the driver.$\r$\n$\r$\n$1"
  Pop $0
  ${NSD_CreateDirRequest} 0 64u 250u 13u "$SdkDir"
  Pop $SdkField
  ${NSD_CreateBrowseButton} 255u 63u 45u 15u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 SdkBrowse
  nsDialogs::Show
FunctionEnd

Function SdkBrowse
  ${NSD_GetText} $SdkField $0
  nsDialogs::SelectFolderDialog "Folder of the 64-bit EDSDK.dll" "$0"
  Pop $0
  ${If} $0 != error
    ${NSD_SetText} $SdkField "$0"
  ${EndIf}
FunctionEnd

Function SdkPageLeave
  ${NSD_GetText} $SdkField $SdkDir
  ${If} $SdkDir != ""
    Call CheckSdk
    ${If} $SdkProblem != ""
      MessageBox MB_OK|MB_ICONEXCLAMATION "$SdkProblem$\r$\n$\r$\nChoose another folder, or leave the field empty."
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd
!endif

; Moves one installed file aside (a file in use can be renamed, not overwritten).
!macro SetAside NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    Rename "$INSTDIR\${NAME}" "${ASIDE}\${NAME}"
  ${EndIf}
!macroend

!macro PutBack NAME
  ${If} ${FileExists} "${ASIDE}\${NAME}"
    Delete "$INSTDIR\${NAME}"
    Rename "${ASIDE}\${NAME}" "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

; Keeps the set-aside copy of a vendor SDK file when no new one was given.
!macro KeepSdkFile NAME
  ${IfNot} ${FileExists} "$INSTDIR\${NAME}"
  ${AndIf} ${FileExists} "${ASIDE}\${NAME}"
    CopyFiles /SILENT "${ASIDE}\${NAME}" "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

Function Rollback
  DetailPrint "Undoing the installation"
  ; A process's current folder cannot be removed.
  SetOutPath "$TEMP"
  Delete "$INSTDIR\vistrelcam.dll"
  Delete "$INSTDIR\vistrelsetup.exe"
  Delete "$INSTDIR\vistrel.ico"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$INSTDIR\EDSDK.dll"
  Delete "$INSTDIR\EdsImage.dll"
  ${If} $Upgrade == 1
    !insertmacro PutBack vistrelcam.dll
    !insertmacro PutBack vistrelsetup.exe
    !insertmacro PutBack vistrel.ico
    !insertmacro PutBack uninstall.exe
    !insertmacro PutBack EDSDK.dll
    !insertmacro PutBack EdsImage.dll
    RMDir "${ASIDE}"
    DetailPrint "Registering the previous version again"
    ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\vistrelcam.dll"' $1
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}
FunctionEnd

Section "Vistrel" SecMain
  SectionIn RO
  SetRegView 64
  SetShellVarContext all
  CreateDirectory "$INSTDIR"
!ifndef DEMO
  ; The installed SDK named as the one to copy: it stays as it is.
  ${If} $SdkDir == $INSTDIR
  ${OrIf} $SdkDir == "$INSTDIR\"
    StrCpy $SdkDir ""
  ${EndIf}
!endif
  ${If} $Upgrade == 1
    DetailPrint "Setting the installed version aside"
    RMDir /r "${ASIDE}"
    CreateDirectory "${ASIDE}"
    !insertmacro SetAside vistrelcam.dll
    !insertmacro SetAside vistrelsetup.exe
    !insertmacro SetAside vistrel.ico
    !insertmacro SetAside uninstall.exe
    !insertmacro SetAside EDSDK.dll
    !insertmacro SetAside EdsImage.dll
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}\vistrelcam.dll"
  File "${BIN_DIR}\vistrelsetup.exe"
  File "/oname=vistrel.ico" "${ICON}"
!ifdef DEMO
  File "${BIN_DIR}\EDSDK.dll"
!else
  ${If} $SdkDir != ""
    DetailPrint "Copying the camera SDK from $SdkDir"
    CopyFiles /SILENT "$SdkDir\EDSDK.dll" "$INSTDIR"
    ${If} ${FileExists} "$SdkDir\EdsImage.dll"
      CopyFiles /SILENT "$SdkDir\EdsImage.dll" "$INSTDIR"
    ${EndIf}
  ${ElseIf} $Upgrade == 1
  ${AndIf} $WasDemo != 1
    !insertmacro KeepSdkFile EDSDK.dll
    !insertmacro KeepSdkFile EdsImage.dll
  ${EndIf}
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The driver registers itself (COM class and DirectShow video-input category) with the 64-bit regsvr32.
  DetailPrint "Registering the virtual camera"
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\vistrelcam.dll"' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "Registration failed (regsvr32: $0)"
    Call Rollback
    !insertmacro Report "Not installed: the virtual camera could not be registered (regsvr32 ended with $0)."
    MessageBox MB_OK|MB_ICONSTOP "The virtual camera could not be registered (regsvr32 ended with $0), so \
Vistrel was not installed and nothing was changed.$\r$\n$\r$\nThe file vistrelcam.dll of this setup may be \
damaged: download the setup again." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
  ${If} $Upgrade == 1
    RMDir /r /REBOOTOK "${ASIDE}"
  ${EndIf}

  ; Windows 11 also lists the camera for applications that find cameras through Media Foundation only. Other
  ; systems cannot, and the DirectShow camera registered above is complete without it: whatever the outcome,
  ; it is reported and the installation goes on.
  DetailPrint "Adding the Windows virtual camera"
  !insertmacro VirtualCameraCommand "" "--add-virtual-camera" $1
  !insertmacro Report "$1"

  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\vistrelsetup.exe" "" "$INSTDIR\vistrel.ico" 0 \
    SW_SHOWNORMAL "" "Vistrel's settings: camera, picture size and rate"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vistrel.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
!ifdef DEMO
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Demo" 1
!else
  DeleteRegValue HKLM "${UNINSTALL_KEY}" "Demo"
!endif
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1

  ${If} ${FileExists} "$INSTDIR\EDSDK.dll"
    StrCpy $SdkPresent 1
  ${Else}
    StrCpy $SdkPresent 0
  ${EndIf}
!ifdef DEMO
  StrCpy $FinishText "Vistrel is installed with the simulated camera. Video applications list the camera \
as $\"${DEVICE}$\" and show the simulated camera's test picture.$\r$\n$\r$\nThe settings program is in the \
Start menu as $\"Vistrel settings$\"."
!else
  ${If} $SdkPresent == 1
    StrCpy $FinishText "Vistrel is installed. Connect the camera by USB, switch it on, and choose \
$\"${DEVICE}$\" as the camera in your video application.$\r$\n$\r$\nThe settings program is in the Start menu \
as $\"Vistrel settings$\"."
  ${Else}
    StrCpy $FinishText "The camera vendor's SDK is missing: until its 64-bit EDSDK.dll is beside the \
driver, video applications show Vistrel's placeholder picture and the settings program finds no camera.$\r$\n\
$\r$\nCopy EDSDK.dll and EdsImage.dll from the SDK's 64-bit folder into $INSTDIR, or run this setup again."
    !insertmacro Report "The camera SDK is missing: copy the 64-bit EDSDK.dll into $INSTDIR"
  ${EndIf}
!endif
  !insertmacro Report "Installed ${DISPLAY_NAME} ${VERSION} into $INSTDIR"
SectionEnd

; ---------------------------------------------------------------------------------------------------------
; Uninstallation

Function un.onInit
  SetRegView 64
  StrCpy $RemoveSettings 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveSettings 1
  ${EndIf}
FunctionEnd

Function un.OptionsPage
  !insertmacro MUI_HEADER_TEXT "Your settings" "Keep or remove your Vistrel settings"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Your settings (the camera chosen, picture size, rate and the like) stay, so \
that a later installation starts with them."
  Pop $0
  ${NSD_CreateCheckbox} 0 44u 100% 12u "&Remove my settings too"
  Pop $RemoveBox
  ${If} $RemoveSettings == 1
    ${NSD_Check} $RemoveBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.OptionsPageLeave
  ${NSD_GetState} $RemoveBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $RemoveSettings 1
  ${Else}
    StrCpy $RemoveSettings 0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ; The Windows virtual camera first, while the media source it names is still registered.
  ${If} ${FileExists} "$INSTDIR\vistrelsetup.exe"
    DetailPrint "Removing the Windows virtual camera"
    !insertmacro VirtualCameraCommand "un." "--remove-virtual-camera" $1
    DetailPrint "$1"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\vistrelcam.dll"
    DetailPrint "Removing the virtual camera's registration"
    ClearErrors
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\vistrelcam.dll"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      DetailPrint "regsvr32 could not unregister the driver ($0); removing its files anyway"
    ${EndIf}
  ${EndIf}
  ; A video application still holding the driver keeps its file until the next restart.
  Delete /REBOOTOK "$INSTDIR\vistrelcam.dll"
  Delete /REBOOTOK "$INSTDIR\EDSDK.dll"
  Delete /REBOOTOK "$INSTDIR\EdsImage.dll"
  Delete "$INSTDIR\vistrelsetup.exe"
  Delete "$INSTDIR\vistrel.ico"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /r "${ASIDE}"
  RMDir /REBOOTOK "$INSTDIR"
  Delete "$SMPROGRAMS\${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $RemoveSettings == 1
    DetailPrint "Removing your settings"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT_KEY}"
  ${EndIf}
SectionEnd
