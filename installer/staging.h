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

#include "installer/journal.h"
#include "installer/system.h"
#include "installer/targets.h"

namespace setup {

// Sets target.writeTo to its staging name where it can be staged.
void chooseStaging(System& system, Identities& identities, Target& target, const Target& other,
                   const Contents& contents);

// Creates a target's directory (a staged one under its staging name, taking
// over a leftover there). False when it could not be created, after its
// error box.
bool createTarget(System& system, Target& target, NativeWindow owner, InstallJournal& journal,
                  const Contents& contents);

// A file of a staged directory, at path; destination names it for the user.
void writeStaged(System& system, InstallJournal& journal, const std::string& path,
                 std::string_view destination, std::string_view content);

// Moves a staged target into place, waiting out another program's brief
// hold on a file in it. Throws IOError when the hold lasts, OSError for any
// other failure.
void moveIntoPlace(System& system, InstallJournal& journal, const Target& target);

}  // namespace setup
