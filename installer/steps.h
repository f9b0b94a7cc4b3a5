// The steps that create, replace, keep aside and remove a file below a
// target, each safe whatever stands at its name: a leftover of a killed run,
// a link, a hard link, a folder of the user's, another program's brief hold.
// A file is created new beside its destination and renamed over it in one
// step; a name this run did not create is never opened for writing, and a
// link is never written through nor compared through. Each step records in
// the journal what it changed, and throws the error of the step that failed:
// IOError naming the file as the user knows it, or OSError with the system's
// code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "installer/journal.h"
#include "installer/system.h"

namespace setup {

// A system call's code: anything but 0 is the OSError of procedure, with
// detail.
void throwIfFailed(System& system, std::uint32_t code, std::string_view detail,
                   const char* procedure);

// Whether a folder, or a link to one, stands at name in dir.
bool isFolder(System& system, Directory& dir, std::string_view name);
// Throws the IOError of a folder found at a name of the installation's own.
[[noreturn]] void folderInTheWay(std::string_view shown);

// backupIfChanged for a name in dir where something stands: a link or a
// placeholder is kept aside unread, a file when its bytes differ; shown is
// the name as the user knows it. Returns the back-up's name in dir, or "".
// Throws IOError when the file cannot be read (a directory neither),
// OSError when the rename fails.
std::string moveAsideIfDifferent(System& system, Directory& dir, std::string_view name,
                                 std::string_view shown, std::string_view newContent);

// Creates the file name in dir through create (which answers as
// Directory::createFile), afresh: a leftover at that name is removed as a
// name first. Returns create's last answer.
FileStatus createFresh(System& system, InstallJournal& journal, Directory& dir,
                       std::string_view name, std::string_view shown,
                       const std::function<FileStatus()>& create);

// Writes content beside the destination name in dir under a temporary
// name, then renames it over the destination in one step, keeping a
// differing file aside first. shown names the destination for the user.
void installFile(System& system, InstallJournal& journal, Directory& dir, std::string_view name,
                 std::string_view shown, std::string_view content);

}  // namespace setup
