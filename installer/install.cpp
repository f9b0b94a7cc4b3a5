#include "installer/install.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>

#include "installer/files.h"
#include "installer/journal.h"
#include "installer/locations.h"
#include "installer/retry.h"
#include "installer/targets.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

// A system call's code: anything but 0 is the OSError of procedure, with detail.
void throwIfFailed(System& system, std::uint32_t code, std::string_view detail,
                   const char* procedure) {
  if (code != 0) {
    throw OSError(static_cast<std::int32_t>(code), system.errorText(code), detail, procedure);
  }
}

constexpr std::string_view kOrderListWord = "Bestellliste";
constexpr std::string_view kOrderListFrench = "Liste de commande";
constexpr std::string_view kPartDefinitionExtension = ".pyp";
constexpr std::string_view kReferencePrefix = "MELDRA\\";
constexpr std::string_view kScriptDirName = "/PythonPartsScripts";
constexpr std::string_view kScriptSubDirectories[] = {"\\fonts", "\\fonts\\static", "\\resources"};

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

bool isAbsolute(std::string_view path) {
  return (!path.empty() && isSeparator(path[0])) || drivePrefixLength(path) > 0;
}

// The name ends in ".pyp", or in ".pyp" and one more byte.
bool isPartDefinition(std::string_view name) {
  if (name.size() < 5) return false;
  return name.substr(name.size() - 4) == kPartDefinitionExtension ||
         name.substr(name.size() - 5, 4) == kPartDefinitionExtension;
}

bool isScriptName(std::string_view name) {
  for (const std::string_view script : scriptNames) {
    if (name == script) return true;
  }
  return false;
}

__extension__ typedef unsigned __int128 Tick;

