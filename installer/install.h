// The installation: creating the target directories and writing every payload
// entry into them, with the order-list files renamed, the script path line and
// the part definitions' script references rewritten, and every replaced file
// whose content differs kept aside under a back-up name.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "installer/journal.h"
#include "installer/payload.h"
#include "installer/system.h"

namespace setup {

// The scripts whose path line and whose references in part definitions are
// rewritten, exactly the script entries of the payload.
inline constexpr std::array<std::string_view, 9> scriptNames = {
    "vesk.py",     "dorl.py",     "fimb.py",     "vesk_fimb.py",   "vesk_dorl.py",
    "vesk_imp.py", "fimb_imp.py", "dorl_imp.py", "bestellliste.py"};

// The line of the scripts' own source that names their directory; each
// separator is two backslashes, as in a string literal.
inline constexpr std::string_view defaultPathLine =
    "path = 'C:\\\\Allplan\\\\2025\\\\Daten\\\\Std\\\\PythonPartsScripts\\\\MELDRA'";

inline constexpr std::string_view kDirectoryErrorText =
    "Le r\xC3\xA9pertoire n'a pas pu \xC3\xAAtre cr\xC3\xA9\xC3\xA9";
inline constexpr std::string_view kDirectoryErrorCaption = "Erreur!";

// Creates the one directory dir. Returns true when a directory of that name
// existed already, false when it was created.
// Throws IOError "Failed to create '<dir>'" when a file has that name, and
// OSError (code, dir as detail) for any other failure.
bool existsOrCreateDir(System& system, std::string_view dir);

// Creates path with all missing ancestors. Returns true when the directory
// exists afterwards; shows the error box and returns false when it cannot be
// created (an OSError) or when path is empty. Other errors pass on.
bool createDirectory(System& system, std::string_view path, NativeWindow owner);

// When an existing file at path differs from newContent, renames it to
// path + "_" + a tick count and returns that name; returns "" when nothing
// was renamed. The bytes are compared, not checksums: equal checksums alone
// do not make two files the same.
// Throws IOError when the file cannot be read, OSError when the rename fails.
std::string backupIfChanged(System& system, std::string_view path, std::string_view newContent);

// The script directory as the part definitions name it: relative to the
// library root's script directory when the script text lies below it
// (compared case-insensitively), else the whole script text.
std::string relativeScriptDir(std::string_view scriptText, std::string_view libraryRoot);

// Creates the directories and writes every entry of table, then ends the
// process with exit status 0. All or nothing: when a directory could not be
// created (each failure has shown its error box) it returns, and when any
// other step fails it rethrows the error, in both cases after undoing every
// change it made. A file is never left partly written at its destination. An
// entry whose content does not match its checksum raises PayloadError. When
// the undo itself fails, the error's message says what stays where.
//
// It deletes, moves and writes only below its two target directories and
// their staging names, never through a link it did not make (any reparse
// point: a link met is one item, removed or kept aside as a name, never
// listed into or written through), and never into a name it did not create
// in this run. One installation at a time per target directory: a second is
// refused (IOError) before it changes anything, and an undo touches only what
// its own run made.
void installPayload(System& system, std::string_view paletteText, std::string_view scriptText,
                    std::string_view libraryRoot, NativeWindow owner,
                    std::span<const PayloadEntry> table);

}  // namespace setup
