// A target directory that does not exist yet is filled under a staging
// name, DIR.setup-tmp beside it, and renamed into place once all its files
// are written: it appears complete or not at all. A leftover staging
// directory of a killed run is taken over, cleared of everything but the
// real directories this payload uses, a link in it removed as a name and
// never listed into. Anything else at the staging name, or a target that
// cannot be staged (the other target in it or around it, names too long),
// is filled file by file instead.
#pragma once

#include <string>
#include <string_view>

#include "installer/directories.h"
#include "installer/journal.h"
#include "installer/system.h"
#include "installer/targets.h"

namespace setup {

// Sets target.writeTo to its staging name where it can be staged.
void chooseStaging(Identities& identities, Target& target, const Target& other,
                   const Contents& contents);

// Makes a target's directory (a staged one under its staging name, taking
// over a leftover there) and sets target.dir. False when it could not be
// made, after its error box.
bool createTarget(System& system, Target& target, NativeWindow owner, InstallJournal& journal,
                  OpenedDirectories& opened, const Contents& contents);

// A file of a staged directory, name in dir; stagedShown names it where it
// is, destination where it goes for the user.
void writeStaged(System& system, InstallJournal& journal, Directory& dir, std::string_view name,
                 std::string_view stagedShown, std::string_view destination,
                 std::string_view content);

// Moves a staged target into place through its handle, waiting out another
// program's brief hold on a file in it. Throws IOError when the hold lasts
// or when the staging directory was made into a link, OSError for any other
// failure.
void moveIntoPlace(System& system, InstallJournal& journal, Target& target);

}  // namespace setup