std::string decimal(Tick value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

// Nanoseconds of the performance counter. Multiplying first keeps the digits
// that a division first would drop: with a counter faster than 1 GHz every
// tick count would be 0 and each back-up of a file would replace the last.
Tick tickCount(System& system) {
  const std::int64_t counter = system.performanceCounter();
  const std::int64_t frequency = system.performanceFrequency();
  if (counter < 0 || frequency <= 0) {
    throw AssertionDefect("the performance counter reported " + std::to_string(counter) + " at " +
                              std::to_string(frequency) + " Hz",
                          "backupIfChanged");
  }
  return Tick(counter) * 1'000'000'000u / Tick(frequency);
}

// backupIfChanged for a path where something stands; a directory cannot be
// read and raises IOError.
std::string moveAsideIfDifferent(System& system, std::string_view path,
                                 std::string_view newContent) {
  // A link is the user's, whatever it points to: the new file takes its
  // place, so the link itself is kept aside, never compared through (it may
  // dangle) and never written into. The bytes decide for a file: a 32-bit
  // checksum alone would let a changed file whose checksum happens to match
  // go without a back-up.
  // A placeholder's content is elsewhere: reading it would download it, so
  // it is kept aside unread.
  if (const NameKind kind = system.nameKind(path); kind != NameKind::link &&
                                                   kind != NameKind::placeholder &&
                                                   hasContent(system, path, newContent)) {
    return {};
  }
  const std::string backup = std::string(path) + "_" + decimal(tickCount(system));
  throwIfFailed(system,
                retryWhileInUse(system, [&] { return system.moveFileReplacing(path, backup); }),
                "(" + quoted(path) + ", " + quoted(backup) + ")", "backupIfChanged");
  return backup;
}

// The entry's content, checked before any of it reaches the disk: a damaged
// download must not install a corrupted file. One that does not decompress
// raises uncompress's SnappyError.
void decompressEntry(const PayloadEntry& entry, std::string& content) {
  uncompress(entry.compressed, content);
  if (contentHash(content) != entry.hash) {
    throw PayloadError("The installer is damaged: its copy of " + quoted(entry.name) +
                           " does not match its checksum. Download the installer again.",
                       "installPayload");
  }
}

// Whether a folder, or a link to one, stands at path: where only a file of
// this installation's own can be, such a thing is somebody else's and is not
// removed.
bool isFolder(System& system, const std::string& path) {
  const NameKind kind = system.nameKind(path);
  return kind == NameKind::directory ||
         (kind == NameKind::link && system.pathKind(path) == PathKind::directory);
}

[[noreturn]] void folderInTheWay(std::string_view path) {
  throw IOError("a folder stands at " + std::string(path) +
                    ", a name the installation uses for a file of its own: remove or rename it",
                "installPayload");
}

// Creates the file path through create, afresh: a leftover at that name of
// an interrupted run, whatever file it is (a file, a hard link, a link to a
// file, a dangling link), is removed as a name first, never opened, so that
// nothing is written through a link or into bytes that another name shares.
// A folder there is not a leftover of ours and stays: the installation stops
// and names it. Only a file this run created is recorded for the undo.
template <typename Create>
FileStatus createFresh(System& system, InstallJournal& journal, const std::string& path,
                       const Create& create) {
  journal.writingTemporary(path);
  FileStatus status = create();
  if (status == FileStatus::exists) {
    if (isFolder(system, path)) {
      journal.notCreated(path);
      folderInTheWay(path);
    }
    // A leftover that cannot be removed is named as it stands: the user has
    // to remove it.
    if (const std::uint32_t code = retryWhileInUse(system, [&] { return system.removeName(path); });
        code != 0 && !isGone(code)) {
      journal.notCreated(path);
      if (isRefusedWhileInUse(code)) throw IOError(readOnlyOrHeld(path), "installPayload");
      throwIfFailed(system, code, path, "installPayload");
    }
    status = create();
  }
  if (status == FileStatus::exists || status == FileStatus::cannotOpen) journal.notCreated(path);
  return status;
}

// Writes content beside destination under a temporary name, then renames it
// over destination in one step, so that a failed or interrupted write leaves
// the previous file, or none, and never a part of the new one.
void installFile(System& system, InstallJournal& journal, const std::string& destination,
                 std::string_view content) {
  const std::string temporary = destination + std::string(kTemporarySuffix);
  bool replacing = false;
  std::uint32_t renameError = 0;
  const FileStatus status = createFresh(system, journal, temporary, [&] {
    return system.writeThenRename(
        temporary, destination, content,
        [&] {
          // The new file is complete before the old one leaves its place. A
          // directory there cannot be opened as a file.
          replacing = true;
          const std::string backup = moveAsideIfDifferent(system, destination, content);
          if (!backup.empty()) journal.movedAside(destination, backup);
        },
        &renameError);
  });
  // The temporary name is ours; the user knows the destination.
  if (status == FileStatus::cannotRename) {
    // Refused as writing over the destination would have been (a read-only
    // file, one that another program holds open, for longer than a scanner
    // does): the user is told so.
    if (isRefusedWhileInUse(renameError)) {
      throw IOError("cannot open: " + destination + "\n" + readOnlyOrHeld(destination),
                    "writeFile");
    }
    throw OSError(static_cast<std::int32_t>(renameError), system.errorText(renameError),
                  destination, "installFile");
  }
  checkWritten(status, destination);
  journal.renamedTemporary(temporary, destination, !replacing);
}

// createDirectory's work, without its box: an OSError passes on.
void createDirectories(System& system, std::string_view path, InstallJournal* journal) {
  const auto create = [&](std::string_view dir) {
    if (!existsOrCreateDir(system, dir) && journal != nullptr) journal->createdDirectory(dir);
  };
  if (system.pathKind(path) == PathKind::directory) return;
  const bool absolute = isAbsolute(path);
  bool rootSkipped = false;
  for (std::size_t i = drivePrefixLength(path); i + 1 < path.size(); ++i) {
    if (!isSeparator(path[i]) || (i > 0 && isSeparator(path[i - 1]))) continue;
    if (absolute && !rootSkipped) {
      rootSkipped = true;
      continue;
    }
    create(path.substr(0, i + 1));
  }
  if (!absolute || rootSkipped) create(path);
}

std::string pathKey(std::string_view path) {
  return toLowerUnicode(replaceAll(path, "/", "\\"));
}

// A plain absolute path: a drive or share, then names, none of them "." or
// "..", empty, or ending in a dot or a space (which Windows drops).
bool isPlainAbsolute(std::string_view path) {
  const std::size_t prefix = drivePrefixLength(path);
  if (prefix == 0 || prefix >= path.size() || !isSeparator(path[prefix])) return false;
  for (std::size_t start = prefix + 1; start <= path.size();) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    const std::string_view name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
      return false;
    start = end + 1;
  }
  return true;
}

// Where an entry's file goes below its target, from the separator on.
std::string relativePathOf(const PayloadEntry& entry) {
  const std::string name = entry.isPalette
                               ? replaceAll(entry.name, kOrderListWord, kOrderListFrench)
                               : std::string(entry.name);
  return "\\" + std::string(entry.subDir) + name;
}

