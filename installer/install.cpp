#include "installer/install.h"

#include <algorithm>
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
  // The bytes decide: a 32-bit checksum alone would let a changed file whose
  // checksum happens to match go without a back-up.
  if (hasContent(system, path, newContent)) return {};
  const std::string backup = std::string(path) + "_" + decimal(tickCount(system));
  throwIfFailed(system, system.moveFileReplacing(path, backup),
                "(" + quoted(path) + ", " + quoted(backup) + ")", "backupIfChanged");
  return backup;
}

// The entry's content, checked before any of it reaches the disk: a damaged
// download must not install a corrupted file.
void decompressEntry(const PayloadEntry& entry, std::string& content) {
  const auto damaged = [&](std::string_view why) {
    return PayloadError("The installer is damaged: its copy of " + quoted(entry.name) + " " +
                            std::string(why) + ". Download the installer again.",
                        "installPayload");
  };
  try {
    uncompress(entry.compressed, content);
  } catch (const SnappyError&) {
    throw damaged("cannot be decompressed");
  }
  if (contentHash(content) != entry.hash) throw damaged("does not match its checksum");
}

// Writes content beside destination under a temporary name, then renames it
// over destination in one step, so that a failed or interrupted write leaves
// the previous file, or none, and never a part of the new one. A temporary
// file left by an interrupted installation is simply written over.
void installFile(System& system, InstallJournal& journal, const std::string& destination,
                 std::string_view content) {
  const std::string temporary = destination + std::string(kTemporarySuffix);
  journal.writingTemporary(temporary);
  bool replacing = false;
  std::uint32_t renameError = 0;
  const FileStatus status = system.writeThenRename(
      temporary, destination, content,
      [&] {
        // The new file is complete before the old one leaves its place. A
        // directory there cannot be opened as a file.
        replacing = true;
        const std::string backup = moveAsideIfDifferent(system, destination, content);
        if (!backup.empty()) journal.movedAside(destination, backup);
      },
      &renameError);
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

// Staging needs a directory that is missing and that does not contain the
// other target, nor lies in it: their renames would cross.
Target targetFor(System& system, std::string_view path, std::string_view other) {
  Target target{path, std::string(path)};
  if (!isPlainAbsolute(path)) return target;
  const std::string key = pathKey(path) + "\\";
  const std::string otherKey = pathKey(other) + "\\";
  if (key.starts_with(otherKey) || otherKey.starts_with(key)) return target;
  if (system.pathKind(path) != PathKind::missing) return target;
  target.writeTo += kTemporarySuffix;
  return target;
}

// Where an entry's file goes below its target, from the separator on.
std::string relativePathOf(const PayloadEntry& entry) {
  const std::string name = entry.isPalette
                               ? replaceAll(entry.name, kOrderListWord, kOrderListFrench)
                               : std::string(entry.name);
  return "\\" + std::string(entry.subDir) + name;
}

// What the installation puts below one target, by the pathKey of each
// relative path: its files, and the directories that hold them.
struct Contents {
  std::set<std::string> files;
  std::set<std::string> directories;
};

Contents contentsOf(std::span<const PayloadEntry> table, bool palette) {
  Contents contents;
  for (const PayloadEntry& entry : table) {
    if (entry.isPalette != palette) continue;
    const std::string key = pathKey(relativePathOf(entry));
    for (std::size_t cut = key.find('\\', 1); cut != std::string::npos;
         cut = key.find('\\', cut + 1)) {
      contents.directories.insert(key.substr(0, cut));
    }
    contents.files.insert(key);
  }
  if (!palette) {
    for (const std::string_view dir : kScriptSubDirectories)
      contents.directories.insert(pathKey(dir));
  }
  return contents;
}

// Removes below dir (whose relative path has the pathKey key) everything that
// keep does not name; without keep, everything.
void removeStrays(System& system, const std::string& dir, const std::string& key,
                  const Contents* keep) {
  std::vector<DirectoryItem> items;
  // A leftover that cannot be cleared is named as it stands: the user has to
  // remove it.
  throwIfFailed(system, system.listDirectory(dir, &items), dir, "installPayload");
  for (const DirectoryItem& item : items) {
    const std::string path = dir + "\\" + item.name;
    const std::string itemKey = key + "\\" + toLowerUnicode(item.name);
    if (item.isDirectory) {
      const bool kept = keep != nullptr && keep->directories.contains(itemKey);
      removeStrays(system, path, itemKey, kept ? keep : nullptr);
      if (!kept) throwIfFailed(system, system.removeDirectory(path), path, "installPayload");
    } else if (keep == nullptr || !keep->files.contains(itemKey)) {
      throwIfFailed(system, system.deleteFile(path), path, "installPayload");
    }
  }
}

// Creates a target's directory (a staged one under its temporary name). A
// leftover staging directory of an interrupted installation is taken over,
// but only with the files that this installation writes there: a killed run
// of another version may have left files that this payload lacks, and they
// would move into place with the directory.
bool createTarget(System& system, const Target& target, NativeWindow owner, InstallJournal& journal,
                  std::span<const PayloadEntry> table, bool palette) {
  if (!createDirectory(system, target.writeTo, owner, &journal)) return false;
  if (target.staged() && journal.takingOver(target.writeTo)) {
    const Contents keep = contentsOf(table, palette);
    removeStrays(system, target.writeTo, "", &keep);
  }
  return true;
}

// A file of a staged directory: nothing the user sees is there yet.
void writeStaged(System& system, InstallJournal& journal, const std::string& path,
                 std::string_view destination, std::string_view content) {
  journal.writingTemporary(path);
  checkWritten(system.writeFile(path, content), destination);
}

void moveIntoPlace(System& system, InstallJournal& journal, const Target& target) {
  if (!target.staged()) return;
  throwIfFailed(system, system.moveDirectory(target.writeTo, target.path), target.path,
                "installPayload");
  journal.renamedDirectory(target.writeTo, target.path);
}

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
  const auto create = [&](std::string_view dir) {
    if (!existsOrCreateDir(system, dir) && journal != nullptr) journal->createdDirectory(dir);
  };
  try {
    if (system.pathKind(path) == PathKind::directory) return true;
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
  // One byte more: the separator after the script directory's name.
  return std::string(scriptText.substr(std::min(prefix + 1, scriptText.size())));
}

void installPayload(System& system, std::string_view paletteText, std::string_view scriptText,
                    std::string_view libraryRoot, NativeWindow owner,
                    std::span<const PayloadEntry> table) {
  InstallJournal journal(system);
  try {
    const Target palette = targetFor(system, paletteText, scriptText);
    const Target script = targetFor(system, scriptText, paletteText);
    // Every directory is tried, so that each failure shows its box at once.
    bool created = createTarget(system, palette, owner, journal, table, true);
    created = createTarget(system, script, owner, journal, table, false) && created;
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
      journal.undo();
      return;
    }
    installEntries(system, journal, palette, script, libraryRoot, table);
  } catch (Error& e) {
    if (const auto problems = journal.undo(); !problems.empty()) {
      e.appendToMessage(undoReport(problems));
    }
    throw;
  } catch (...) {
    journal.undo();
    throw;
  }
  system.exitProcess(0);
}

}  // namespace setup
