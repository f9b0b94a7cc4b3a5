#include "installer/staging.h"

#include "installer/directories.h"
#include "installer/files.h"
#include "installer/install.h"
#include "installer/retry.h"
#include "installer/steps.h"
#include "runtime/errors.h"

namespace setup {

// Staging needs a directory that is missing and that does not contain the
// other target, nor lies in it: their renames would cross. Its staging name
// must not be the other target or hold it, and must be free or hold a real
// directory (a leftover to take over): anything else there, a link above
// all, is not ours to write into, move or clear, and the target is then
// filled file by file. So it is when the staging name or the paths below it
// would be too long where the target's own are not.
void chooseStaging(Identities& identities, Target& target, const Target& other,
                   const Contents& contents) {
  if (!isPlainAbsolute(target.canonical)) return;
  if (sameOrInside(identities, target.place, other.place) ||
      sameOrInside(identities, other.place, target.place)) {
    return;
  }
  const std::string staged = target.canonical + std::string(kTemporarySuffix);
  if (sameOrInside(identities, other.place, placeOf(identities, staged))) return;
  const std::size_t length = utf16Length(staged);
  const std::size_t nameLength = utf16Length(staged.substr(staged.find_last_of('\\') + 1));
  if (nameLength > kMaxNameLength || length + contents.longestDirectory > kMaxDirectoryPath ||
      length + contents.longestFile > kMaxFilePath) {
    return;
  }
  if (target.parent == nullptr || target.dir != nullptr) return;
  const std::string stagingName = target.name() + std::string(kTemporarySuffix);
  if (const NameKind kind = target.parent->nameKind(stagingName);
      kind != NameKind::missing && kind != NameKind::directory) {
    return;
  }
  target.writeTo = staged;
}

namespace {

// Clears a leftover staging directory of everything but the real
// directories that this side writes into, which are cleared in turn. Files
// go too, also those the payload installs: each is written afresh, so that
// a hard link left there never shares its bytes with the new file. A link is
// one item, removed as a name: never listed into, and what it points to
// stays as it is.
void clearLeftover(System& system, Directory& dir, const Contents& keep) {
  std::string failedAt;
  // A leftover that cannot be cleared is named as it stands: the user has to
  // remove it.
  const std::uint32_t code = clearDirectory(
      system, dir, [&](const std::string& key) { return keep.directories.contains(key); },
      &failedAt);
  throwIfFailed(system, code, failedAt, "installPayload");
}

void refuse(System& system, NativeWindow owner) {
  system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
}

}  // namespace

// Creates a target's directory (a staged one under its temporary name),
// made and opened in one call. A leftover staging directory of an
// interrupted installation is taken over, but only with the directories that
// this installation writes into: a killed run of another version may have
// left files that this payload lacks, and they would move into place with
// the directory. Something other than a directory at the staging name, which
// may have appeared since the choice (a dangling link shows only to the
// creation), means no staging.
bool createTarget(System& system, Target& target, NativeWindow owner, InstallJournal& journal,
                  OpenedDirectories& opened, const Contents& contents) {
  std::unique_ptr<Directory> made;
  if (target.staged()) {
    const std::string stagingName = target.name() + std::string(kTemporarySuffix);
    std::uint32_t code = target.parent->makeDirectory(stagingName, true, &made);
    if (code == 0) {
      target.dir = &journal.keep(std::move(made));
      journal.createdDirectory(*target.dir, *target.parent, stagingName);
    } else if (code == kErrorAlreadyExists &&
               (code = target.parent->openDirectory(stagingName, true, &made)) == 0) {
      target.dir = &journal.keep(std::move(made));
    } else {
      // Its sub-directories are tried where they belong, as the user's.
      target.writeTo = std::string(target.path);
      if (code != kErrorStoppedOnLink && code != kErrorDirectory) {
        refuse(system, owner);
        return false;
      }
    }
  }
  if (!target.staged()) {
    if (target.dir != nullptr) return true;  // the user's, or one that appeared since
    if (target.parent == nullptr) {
      refuse(system, owner);  // a root that does not exist
      return false;
    }
    const std::uint32_t code = target.parent->makeDirectory(target.name(), false, &made);
    if (code == kErrorAlreadyExists) {
      openTarget(system, journal, opened, target);
      if (target.dir != nullptr) return true;
      throw IOError("Failed to create '" + std::string(target.path) + "'", "existsOrCreateDir");
    }
    if (code != 0) {
      refuse(system, owner);
      return false;
    }
    target.dir = &addOpened(opened, journal.keep(std::move(made)));
    journal.createdDirectory(*target.dir, *target.parent, target.name());
    return true;
  }
  journal.staging(*target.dir);
  if (journal.takingOver(*target.dir)) clearLeftover(system, *target.dir, contents);
  return true;
}

// A file of a staged directory: nothing the user sees is there yet.
void writeStaged(System& system, InstallJournal& journal, Directory& dir, std::string_view name,
                 std::string_view stagedShown, std::string_view destination,
                 std::string_view content) {
  checkWritten(createFresh(system, journal, dir, name, stagedShown,
                           [&] { return dir.createFile(name, content); }),
               destination);
}

void moveIntoPlace(System& system, InstallJournal& journal, Target& target) {
  if (!target.staged()) return;
  Directory& stage = *target.dir;
  // Windows renames no directory while anything below it is open, ours or
  // a scanner's.
  journal.closeBelow(stage);
  // Made into a junction meanwhile, it would lead the target's name to
  // another folder.
  if (stage.check() == kErrorDirectoryChanged) {
    throw IOError(stage.path() +
                      " was made into a link by another program while the installation ran: "
                      "the installation puts no link in place of " +
                      std::string(target.path),
                  "installPayload");
  }
  const std::uint32_t code = journal.moveDirectory(stage, *target.parent, target.name());
  if (isRefusedWhileInUse(code)) {
    throw IOError("the folder " + std::string(target.path) + " could not be put in place: " +
                      heldByAnotherProgram("a file in " + target.writeTo),
                  "installPayload");
  }
  throwIfFailed(system, code, target.path, "installPayload");
}

}  // namespace setup