// The longest name a file system takes, and the longest path a program
// without long-path support may create a directory or a file at, in UTF-16
// units.
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxDirectoryPath = 247;
constexpr std::size_t kMaxFilePath = 259;
// The most a name of the installation's own adds to a destination's path:
// NAME.setup-tmp, and the spare of its removal, NAME.setup-tmp.setup-rm7.
constexpr std::size_t kLongestOwnSuffix = 20;

std::size_t utf16Length(std::string_view text) {
  return utf8ToUtf16(text).size();
}

// What the installation puts below one target: the directories that hold
// its files, by the pathKey of each relative path and as spelled with "\"
// (parents first: each entry's are added from the top down), and the
// lengths of the longest relative paths.
struct Contents {
  std::set<std::string> directories;
  std::vector<std::string> spelled;
  std::size_t longestDirectory = 0;
  std::size_t longestFile = 0;
  std::string longestFileName;
};

Contents contentsOf(std::span<const PayloadEntry> table, bool palette) {
  Contents contents;
  const auto addDirectory = [&](const std::string& relative) {
    if (contents.directories.insert(pathKey(relative)).second) {
      contents.spelled.push_back(replaceAll(relative, "/", "\\"));
    }
    contents.longestDirectory = std::max(contents.longestDirectory, utf16Length(relative));
  };
  if (!palette) {
    for (const std::string_view dir : kScriptSubDirectories) addDirectory(std::string(dir));
  }
  for (const PayloadEntry& entry : table) {
    if (entry.isPalette != palette) continue;
    const std::string relative = relativePathOf(entry);
    for (std::size_t cut = relative.find_first_of("\\/", 1); cut != std::string::npos;
         cut = relative.find_first_of("\\/", cut + 1)) {
      addDirectory(relative.substr(0, cut));
    }
    if (const std::size_t length = utf16Length(relative); length > contents.longestFile) {
      contents.longestFile = length;
      contents.longestFileName = relative;
    }
  }
  return contents;
}

constexpr std::string_view kLockSuffix = ".setup-lock";

// Where the files of one target directory go. A target that does not exist
// yet is filled under a temporary name and renamed into place once all its
// files are written: the whole directory appears in one step, and its files
// need no rename each (under wine that rename costs a third of the write).
struct Target {
  std::string_view path;  // as the user typed it: destinations and messages
  std::string canonical;  // as Windows opens it: the names beside it
  Place place;            // the directory itself, however it is spelled
  std::string writeTo;    // path, or canonical + kTemporarySuffix while staged

  bool staged() const { return writeTo != path; }
};

Target targetOf(std::string_view text) {
  return Target{text, canonicalDirectory(text), {}, std::string(text)};
}

// The lock file beside target (canonical), or "" for a root (a drive, a
// share, a lone "\"). Where that name would be longer than a name or a path
// may be, the lock is the parent's own, inside it: all targets with such
// names there share it.
std::string besideLockOf(std::string_view target) {
  const std::string path(target);
  if (path.empty() || path.size() <= drivePrefixLength(path) || path == "\\" ||
      (path.size() == drivePrefixLength(path) + 1 && path.back() == '\\')) {
    return {};
  }
  const std::size_t cut = path.find_last_of('\\');
  const std::string_view name =
      std::string_view(path).substr(cut == std::string::npos ? 0 : cut + 1);
  if (utf16Length(name) + kLockSuffix.size() > kMaxNameLength ||
      utf16Length(path) + kLockSuffix.size() > kMaxFilePath) {
    return path.substr(0, cut == std::string::npos ? 0 : cut + 1) + std::string(kLockSuffix);
  }
  return path + std::string(kLockSuffix);
}

// The directory in which the lock beside target is made, which must exist
// first: "" when there is none to create (the current directory, or a root,
// which is locked inside).
std::string lockParentOf(std::string_view target) {
  return std::string(parentOf(besideLockOf(target)));
}

// Staging needs a directory that is missing and that does not contain the
// other target, nor lies in it: their renames would cross. Its staging name
// must not be the other target or hold it, and must be free or hold a real
// directory (a leftover to take over): anything else there, a link above
// all, is not ours to write into, move or clear, and the target is then
// filled file by file. So it is when the staging name or the paths below it
// would be too long where the target's own are not.
void chooseStaging(System& system, Identities& identities, Target& target, const Target& other,
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
  if (system.pathKind(target.canonical) != PathKind::missing) return;
  if (const NameKind kind = system.nameKind(staged);
      kind != NameKind::missing && kind != NameKind::directory) {
    return;
  }
  target.writeTo = staged;
}

