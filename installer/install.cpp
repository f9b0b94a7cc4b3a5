#include "installer/install.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "installer/files.h"
#include "installer/journal.h"
#include "installer/locations.h"
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
  if (system.nameKind(path) != NameKind::link && hasContent(system, path, newContent)) return {};
  const std::string backup = std::string(path) + "_" + decimal(tickCount(system));
  throwIfFailed(system, system.moveFileReplacing(path, backup),
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

// Creates the file path through create, afresh: a leftover at that name of
// an interrupted run, whatever it is (a file, a hard link, a link, an empty
// directory), is removed as a name first, never opened, so that nothing is
// written through a link or into bytes that another name shares. Only a file
// this run created is recorded for the undo.
template <typename Create>
FileStatus createFresh(System& system, InstallJournal& journal, const std::string& path,
                       const Create& create) {
  journal.writingTemporary(path);
  FileStatus status = create();
  if (status == FileStatus::exists) {
    // A leftover that cannot be removed is named as it stands: the user has
    // to remove it.
    if (const std::uint32_t code = system.removeName(path); code != 0 && !isGone(code)) {
      journal.notCreated(path);
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
    // file, one that another program holds open): the user is told so.
    if (renameError == kErrorAccessDenied || renameError == kErrorSharingViolation) {
      checkWritten(FileStatus::cannotOpen, destination);
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

// Where the files of one target directory go. A target that does not exist
// yet is filled under a temporary name and renamed into place once all its
// files are written: the whole directory appears in one step, and its files
// need no rename each (under wine that rename costs a third of the write).
struct Target {
  std::string_view path;  // as the user gave it
  std::string writeTo;    // path, or path + kTemporarySuffix while staged

  bool staged() const { return writeTo.size() != path.size(); }
};

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

std::size_t utf16Length(std::string_view text) {
  return utf8ToUtf16(text).size();
}

// What the installation puts below one target: the directories that hold
// its files, by the pathKey of each relative path, and the lengths of the
// longest relative paths.
struct Contents {
  std::set<std::string> directories;
  std::size_t longestDirectory = 0;
  std::size_t longestFile = 0;
};

Contents contentsOf(std::span<const PayloadEntry> table, bool palette) {
  Contents contents;
  const auto addDirectory = [&](const std::string& relative) {
    contents.directories.insert(pathKey(relative));
    contents.longestDirectory = std::max(contents.longestDirectory, utf16Length(relative));
  };
  for (const PayloadEntry& entry : table) {
    if (entry.isPalette != palette) continue;
    const std::string relative = relativePathOf(entry);
    for (std::size_t cut = relative.find_first_of("\\/", 1); cut != std::string::npos;
         cut = relative.find_first_of("\\/", cut + 1)) {
      addDirectory(relative.substr(0, cut));
    }
    contents.longestFile = std::max(contents.longestFile, utf16Length(relative));
  }
  if (!palette) {
    for (const std::string_view dir : kScriptSubDirectories) addDirectory(std::string(dir));
  }
  return contents;
}

// Staging needs a directory that is missing and that does not contain the
// other target, nor lies in it: their renames would cross. Its staging name
// must be free or hold a real directory (a leftover to take over): anything
// else there, a link above all, is not ours to write into, move or clear, and
// the target is then filled file by file. So it is when the staging name or
// the paths below it would be too long where the target's own are not.
Target targetFor(System& system, std::string_view path, std::string_view other,
                 const Contents& contents) {
  Target target{path, std::string(path)};
  if (!isPlainAbsolute(path)) return target;
  const std::string key = pathKey(path) + "\\";
  const std::string otherKey = pathKey(other) + "\\";
  if (key.starts_with(otherKey) || otherKey.starts_with(key)) return target;
  const std::string staged = std::string(path) + std::string(kTemporarySuffix);
  const std::size_t length = utf16Length(staged);
  const std::size_t nameLength = utf16Length(staged.substr(staged.find_last_of("\\/") + 1));
  if (nameLength > kMaxNameLength || length + contents.longestDirectory > kMaxDirectoryPath ||
      length + contents.longestFile > kMaxFilePath) {
    return target;
  }
  if (system.pathKind(path) != PathKind::missing) return target;
  if (const NameKind kind = system.nameKind(staged);
      kind != NameKind::missing && kind != NameKind::directory) {
    return target;
  }
  target.writeTo = staged;
  return target;
}

// Clears dir (whose relative path has the pathKey key) of everything but the
// real directories that keep names, which are cleared in turn; without keep,
// of everything. Files go too, also those the payload installs: each is
// written afresh, so that a hard link left there never shares its bytes with
// the new file. A link is one item, removed as a name: never listed into,
// and what it points to stays as it is.
void clearLeftover(System& system, const std::string& dir, const std::string& key,
                   const Contents* keep) {
  std::vector<DirectoryItem> items;
  // A leftover that cannot be cleared is named as it stands: the user has to
  // remove it.
  throwIfFailed(system, system.listDirectory(dir, &items), dir, "installPayload");
  for (const DirectoryItem& item : items) {
    const std::string path = dir + "\\" + item.name;
    if (item.isDirectory) {
      const std::string itemKey = key + "\\" + toLowerUnicode(item.name);
      const bool kept = keep != nullptr && keep->directories.contains(itemKey);
      clearLeftover(system, path, itemKey, kept ? keep : nullptr);
      if (!kept) throwIfFailed(system, system.removeDirectory(path), path, "installPayload");
    } else {
      throwIfFailed(system, system.removeName(path), path, "installPayload");
    }
  }
}

// Creates a target's directory (a staged one under its temporary name). A
// leftover staging directory of an interrupted installation is taken over,
// but only with the directories that this installation writes into: a killed
// run of another version may have left files that this payload lacks, and
// they would move into place with the directory.
bool createTarget(System& system, const Target& target, NativeWindow owner, InstallJournal& journal,
                  const Contents& contents) {
  if (!createDirectory(system, target.writeTo, owner, &journal)) return false;
  if (target.staged() && journal.takingOver(target.writeTo)) {
    clearLeftover(system, target.writeTo, "", &contents);
  }
  return true;
}

// A file of a staged directory: nothing the user sees is there yet.
void writeStaged(System& system, InstallJournal& journal, const std::string& path,
                 std::string_view destination, std::string_view content) {
  checkWritten(createFresh(system, journal, path, [&] { return system.createFile(path, content); }),
               destination);
}

void moveIntoPlace(System& system, InstallJournal& journal, const Target& target) {
  if (!target.staged()) return;
  throwIfFailed(system, system.moveDirectory(target.writeTo, target.path), target.path,
                "installPayload");
  journal.renamedDirectory(target.writeTo, target.path);
}

constexpr std::string_view kLockSuffix = ".setup-lock";

// One installation at a time per target directory, from this machine or from
// another one that shares it: each run holds a lock file beside the target,
// in its parent, which exists before the target does and is the same file
// for every spelling of the target that differs in case, separators or a
// trailing separator. A run that may not write in the parent holds one inside
// the existing target instead; a run that may holds that one too. The files
// go when the run ends, however it ends.
class TargetLocks {
 public:
  explicit TargetLocks(System& system) : system_(system) {}

  // The directory in which the lock beside target is made, which must exist
  // first: "" when there is none to create (the current directory, or a
  // root, which is locked inside).
  static std::string parentOf(std::string_view target) {
    const std::string beside = besidePath(target);
    const std::size_t cut = beside.find_last_of('\\');
    if (cut == std::string::npos) return {};
    // A root keeps its separator: "C:" alone is the current directory there.
    return beside.substr(0, cut <= drivePrefixLength(beside) ? cut + 1 : cut);
  }

  void release() { held_.clear(); }

  // Throws IOError when another installation is running there.
  void lock(std::string_view target) {
    const std::string beside = besidePath(target);
    std::uint32_t besideCode = kErrorPathNotFound;
    if (!beside.empty()) {
      besideCode = hold(beside, target);
      if (besideCode != 0 && system_.isHeld(beside)) busy(target);
    }
    if (system_.pathKind(target) == PathKind::directory) {
      const std::string inside = canonical(target) + "\\" + std::string(kLockSuffix);
      const std::uint32_t insideCode = hold(inside, target);
      if (insideCode == 0 || besideCode == 0) return;
      throwIfFailed(system_, insideCode, inside, "installPayload");
    }
    // A drive that does not exist has nothing to hold a lock: the directory
    // step says so in its box.
    if (besideCode != kErrorPathNotFound) {
      throwIfFailed(system_, besideCode, beside, "installPayload");
    }
  }

 private:
  // "/" as "\", without trailing separators.
  static std::string canonical(std::string_view target) {
    std::string path = replaceAll(target, "/", "\\");
    while (path.size() > drivePrefixLength(path) && path.size() > 1 && path.back() == '\\') {
      path.pop_back();
    }
    return path;
  }

  // target + kLockSuffix, or "" for a root (a drive, a share, a lone "\\").
  // Where that name would be longer than a name may be, the lock is the
  // parent's own, inside it: all targets with such names there share it.
  static std::string besidePath(std::string_view target) {
    const std::string path = canonical(target);
    if (path.empty() || path.size() <= drivePrefixLength(path) || path == "\\") return {};
    const std::size_t cut = path.find_last_of('\\');
    const std::string_view name =
        std::string_view(path).substr(cut == std::string::npos ? 0 : cut + 1);
    if (utf16Length(name) + kLockSuffix.size() > kMaxNameLength) {
      return path.substr(0, cut == std::string::npos ? 0 : cut + 1) + std::string(kLockSuffix);
    }
    return path + std::string(kLockSuffix);
  }

  [[noreturn]] static void busy(std::string_view target) {
    throw IOError("another installation is running in " + std::string(target) +
                      ": try again once it has finished",
                  "installPayload");
  }

  // 0 when this run holds path now (or held it already); else the error.
  // What stands there and nobody holds is a leftover, removed as a name: a
  // lock file of a run that ended with the machine, or anything planted.
  std::uint32_t hold(const std::string& path, std::string_view target) {
    if (held_.contains(pathKey(path))) return 0;
    std::unique_ptr<HeldFile> file;
    std::uint32_t code = system_.holdFile(path, &file);
    if (code == kErrorFileExists) {
      if (system_.isHeld(path)) busy(target);
      system_.removeName(path);
      code = system_.holdFile(path, &file);
      if (code == kErrorFileExists && system_.isHeld(path)) busy(target);
    }
    if (code == kErrorSharingViolation) busy(target);
    if (code == 0) held_.emplace(pathKey(path), std::move(file));
    return code;
  }

  System& system_;
  std::map<std::string, std::unique_ptr<HeldFile>> held_;  // by pathKey
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
  // The directories that hold the lock files are removed, if this run made
  // them, only once the lock files are gone; all else is undone under the
  // locks.
  InstallJournal lockParents(system);
  TargetLocks locks(system);
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
    // Nothing but the directories that hold the locks is made before the
    // locks are held. A parent that cannot be made shows no box of its own:
    // its target's directory step fails and shows it.
    const auto createParent = [&](std::string_view target) {
      const std::string parent = TargetLocks::parentOf(target);
      if (parent.empty()) return true;
      try {
        createDirectories(system, parent, &lockParents);
      } catch (const OSError&) {
        return false;
      }
      return true;
    };
    const bool paletteParent = createParent(paletteText);
    const bool scriptParent = createParent(scriptText);
    // In one order for every run, so that of two runs started together one
    // gets both.
    std::string_view first = paletteText;
    std::string_view second = scriptText;
    if (pathKey(second) < pathKey(first)) std::swap(first, second);
    for (const std::string_view target : {first, second}) {
      if (target == paletteText ? paletteParent : scriptParent) locks.lock(target);
    }

    // Every directory is tried, so that each failure shows its box at once;
    // one whose parent failed is unlocked, so it is never staged.
    const Target palette = paletteParent
                               ? targetFor(system, paletteText, scriptText, paletteContents)
                               : Target{paletteText, std::string(paletteText)};
    const Target script = scriptParent ? targetFor(system, scriptText, paletteText, scriptContents)
                                       : Target{scriptText, std::string(scriptText)};
    const auto makeTarget = [&](const Target& target, bool locked, const Contents& contents) {
      if (!createTarget(system, target, owner, journal, contents)) return false;
      // Its parent failed a moment ago, and now it did not: locked now,
      // before anything is written.
      if (!locked) locks.lock(target.path);
      return true;
    };
    bool created = makeTarget(palette, paletteParent, paletteContents);
    created = makeTarget(script, scriptParent, scriptContents) && created;
    // Below an empty script text the sub-directories would land at the root
    // of the current drive; that text has been refused already.
    if (!scriptText.empty()) {
      for (const std::string_view suffix : kScriptSubDirectories) {
        created = createDirectory(system, script.writeTo + std::string(suffix), owner, &journal) &&
                  created;
      }
    }
    if (!created) {
      // Only empty directories to remove; the boxes have said what failed.
      undo();
      return;
    }
    installEntries(system, journal, palette, script, libraryRoot, table);
  } catch (Error& e) {
    if (const auto problems = undo(); !problems.empty()) e.appendToMessage(undoReport(problems));
    throw;
  } catch (...) {
    undo();
    throw;
  }
  system.exitProcess(0);
}

}  // namespace setup
