; The Windows installer of Orvalen, built by scripts/windows-package.sh with makensis:
;   makensis -DVERSION=1.4.0 -DSTAGE=<folder> -DLISTS=<folder> -DOUTFILE=<setup.exe> orvalen.nsi
; STAGE holds the files to install; install-files.nsh and uninstall-files.nsh in LISTS name
; them (written by the script from the same folder, so that uninstalling removes what was
; installed and nothing else).
;
; Installed for the current user, without elevation: the daily Z task and the journal
; (%LOCALAPPDATA%\Orvalen) are the user's own, and a shop's account need not be an
; administrator. The journal is never removed.

; 64-bit, as the programs are (and Wine without its 32-bit half runs it).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Orvalen"
!define PUBLISHER "The Orvalen developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvalen"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Orvalen"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT License"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/licenses/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer picks the system's language when it has it, English otherwise (the first).
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Spanish"

LangString SecProgram ${LANG_ENGLISH} "Orvalen"
LangString SecProgram ${LANG_SPANISH} "Orvalen"
LangString SecProgramText ${LANG_ENGLISH} "The window, orvalenctl, the Qt libraries, the licences and the manual."
LangString SecProgramText ${LANG_SPANISH} "La ventana, orvalenctl, las bibliotecas de Qt, las licencias y el manual."
LangString SecTask ${LANG_ENGLISH} "Daily Z report at 23:50"
LangString SecTask ${LANG_SPANISH} "Reporte Z diario a las 23:50"
LangString SecTaskText ${LANG_ENGLISH} "A scheduled task of this user: every day at 23:50 (or when the computer is next on) the printer prints its Z report, then its clock is set. Prints a real Z on a real printer."
LangString SecTaskText ${LANG_SPANISH} "Una tarea programada de este usuario: cada día a las 23:50 (o cuando se encienda la computadora) la impresora imprime su reporte Z y luego se ajusta su reloj. En una impresora real imprime un Z real."
LangString TaskFailed ${LANG_ENGLISH} "The daily Z task was not added (orvalenctl schedule install: exit status"
LangString TaskFailed ${LANG_SPANISH} "No se agregó la tarea del Z diario (orvalenctl schedule install: estado de salida"
LangString Manual ${LANG_ENGLISH} "Orvalen manual"
LangString Manual ${LANG_SPANISH} "Manual de Orvalen"

Section "!$(SecProgram)" SecProgramId
  SectionIn RO
  SetOutPath "$INSTDIR"
  !include "${LISTS}/install-files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Orvalen.lnk" "$INSTDIR\orvalen.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvalen.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Apps & Features shows this size, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Unticked: a Z report is the printer's closing of the day, so nobody gets one unasked.
; nsExec runs it without a console window; exit status 6 (the task was already there) is no
; failure.
Section /o "$(SecTask)" SecTaskId
  nsExec::ExecToLog '"$INSTDIR\orvalenctl.exe" schedule install'
  Pop $0
  StrCmp $0 "0" done
  StrCmp $0 "6" done
  DetailPrint "$(TaskFailed) $0)"
  done:
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgramId} $(SecProgramText)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecTaskId} $(SecTaskText)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function un.onInit
  SetShellVarContext current
FunctionEnd

; Everything the installer put there and the task; the journal and the remembered printer
; (%LOCALAPPDATA%\Orvalen, the registry's Orvalen settings) stay.
Section "Uninstall"
  ; Exit status 6: there was no task, which is fine.
  nsExec::ExecToLog '"$INSTDIR\orvalenctl.exe" schedule remove'
  Pop $0
  Delete "$SMPROGRAMS\Orvalen.lnk"
  !include "${LISTS}/uninstall-files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