// Clears a leftover staging directory of everything but the real
// directories that this side writes into, which are cleared in turn. Files
// go too, also those the payload installs: each is written afresh, so that
// a hard link left there never shares its bytes with the new file. A link is
// one item, removed as a name: never listed into, and what it points to
// stays as it is.
void clearLeftover(System& system, const std::string& dir, const Contents& keep) {
  std::string failedAt;
  // A leftover that cannot be cleared is named as it stands: the user has to
  // remove it.
  const std::uint32_t code = clearDirectory(
      system, dir, [&](const std::string& key) { return keep.directories.contains(key); },
      &failedAt);
  throwIfFailed(system, code, failedAt, "installPayload");
}

// Creates a target's directory (a staged one under its temporary name). A
// leftover staging directory of an interrupted installation is taken over,
// but only with the directories that this installation writes into: a killed
// run of another version may have left files that this payload lacks, and
// they would move into place with the directory. Something other than a
// directory at the staging name, which may have appeared since the choice
// (a dangling link shows only to the creation), means no staging.
bool createTarget(System& system, Target& target, NativeWindow owner, InstallJournal& journal,
                  const Contents& contents) {
  if (target.staged()) {
    const std::uint32_t code = system.createDirectory(target.writeTo);
    if (code == 0) {
      journal.createdDirectory(target.writeTo);
    } else if (code != kErrorAlreadyExists ||
               system.nameKind(target.writeTo) != NameKind::directory) {
      // Its sub-directories are tried where they belong, as the user's.
      target.writeTo = std::string(target.path);
      if (code != kErrorAlreadyExists) {
        system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
        return false;
      }
    }
  }
  if (!target.staged()) return createDirectory(system, target.writeTo, owner, &journal);
  journal.staging(target.writeTo);
  if (journal.takingOver(target.writeTo)) clearLeftover(system, target.writeTo, contents);
  return true;
}

[[noreturn]] void linkInTheWay(std::string_view path) {
  throw IOError(std::string(path) +
                    " is a link to another folder: the installation writes into no folder "
                    "through a link; replace it by a folder",
                "installPayload");
}

// Holds every directory that the run writes into, from the moment it is made
// or checked until the run ends, so that none of them can be swapped for a
// link to another folder between the checks and the writes. The target
// itself is a path the user chose: when it is a link, it is followed, and
// only what lies below it is held.
class DirectoryHolder {
 public:
  DirectoryHolder(System& system, InstallJournal& journal) : system_(system), journal_(journal) {}

  // A staged target is held so that it can be moved into place through its
  // handle.
  void holdTarget(const Target& target) {
    if (target.staged() || system_.nameKind(target.writeTo) != NameKind::link) {
      hold(target.writeTo, std::string(target.path), target.staged());
    }
  }
  // shown names dir as the user knows it, not by a staging name.
  void hold(const std::string& dir, const std::string& shown, bool toMove = false) {
    // One directory held twice, as both targets may name it, is no
    // conflict: neither handle asks to delete it.
    std::unique_ptr<HeldDirectory> held;
    const std::uint32_t code = system_.holdDirectory(dir, toMove, &held);
    if (code == kErrorStoppedOnLink) linkInTheWay(dir);
    if (isGone(code)) return;
    throwIfFailed(system_, code, shown, "installPayload");
    journal_.holding(dir, std::move(held));
  }

 private:
  System& system_;
  InstallJournal& journal_;
};

// No folder below an existing target may be a link: the installation would
// write its files, and rename the user's, in the folder it leads to.
void refuseLinksBelow(System& system, const Target& target, const Contents& contents) {
  if (system.pathKind(target.path) != PathKind::directory) return;
  for (const std::string& dir : contents.spelled) {
    const std::string path = std::string(target.path) + dir;
    if (system.nameKind(path) == NameKind::link) linkInTheWay(path);
  }
}

// A file of a staged directory: nothing the user sees is there yet.
void writeStaged(System& system, InstallJournal& journal, const std::string& path,
                 std::string_view destination, std::string_view content) {
  checkWritten(createFresh(system, journal, path, [&] { return system.createFile(path, content); }),
               destination);
}

