#include "installer/install.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "installer/directories.h"
#include "installer/journal.h"
#include "installer/locations.h"
#include "installer/locks.h"
#include "installer/staging.h"
#include "installer/steps.h"
#include "installer/targets.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

constexpr std::string_view kPartDefinitionExtension = ".pyp";
constexpr std::string_view kReferencePrefix = "MELDRA\\";
constexpr std::string_view kScriptDirName = "/PythonPartsScripts";

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

// createDirectory's work, without its box: an OSError passes on.
void createDirectories(System& system, std::string_view path) {
  const auto create = [&](std::string_view dir) { existsOrCreateDir(system, dir); };
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

void installEntries(System& system, InstallJournal& journal, InstallJournal& parents,
                    Target& palette, Target& script, std::string_view libraryRoot,
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
    std::string name;
    Directory& dir = directoryOf(target, relativePath, &name);
    if (target.staged()) {
      writeStaged(system, journal, dir, name, target.writeTo + relativePath, destination, content);
    } else {
      installFile(system, journal, dir, name, destination, content);
    }
  }
  // A directory made into a junction while it was empty, whatever its holds,
  // keeps what was written through its handle to itself, but its name leads
  // elsewhere: neither it nor a directory around it may stay in place.
  for (InstallJournal* kept : {&journal, &parents}) {
    if (const std::string changed = kept->changedDirectory(); !changed.empty()) {
      throw IOError(changed +
                        " was made into a link by another program while the installation ran: "
                        "remove that link, then try again",
                    "installPayload");
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

bool createDirectory(System& system, std::string_view path, NativeWindow owner) {
  const auto refuse = [&] {
    system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption, kMessageBoxIconError);
    return false;
  };
  // An empty text would count as the current directory, and the files of its
  // side would land below the root of the current drive.
  if (path.empty()) return refuse();
  try {
    createDirectories(system, path);
  } catch (const OSError&) {
    return refuse();
  }
  return true;
}

std::string backupIfChanged(System& system, std::string_view path, std::string_view newContent) {
  if (system.pathKind(path) != PathKind::file) return {};
  const std::size_t cut = path.find_last_of("\\/");
  const std::string parent(path.substr(0, cut == 0 || path[cut - 1] == ':' ? cut + 1 : cut));
  std::unique_ptr<Directory> dir;
  throwIfFailed(system, system.openDirectory(parent, &dir), parent, "backupIfChanged");
  const std::string_view name = path.substr(cut + 1);
  const std::string backup = moveAsideIfDifferent(system, *dir, name, path, newContent);
  return backup.empty() ? backup : std::string(path) + backup.substr(name.size());
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
  const Contents paletteContents = contentsOf(table, true);
  const Contents scriptContents = contentsOf(table, false);
  Target palette = targetOf(paletteText);
  Target script = targetOf(scriptText);
  // The directories that hold the lock files, with what this run made of
  // them, are removed only once the lock files are gone; all else is undone
  // under the locks, with the directories it writes into still held. The
  // journals own the targets' directories, and go after them.
  InstallJournal lockParents(system);
  Identities identities(system);
  TargetLocks locks(system, identities);
  InstallJournal journal(system);
  const auto undo = [&] {
    std::vector<std::string> problems = journal.undo();
    locks.release();
    for (std::string& problem : lockParents.undo()) problems.push_back(std::move(problem));
    return problems;
  };
  try {
    // Nothing but the directories that hold the locks is made before the
    // locks are held, and no step follows unless this run holds a lock for
    // each target. A target that cannot be locked shows the directory
    // step's box.
    OpenedDirectories opened;
    bool paletteLocked = paletteText.empty() || openParent(system, lockParents, opened, palette);
    bool scriptLocked = scriptText.empty() || openParent(system, lockParents, opened, script);
    // Asked only once the directories for the locks exist.
    palette.place = placeOf(identities, palette.canonical);
    script.place = placeOf(identities, script.canonical);
    refuseLockNameClash(identities, palette, script);
    refuseLockNameClash(identities, script, palette);
    // In one order for every run, so that of two runs started together one
    // gets both; one directory typed twice is locked once.
    Target* first = &palette;
    Target* second = &script;
    if (second->place.key < first->place.key) std::swap(first, second);
    const auto open = [&](Target& target) { openTarget(system, journal, opened, target); };
    if (paletteLocked && scriptLocked) {
      for (Target* target : {first, second}) {
        if (target->path.empty()) continue;  // refused by the directory step
        if (target == second && second->place.key == first->place.key) {
          open(*target);  // the same directory, locked once
          break;
        }
        if (!locks.lock(*target, open)) (target == &palette ? paletteLocked : scriptLocked) = false;
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
    openBelow(journal, palette, paletteContents);
    openBelow(journal, script, scriptContents);
    chooseStaging(identities, palette, script, paletteContents);
    chooseStaging(identities, script, palette, scriptContents);
    refuseLongFilePaths(palette, paletteContents);
    refuseLongFilePaths(script, scriptContents);

    // Every directory is tried, so that each failure shows its box at once;
    // each is made and opened in one call, and held from then on.
    bool created = createTarget(system, palette, owner, journal, opened, paletteContents);
    created = createTarget(system, script, owner, journal, opened, scriptContents) && created;
    // The script's three sub-directories, which come first in its contents,
    // are the directory step's own calls, made whatever the earlier ones
    // returned. A payload of one's own may have further sub-directories,
    // which its files need as much; below a target that failed they would
    // only add boxes. Below an empty text they would land at the root of the
    // current drive; that text has been refused already.
    for (const auto& [target, contents] :
         {std::pair<Target*, const Contents*>{&palette, &paletteContents},
          {&script, &scriptContents}}) {
      if (target->path.empty()) continue;
      for (std::size_t i = 0; i < contents->spelled.size(); ++i) {
        const bool stepCall = target == &script && i < std::size(kScriptSubDirectories);
        if (!stepCall && !created) continue;
        if (!makeBelow(journal, opened, *target, contents->spelled[i])) {
          system.messageBox(owner, kDirectoryErrorText, kDirectoryErrorCaption,
                            kMessageBoxIconError);
          created = false;
        }
      }
    }
    if (!created) {
      // Only empty directories to remove; the boxes have said what failed.
      undo();
      return;
    }
    installEntries(system, journal, lockParents, palette, script, libraryRoot, table);
  } catch (Error& e) {
    if (refusedAccess(e) &&
        (belowDocuments(system, paletteText) || belowDocuments(system, scriptText))) {
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
