// A target's directories, each opened once and held from then on (see
// Directory), so that every later step goes through them and never by a
// name that someone may have changed since.
//
// - The parent of a target, where its beside lock and its staging directory
//   go, is opened by its path, a link on the way followed (the path is the
//   user's choice); what is missing of it is made below the deepest existing
//   directory, each one made and opened in one call. Nothing else is made
//   before the locks are held.
// - An existing target is opened in its parent; when the target itself is a
//   link, that link is the user's choice and is followed.
// - No folder below a target may be a link: a link there stops the run
//   before any change, naming it. Each existing sub-directory is opened and
//   held as it is checked.
// - The sub-directories the payload needs are made, or opened where they
//   exist, relative to the directory above them.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "installer/journal.h"
#include "installer/system.h"
#include "installer/targets.h"

namespace setup {

// The directories a run has opened, by their lower-cased paths: each is
// opened once, as a second open of a directory that the first may move or
// remove is refused (it shares no deletion).
using OpenedDirectories = std::map<std::string, Directory*, std::less<>>;

// Throws the IOError of a link found where the installation would write
// into a folder.
[[noreturn]] void linkInTheWay(std::string_view path);

// Opens target.parent, making what is missing of it; the journal keeps it
// and records what was made. False when it cannot be opened or made (the
// directory step's box says so). Throws IOError when a file, or a link,
// stands where a directory is needed.
bool openParent(System& system, InstallJournal& made, OpenedDirectories& opened, Target& target);

// The directory this run has opened at path already, or null.
Directory* findOpened(const OpenedDirectories& opened, std::string_view path);
// Notes dir, which this run has just opened or made.
Directory& addOpened(OpenedDirectories& opened, Directory& dir);

// Opens target.dir when the target exists; the journal keeps it.
void openTarget(System& system, InstallJournal& journal, OpenedDirectories& opened, Target& target);

// Opens every existing sub-directory of target that contents needs, each
// held once checked. Throws linkInTheWay's IOError for a link among them.
void openBelow(InstallJournal& journal, Target& target, const Contents& contents);

// Makes, or opens where it exists, target's sub-directory relative (from
// its separator on), below target.dir. False when it cannot be made (the
// directory step's box says so). Throws IOError when a file stands there,
// linkInTheWay's for a link.
bool makeBelow(InstallJournal& journal, OpenedDirectories& opened, Target& target,
               std::string_view relative);

// The directory an entry's file goes into, relative to the target (from its
// separator on, with "/" or "\"), and the file's own name there.
Directory& directoryOf(const Target& target, std::string_view relativeFile, std::string* name);

}  // namespace setup