void moveIntoPlace(System& system, InstallJournal& journal, const Target& target) {
  if (!target.staged()) return;
  // Windows renames no directory while anything below it is open, ours or
  // a scanner's.
  journal.releaseBelow(target.writeTo);
  const std::uint32_t code = journal.moveDirectory(target.writeTo, target.canonical);
  if (isRefusedWhileInUse(code)) {
    throw IOError("the folder " + std::string(target.path) + " could not be put in place: " +
                      heldByAnotherProgram("a file in " + target.writeTo),
                  "installPayload");
  }
  throwIfFailed(system, code, target.path, "installPayload");
}

// One installation at a time per target directory, from this machine or from
// another one that shares it: each run holds a lock file beside the target,
// in its parent, which exists before the target does and is the same file
// for every spelling of the target. A run that may not write in the parent
// holds one inside the existing target instead; a run that may holds that
// one too. The files go when the run ends, however it ends.
class TargetLocks {
 public:
  // makeParent makes the directory of a target's beside lock again: false
  // when it cannot.
  TargetLocks(System& system, Identities& identities, std::function<bool(const Target&)> makeParent)
      : system_(system), identities_(identities), makeParent_(std::move(makeParent)) {}

  void release() { held_.clear(); }

  // Whether this run holds a lock for target now; false when none can be
  // made there, for any other reason than another run holding it (the
  // directory step's box says so). Throws IOError when another installation
  // holds it.
  bool lock(const Target& target) {
    const std::string beside = besideLockOf(target.canonical);
    for (int attempt = 0;; ++attempt) {
      const std::uint32_t besideCode = beside.empty() ? kErrorPathNotFound : hold(beside, target);
      std::uint32_t insideCode = kErrorPathNotFound;
      if (system_.pathKind(target.canonical) == PathKind::directory) {
        insideCode = hold(target.canonical + "\\" + std::string(kLockSuffix), target);
      }
      if (besideCode == 0 || insideCode == 0) return true;
      // The directory made for the lock is gone again, as another run's
      // undo removes the one it made: made once more, a few times.
      if (beside.empty() || besideCode != kErrorPathNotFound || attempt == 3 ||
          !makeParent_(target)) {
        return false;
      }
    }
  }

 private:
  [[noreturn]] static void busy(const Target& target, std::string_view lock) {
    throw IOError("another installation is running in " + std::string(target.path) +
                      ": try again once it has finished. It holds the lock file " +
                      std::string(lock) +
                      "; on a file server, a computer that stopped may keep holding it for a "
                      "few minutes.",
                  "installPayload");
  }

  // 0 when this run holds path now (or held it already); else the error.
  // What stands there and nobody holds is a leftover, removed as a name: a
  // lock file of a run that ended with the machine, or a file or link
  // planted there. A folder there is not ours.
  std::uint32_t hold(const std::string& path, const Target& target) {
    // Keyed by the directory it is in: two spellings of one lock are one
    // lock.
    const std::string key = nameKeyOf(identities_, path);
    if (held_.contains(key)) return 0;
    std::unique_ptr<HeldFile> file;
    // A lock file of an earlier run that a scanner held when it was deleted
    // stays delete-pending until the scanner lets go.
    const auto create = [&] {
      return retryWhile(
          system_, [&] { return system_.holdFile(path, &file); },
          [](std::uint32_t code) { return code == kErrorDeletePending; });
    };
    std::uint32_t code = create();
    if (code == kErrorFileExists) {
      if (system_.isHeld(path)) busy(target, path);
      if (isFolder(system_, path)) folderInTheWay(path);
      const std::uint32_t removed = retryWhileInUse(system_, [&] { return system_.removeName(path); });
      if (removed == kErrorAccessDenied) {
        throw IOError("the lock file " + path +
                          " of an earlier installation, by another user, cannot be removed with "
                          "your permissions: if no installation is running in " +
                          std::string(target.path) + ", have it removed, then try again",
                      "installPayload");
      }
      code = create();
      if (code == kErrorFileExists && system_.isHeld(path)) busy(target, path);
    }
    if (code == kErrorDeletePending) {
      throw IOError(heldByAnotherProgram("the lock file " + path + " of an earlier installation"),
                    "installPayload");
    }
    if (code == kErrorSharingViolation) busy(target, path);
    if (code == 0) held_.emplace(key, std::move(file));
    return code;
  }

