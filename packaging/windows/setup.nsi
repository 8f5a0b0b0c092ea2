; Installer of Orvanta for Windows, made by scripts/release-windows.sh:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=V -DSTAGE=DIR -DHELPER=setupfiles.exe -DOUTFILE=F setup.nsi
;
;   Orvanta_setup.exe [/silent | /verysilent] [/DIR=FOLDER]
;
; The folder: the one given; else the folder of the registered installation; else, when this
; installer lies in the "UpdateCache" of an Orvanta folder (the updater put it there), that
; folder; else "Program Files\Orvanta". "/silent" (or "/verysilent") shows nothing; without it
; the folder page and the progress are shown (started from UpdateCache, only the progress).
;
; The release is unpacked into a sibling of the folder, the user's data of an earlier release
; is linked into it, and the two are swapped with renames: a failed install leaves the earlier
; release as it was (where a running program keeps the folder from being renamed, the files
; are replaced one by one). User data is every file the earlier release did not install
; (user\user.cfg, logs, caches, downloads) and every settings file it installed
; (*.ini, *.cfg, *.config) that has changed since. Exit codes: 0 installed, 1 failed,
; 2 cancelled by the user. What failed is appended to %TEMP%\Orvanta_setup.log.
;
; unins000.exe, written beside the programs, removes the files the installer put there (the
; user's data stays) and the uninstall entry when it names its folder. Installer and
; uninstaller take one machine-wide mutex, so an update that starts the new installer while
; the old release's uninstaller still runs waits for it.

Unicode true
; The installer's name is given (the updater fetches "Orvanta_setup.exe").
!pragma warning disable 9000
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
SetDatablockOptimize on
AllowSkipFiles off
XPStyle on

!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh

!define KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1"
!define DISPLAY_NAME "奥凡云平台"
!define PUBLISHER "Orvanta"
!define MARK ".orvanta"
!define MUTEX "Global\OrvantaSetup"

Name "${DISPLAY_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Orvanta"
ShowInstDetails show
BrandingText "${PUBLISHER} ${VERSION}"
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${DISPLAY_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${DISPLAY_NAME} Setup"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Page directory SkipWhenUpdating
Page instfiles
UninstPage instfiles

Var Parent
Var Base
Var Stage
Var Old
Var Swapped
Var Updating

!macro Log TEXT
  Push $9
  FileOpen $9 "$TEMP\Orvanta_setup.log" a
  ${If} $9 != ""
    FileSeek $9 0 END
    FileWriteUTF16LE $9 "${TEXT}$\r$\n"
    FileClose $9
  ${EndIf}
  Pop $9
!macroend

; Takes the installer's mutex, waiting up to two minutes for another installer or uninstaller.
!macro TakeMutex
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${MUTEX}") p .r0'
  ${If} $0 != 0
    ; WAIT_OBJECT_0 or WAIT_ABANDONED: ours now
    System::Call 'kernel32::WaitForSingleObject(p r0, i 120000) i .r1'
    ${If} $1 = 258
      !insertmacro Log "another installer of Orvanta is still running"
      SetErrorLevel 1
      Quit
    ${EndIf}
  ${EndIf}
!macroend

; The folder with no trailing backslash.
!macro TrimFolder VAR
  ${Do}
    StrCpy $R9 ${VAR} 1 -1
    StrLen $R8 ${VAR}
    ${If} $R9 != "\"
    ${OrIf} $R8 <= 3
      ${Break}
    ${EndIf}
    IntOp $R8 $R8 - 1
    StrCpy ${VAR} ${VAR} $R8
  ${Loop}
!macroend

; Reads the command line as Windows splits it: $R5 is 1 with "/silent" or "/verysilent" (any
; case), $R6 the folder of "/DIR=" (empty without one).
!macro ReadArguments
  StrCpy $R5 0
  StrCpy $R6 ""
  System::Call 'kernel32::GetCommandLineW() p .r1'
  System::Call 'shell32::CommandLineToArgvW(p r1, *i .r2) p .r0'
  ${If} $0 != 0
    StrCpy $3 1
    ${DoWhile} $3 < $2
      IntPtrOp $4 $3 * ${NSIS_PTR_SIZE}
      IntPtrOp $4 $0 + $4
      System::Call '*$4(p .r4)'
      System::Call '*$4(&w${NSIS_MAX_STRLEN} .r5)'
      StrCpy $6 $5 5
      ${If} $5 == "/silent"
      ${OrIf} $5 == "/verysilent"
        StrCpy $R5 1
      ${ElseIf} $6 == "/dir="
        StrCpy $R6 $5 "" 5
      ${EndIf}
      IntOp $3 $3 + 1
    ${Loop}
    System::Call 'kernel32::LocalFree(p r0)'
  ${EndIf}
!macroend

Function .onInit
  ; The programs are the described 32-bit client's stand-ins: on 64-bit Windows they read the
  ; uninstall list under SOFTWARE\Wow6432Node, the registry's 32-bit view.
  SetRegView 32
  !insertmacro ReadArguments
  ${If} $R5 = 1
    SetSilent silent
  ${EndIf}
  ${If} $R6 != ""
    ; a relative folder is taken from the current one
    System::Call 'kernel32::GetFullPathNameW(w R6, i ${NSIS_MAX_STRLEN}, w .R7, p 0) i .r1'
    ${If} $1 > 0
      StrCpy $R6 $R7
    ${EndIf}
    StrCpy $INSTDIR $R6
  ${Else}
    ReadRegStr $R1 HKLM "${KEY}" "Inno Setup: App Path"
    ${GetParent} $EXEDIR $R2
    ${GetFileName} $EXEDIR $R3
    ${If} $R1 != ""
      StrCpy $INSTDIR $R1
    ${ElseIf} $R3 == "UpdateCache"
    ${AndIf} ${FileExists} "$R2\${MARK}"
      StrCpy $INSTDIR $R2
    ${EndIf}
    ; Started by the updater from the folder's UpdateCache: the folder is settled, so nothing
    ; is asked; the progress shows and closes at the end.
    StrCpy $Updating 0
    ${If} $R3 == "UpdateCache"
    ${AndIf} $R2 == $INSTDIR
      StrCpy $Updating 1
      SetAutoClose true
    ${EndIf}
  ${EndIf}
  !insertmacro TakeMutex
FunctionEnd

Function SkipWhenUpdating
  ${If} $Updating == 1
    Abort
  ${EndIf}
FunctionEnd

Function .onUserAbort
  SetErrorLevel 2
FunctionEnd

; Puts the earlier release back when the swap or the registration failed, then ends with 1.
Function Fail
  Exch $R0
  !insertmacro Log "Orvanta setup: $R0"
  DetailPrint "$R0"
  SetOutPath $TEMP
  ${If} $Swapped == 1
    Rename "$INSTDIR" "$Stage"
    ${If} $Old != ""
      Rename "$Old" "$INSTDIR"
    ${EndIf}
  ${EndIf}
  ${If} $Stage != ""
    RMDir /r "$Stage"
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
  SetErrorLevel 1
  Quit
FunctionEnd
!macro Fail TEXT
  Push "${TEXT}"
  Call Fail
!macroend

Function Register
  Exch $R0  ; the version to register
  ClearErrors
  WriteRegStr HKLM "${KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "$R0"
  WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\Orvanta.exe"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\unins000.exe"'
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${KEY}" "Inno Setup: App Path" "$INSTDIR"
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
  Pop $R0
FunctionEnd

Section "Orvanta"
  SetDetailsPrint both
  StrCpy $Swapped 0
  StrCpy $Old ""
  StrCpy $Stage ""
  !insertmacro TrimFolder $INSTDIR
  ${GetParent} $INSTDIR $Parent
  ${GetFileName} $INSTDIR $Base
  ${If} $Parent == ""
  ${OrIf} $Base == ""
    !insertmacro Fail "cannot install into $INSTDIR"
  ${EndIf}

  ; A swap cut short by an earlier run: the release it set aside is the installation.
  ${IfNot} ${FileExists} "$INSTDIR"
  ${AndIf} ${FileExists} "$Parent\.$Base.old\${MARK}"
    Rename "$Parent\.$Base.old" "$INSTDIR"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR"
  ${AndIfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Fail "$INSTDIR exists and is not a folder"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\*.*"
  ${AndIfNot} ${FileExists} "$INSTDIR\${MARK}"
    ${DirState} "$INSTDIR" $R0
    ${If} $R0 = 1
      !insertmacro Fail "$INSTDIR is not empty and holds no Orvanta installation; choose another folder"
    ${EndIf}
  ${EndIf}
  ClearErrors
  CreateDirectory "$Parent"
  ${If} ${Errors}
    !insertmacro Fail "cannot create the folder $Parent"
  ${EndIf}

  DetailPrint "Unpacking Orvanta ${VERSION}..."
  StrCpy $Stage "$Parent\.$Base.new"
  RMDir /r "$Stage"
  RMDir /r "$Parent\.$Base.old"
  ClearErrors
  CreateDirectory "$Stage"
  ${If} ${Errors}
    !insertmacro Fail "cannot create a folder in $Parent"
  ${EndIf}
  ClearErrors
  SetOutPath "$Stage"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$Stage\unins000.exe"
  ${If} ${Errors}
    !insertmacro Fail "cannot write the program files into $Parent (disk full or not writable)"
  ${EndIf}
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=$PLUGINSDIR\setupfiles.exe" "${HELPER}"
  ExecWait '"$PLUGINSDIR\setupfiles.exe" verify "$Stage"' $R0
  ${If} $R0 != 0
    !insertmacro Fail "the program files in $Parent are incomplete (disk full?)"
  ${EndIf}

  ; Windows does not rename a folder that a running program lies in (this installer in
  ; UpdateCache, the updater): the files are then replaced one by one, and the user's data
  ; but the changed settings stays where it is.
  StrLen $R1 "$INSTDIR\"
  StrCpy $R2 "$EXEDIR\" $R1
  StrCpy $R3 0
  StrCpy $R4 "keep"
  ${If} $R2 == "$INSTDIR\"
    StrCpy $R3 1
    StrCpy $R4 "keep-settings"
  ${EndIf}
  DetailPrint "Keeping your data..."
  ${If} ${FileExists} "$INSTDIR\${MARK}"
    ExecWait '"$PLUGINSDIR\setupfiles.exe" $R4 "$INSTDIR" "$Stage"' $R0
    ${If} $R0 != 0
      !insertmacro Fail "cannot keep your data from $INSTDIR (disk full?)"
    ${EndIf}
  ${EndIf}
  ClearErrors
  FileOpen $R0 "$Stage\${MARK}" w
  FileWrite $R0 "${VERSION}$\r$\n"
  FileClose $R0
  ${If} ${Errors}
    !insertmacro Fail "cannot write into $Parent (disk full?)"
  ${EndIf}

  DetailPrint "Installing into $INSTDIR..."
  ; Nothing of this process may keep the folders open while they are renamed.
  SetOutPath "$TEMP"
  ${If} ${FileExists} "$INSTDIR\*.*"
    ClearErrors
    ${If} $R3 == 0
      StrCpy $Old "$Parent\.$Base.old"
      Rename "$INSTDIR" "$Old"
    ${Else}
      SetErrors
    ${EndIf}
    ${If} ${Errors}
      StrCpy $Old ""
      DetailPrint "Replacing the files one by one..."
      ExecWait '"$PLUGINSDIR\setupfiles.exe" overlay "$Stage" "$INSTDIR"' $R0
      ${If} $R0 != 0
        !insertmacro Fail "cannot replace the program files in $INSTDIR (is a program of it still running?)"
      ${EndIf}
      RMDir /r /REBOOTOK "$Stage"
      StrCpy $Stage ""
    ${EndIf}
  ${EndIf}
  ${If} $Stage != ""
    StrCpy $Swapped 1
    ClearErrors
    Rename "$Stage" "$INSTDIR"
    ${If} ${Errors}
      !insertmacro Fail "cannot move the new release into place"
    ${EndIf}
  ${EndIf}

  DetailPrint "Registering..."
  Push "${VERSION}"
  Call Register
  ${If} ${Errors}
    ; Whatever part of the entry was written: the earlier release's entry again, or none.
    StrCpy $R1 ""
    ${If} $Old != ""
      FileOpen $R0 "$Old\${MARK}" r
      FileRead $R0 $R1
      FileClose $R0
      ${TrimNewLines} $R1 $R1
    ${EndIf}
    ${If} $R1 != ""
      Push $R1
      Call Register
    ${Else}
      DeleteRegKey HKLM "${KEY}"
    ${EndIf}
    !insertmacro Fail "cannot register the installation (is the registry writable?)"
  ${EndIf}
  StrCpy $Swapped 0
  ${If} $Old != ""
    RMDir /r /REBOOTOK "$Old"
  ${EndIf}
  DetailPrint "Orvanta ${VERSION} is installed in $INSTDIR."
  SetErrorLevel 0
SectionEnd

; --- the uninstaller ------------------------------------------------------------------------

Function un.onInit
  SetRegView 32
  !insertmacro ReadArguments
  ${If} $R5 = 1
    SetSilent silent
  ${EndIf}
  !insertmacro TakeMutex
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove Orvanta ${VERSION} from $INSTDIR? Your data stays." /SD IDYES IDYES +3
  SetErrorLevel 2
  Quit
FunctionEnd

Function un.onUserAbort
  SetErrorLevel 2
FunctionEnd

Function un.Fail
  Exch $R0
  !insertmacro Log "Orvanta uninstall: $R0"
  DetailPrint "$R0"
  MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
  SetErrorLevel 1
  Quit
FunctionEnd

Section "Uninstall"
  SetDetailsPrint both
  !insertmacro TrimFolder $INSTDIR
  ; An uninstaller left behind by an earlier release must not remove a later one.
  ClearErrors
  FileOpen $R0 "$INSTDIR\${MARK}" r
  FileRead $R0 $R1
  FileClose $R0
  ${un.TrimNewLines} $R1 $R1
  ${If} ${Errors}
  ${OrIf} $R1 != "${VERSION}"
    Push "$INSTDIR holds no installation of Orvanta ${VERSION}; nothing was removed"
    Call un.Fail
  ${EndIf}
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=$PLUGINSDIR\setupfiles.exe" "${HELPER}"
  ExecWait '"$PLUGINSDIR\setupfiles.exe" remove "$INSTDIR"' $R0
  ${If} $R0 != 0
    Push "cannot remove the program files from $INSTDIR"
    Call un.Fail
  ${EndIf}
  ; The uninstall entry, only where it names this folder (string comparison ignores case).
  ReadRegStr $R1 HKLM "${KEY}" "Inno Setup: App Path"
  !insertmacro TrimFolder $R1
  ${If} $R1 == $INSTDIR
    ClearErrors
    DeleteRegKey HKLM "${KEY}"
    ${If} ${Errors}
      Push "cannot remove the uninstall entry"
      Call un.Fail
    ${EndIf}
  ${EndIf}
  SetOutPath "$TEMP"
  DetailPrint "Orvanta ${VERSION} is removed from $INSTDIR."
  SetErrorLevel 0
SectionEnd
