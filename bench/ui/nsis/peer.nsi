; The peer of the start-up benchmark: what the most common installer system
; makes of the same payload. A Modern UI installer with a directory page,
; zlib-compressed, checking its data's checksum before it shows a window.
;   makensis -DPAYLOAD_FILES=payload_files.nsh -DOUTFILE=peer-setup.exe peer.nsi
Unicode true
Target amd64-unicode
SetCompressor zlib
CRCCheck on
RequestExecutionLevel user

!include "MUI2.nsh"

Name "TORNIVEX 1.0"
Caption "TORNIVEX 1.0 Installation pour Allplan 2025"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\TORNIVEX"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

Section "TORNIVEX"
  !include "${PAYLOAD_FILES}"
SectionEnd