  System& system_;
  Identities& identities_;
  std::function<bool(const Target&)> makeParent_;
  std::map<std::string, std::unique_ptr<HeldFile>> held_;  // by nameKeyOf
};

void installEntries(System& system, InstallJournal& journal, const Target& palette,
                    const Target& script, std::string_view libraryRoot,
                    std::span<const PayloadEntry> table) {
  const std::string relative = relativeScriptDir(script.path, libraryRoot);
  const std::string pathLine = "path = '" + replaceAll(script.path, "\\", "\\\\") + "'";

  std::string content;  // one buffer for every entry
  for (const PayloadEntry& entry : table) {
    decompressEntry(entry, content);
    const Target& target = entry.isPalette ? palette : script;
    const std::string relativePath = relativePathOf(entry);
    if (entry.isPalette && isPartDefinition(entry.name)) {
      for (const std::string_view scriptName : scriptNames) {
        const std::string reference = std::string(kReferencePrefix) + std::string(scriptName);
        content = replaceWholeWords(content, reference, relative + "\\" + std::string(scriptName));
      }
      if (content.empty()) continue;
    } else if (!entry.isPalette && isScriptName(entry.name)) {
      content = replaceWholeWords(content, defaultPathLine, pathLine);
    }
    const std::string destination = std::string(target.path) + relativePath;
    if (target.staged()) {
      writeStaged(system, journal, target.writeTo + relativePath, destination, content);
    } else {
      installFile(system, journal, destination, content);
    }
  }
  moveIntoPlace(system, journal, palette);
  moveIntoPlace(system, journal, script);
}

// The directory step's boxes for targets that cannot be made at all, shown
// before anything is created: a text that names no directory Windows can
// create, and directories longer than it allows. The five calls each show
// theirs, in order. True when any was shown.
bool refuseImpossibleDirectories(System& system, std::string_view paletteText,
                                 std::string_view scriptText, NativeWindow owner) {
  const auto impossible = [](std::string_view dir) {
    return cannotBeDirectory(dir) || utf16Length(canonicalDirectory(dir)) > kMaxDirectoryPath;
  };
  std::vector<bool> refused = {impossible(paletteText)};
  if (!scriptText.empty()) {
    refused.push_back(impossible(scriptText));
    for (const std::string_view suffix : kScriptSubDirectories) {
      refused.push_back(impossible(std::string(scriptText) + std::string(suffix)));
    }
  }
  bool any = false;
  for (const bool shown : refused) {
    if (!shown) continue;
    system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
    any = true;
  }
  return any;
}

// Files whose paths would be longer than Windows lets a program use are
// refused before anything is made, naming the longest. A staged target has
// been measured with its staging name already.
void refuseLongFilePaths(const Target& target, const Contents& contents) {
  if (target.staged() || contents.longestFileName.empty()) return;
  if (utf16Length(target.canonical) + contents.longestFile + kLongestOwnSuffix <= kMaxFilePath) {
    return;
  }
  throw IOError("the path " + std::string(target.path) + contents.longestFileName +
                    " is too long for Windows, which takes 259 characters with the "
                    "installation's own names beside it; choose a shorter folder",
                "installPayload");
}

// A target may not be, or lie below, a name that the installation keeps for
// the other target's lock: that lock would have to remove it.
void refuseLockNameClash(Identities& identities, const Target& target, const Target& other) {
  // The other target and each of its ancestors, by the directories that
  // hold them.
  std::set<std::string> otherNames;
  // Only a name like the lock's can be the lock's.
  const auto lastName = [](std::string_view path) {
    return toLowerUnicode(path.substr(path.find_last_of('\\') + 1));
  };
  const std::string besideName = lastName(besideLockOf(target.canonical));
  for (std::string_view path = other.canonical; !path.empty(); path = parentOf(path)) {
    if (const std::string name = lastName(path);
        name == besideName || name == std::string(kLockSuffix)) {
      otherNames.insert(nameKeyOf(identities, path));
    }
  }
  for (const std::string& lock :
       {besideLockOf(target.canonical), target.canonical + "\\" + std::string(kLockSuffix)}) {
    if (lock.empty() || !otherNames.contains(nameKeyOf(identities, lock))) continue;
    throw IOError(std::string(other.path) + " bears the name " + lock +
                      " that the installation keeps for the lock of " + std::string(target.path) +
                      ": choose another folder for one of them",
                  "installPayload");
  }
}

// Controlled Folder Access, Defender's protection against ransomware, which
// managed offices turn on, refuses writes below Documents by programs it
// does not know, as access denied: the user cannot tell it from a
// permission without a word.
constexpr std::string_view kControlledFolderAccess =
    "\nIf Windows Security's controlled folder access is on, it keeps unknown programs from "
    "writing below Documents: allow setup.exe there (Virus & threat protection, Ransomware "
    "protection), or choose a folder outside Documents, then try again.";

bool refusedAccess(const Error& e) {
  if (const auto* os = dynamic_cast<const OSError*>(&e)) return os->code() == kErrorAccessDenied;
  return dynamic_cast<const IOError*>(&e) != nullptr && e.message().starts_with("cannot open: ");
}

// Whether text names a folder at or below the user's Documents or the
// public one, which controlled folder access protects.
bool belowDocuments(System& system, std::string_view text) {
  const std::string target = toLowerUnicode(canonicalDirectory(text)) + "\\";
  for (const std::string_view profile : {"USERPROFILE", "PUBLIC"}) {
    const std::optional<std::string> root = system.environmentVariable(profile);
    if (!root || root->empty()) continue;
    if (target.starts_with(toLowerUnicode(canonicalDirectory(*root + "\\Documents")) + "\\")) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool existsOrCreateDir(System& system, std::string_view dir) {
  const std::uint32_t code = system.createDirectory(dir);
  if (code == 0) return false;
  if (code == kErrorAlreadyExists) {
    if (system.pathKind(dir) == PathKind::directory) return true;
    throw IOError("Failed to create '" + std::string(dir) + "'", "existsOrCreateDir");
  }
  throw OSError(static_cast<std::int32_t>(code), system.errorText(code), dir, "existsOrCreateDir");
}

bool createDirectory(System& system, std::string_view path, NativeWindow owner,
                     InstallJournal* journal) {
  const auto refuse = [&] {
    system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
    return false;
  };
  // An empty text would count as the current directory, and the files of its
  // side would land below the root of the current drive.
  if (path.empty()) return refuse();
  try {
    createDirectories(system, path, journal);
  } catch (const OSError&) {
    return refuse();
  }
  return true;
}

std::string backupIfChanged(System& system, std::string_view path, std::string_view newContent) {
  if (system.pathKind(path) != PathKind::file) return {};
  return moveAsideIfDifferent(system, path, newContent);
}

std::string relativeScriptDir(std::string_view scriptText, std::string_view libraryRoot) {
  const std::string scriptDir =
      joinPath(toLowerUnicode(libraryRoot), toLowerUnicode(kScriptDirName));
  // Only a script text that begins with the library's script directory is
  // made relative; a match further on must not cut the start of the path.
  if (!toLowerUnicode(scriptText).starts_with(scriptDir)) return std::string(scriptText);
  // Lower-casing may change a character's length (U+212A KELVIN SIGN becomes
  // "k"), so cut the original at the prefix that lower-cases to scriptDir.
  std::size_t prefix = scriptDir.size();
  for (std::size_t k = 0; k <= scriptText.size(); ++k) {
    if (toLowerUnicode(scriptText.substr(0, k)) == scriptDir) {
      prefix = k;
      break;
    }
  }
  // A longer name that only begins like the script directory's
  // ("PythonPartsScriptsX") is another directory.
  if (prefix < scriptText.size() && !isSeparator(scriptText[prefix])) {
    return std::string(scriptText);
  }
  // One byte more: the separator after the script directory's name.
  return std::string(scriptText.substr(std::min(prefix + 1, scriptText.size())));
}

void installPayload(System& system, std::string_view paletteText, std::string_view scriptText,
                    std::string_view libraryRoot, NativeWindow owner,
                    std::span<const PayloadEntry> table) {
  if (refuseImpossibleDirectories(system, paletteText, scriptText, owner)) return;
  // The directories that hold the lock files are removed, if this run made
  // them, only once the lock files are gone; all else is undone under the
  // locks, with the directories it writes into still held.
  InstallJournal lockParents(system);
  const auto makeParent = [&](const Target& target) {
    const std::string parent = lockParentOf(target.canonical);
    if (parent.empty()) return true;
    try {
      createDirectories(system, parent, &lockParents);
    } catch (const OSError&) {
      return false;
    }
    return true;
  };
  // Asked only once the directories for the locks exist.
  Identities identities(system);
  TargetLocks locks(system, identities, makeParent);
  InstallJournal journal(system);
  const auto undo = [&] {
    std::vector<std::string> problems = journal.undo();
    locks.release();
    for (std::string& problem : lockParents.undo()) problems.push_back(std::move(problem));
    return problems;
  };
  try {
    const Contents paletteContents = contentsOf(table, true);
    const Contents scriptContents = contentsOf(table, false);
    Target palette = targetOf(paletteText);
    Target script = targetOf(scriptText);

    // Nothing but the directories that hold the locks is made before the
    // locks are held, and no step follows unless this run holds a lock for
    // each target. A target that cannot be locked shows the directory
    // step's box.
    bool paletteLocked = paletteText.empty() || makeParent(palette);
    bool scriptLocked = scriptText.empty() || makeParent(script);
    palette.place = placeOf(identities, palette.canonical);
    script.place = placeOf(identities, script.canonical);
    refuseLockNameClash(identities, palette, script);
    refuseLockNameClash(identities, script, palette);
    // In one order for every run, so that of two runs started together one
    // gets both; one directory typed twice is locked once.
    const Target* first = &palette;
    const Target* second = &script;
    if (second->place.key < first->place.key) std::swap(first, second);
    if (paletteLocked && scriptLocked) {
      for (const Target* target : {first, second}) {
        if (target->path.empty()) continue;  // refused by the directory step
        if (target == second && second->place.key == first->place.key) break;
        if (!locks.lock(*target)) (target == &palette ? paletteLocked : scriptLocked) = false;
      }
    }
    if (!paletteLocked || !scriptLocked) {
      // The directory step's boxes as they would be: a script directory
      // that cannot be made has none of its sub-directories either.
      const int boxes = (paletteLocked ? 0 : 1) + (scriptLocked ? 0 : 4);
      for (int box = 0; box < boxes; ++box) {
        system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
      }
      undo();
      return;
    }
    refuseLinksBelow(system, palette, paletteContents);
    refuseLinksBelow(system, script, scriptContents);
    chooseStaging(system, identities, palette, script, paletteContents);
    chooseStaging(system, identities, script, palette, scriptContents);
    refuseLongFilePaths(palette, paletteContents);
    refuseLongFilePaths(script, scriptContents);

    // Every directory is tried, so that each failure shows its box at once;
    // each is held as soon as it is there, before anything is made in it.
    DirectoryHolder holder(system, journal);
    const auto makeTarget = [&](Target& target, const Contents& contents) {
      if (!createTarget(system, target, owner, journal, contents)) return false;
      holder.holdTarget(target);
      return true;
    };
    const auto makeBelow = [&](const Target& target, std::string_view relative) {
      const std::string dir = target.writeTo + std::string(relative);
      if (!createDirectory(system, dir, owner, &journal)) return false;
      holder.hold(dir, std::string(target.path) + std::string(relative));
      return true;
    };
    bool created = makeTarget(palette, paletteContents);
    created = makeTarget(script, scriptContents) && created;
    // The script's three sub-directories, which come first in its contents,
    // are the directory step's own calls, made whatever the earlier ones
    // returned. A payload of one's own may have further sub-directories,
    // which its files need as much; below a target that failed they would
    // only add boxes. Below an empty text they would land at the root of the
    // current drive; that text has been refused already.
    for (const auto& [target, contents] :
         {std::pair<const Target*, const Contents*>{&palette, &paletteContents},
          {&script, &scriptContents}}) {
      if (target->path.empty()) continue;
      for (std::size_t i = 0; i < contents->spelled.size(); ++i) {
        const bool stepCall = target == &script && i < std::size(kScriptSubDirectories);
        if (stepCall || created) created = makeBelow(*target, contents->spelled[i]) && created;
      }
    }
    if (!created) {
      // Only empty directories to remove; the boxes have said what failed.
      undo();
      return;
    }
    installEntries(system, journal, palette, script, libraryRoot, table);
  } catch (Error& e) {
    if (refusedAccess(e) && (belowDocuments(system, paletteText) ||
                             belowDocuments(system, scriptText))) {
      e.appendToMessage(kControlledFolderAccess);
    }
    if (const auto problems = undo(); !problems.empty()) e.appendToMessage(undoReport(problems));
    throw;
  } catch (...) {
    undo();
    throw;
  }
  system.exitProcess(0);
}

}  // namespace setup
