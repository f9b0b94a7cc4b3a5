#include "installer/directories.h"

#include <memory>
#include <vector>

#include "installer/locations.h"
#include "installer/steps.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

[[noreturn]] void fileInTheWay(std::string_view path) {
  throw IOError("Failed to create '" + std::string(path) + "'", "existsOrCreateDir");
}

// The last name of path, and what stands before it ("" when nothing does).
std::string_view lastNameOf(std::string_view path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

// The directory that holds a target's own name: its parent, the current
// directory of a drive ("C:" for "C:P") or the current directory itself.
std::string parentPathOf(std::string_view canonical) {
  if (const std::string_view parent = parentOf(canonical); !parent.empty()) {
    return std::string(parent);
  }
  const std::size_t drive = drivePrefixLength(canonical);
  return drive > 0 ? std::string(canonical.substr(0, drive)) : std::string(".");
}

bool isRoot(std::string_view canonical) {
  const std::size_t drive = drivePrefixLength(canonical);
  return canonical == "\\" ||
         (drive > 0 && (canonical.size() == drive ||
                        (canonical.size() == drive + 1 && canonical.back() == '\\')));
}

// name in parent, made and opened in one call, or opened where it exists
// already: *made says which. 0, or the error (kErrorStoppedOnLink for a
// link, kErrorDirectory for a file).
std::uint32_t makeOrOpen(Directory& parent, std::string_view name, std::unique_ptr<Directory>* dir,
                         bool* made) {
  std::uint32_t code = parent.makeDirectory(name, false, dir);
  *made = code == 0;
  if (code == kErrorAlreadyExists) code = parent.openDirectory(name, false, dir);
  return code;
}

}  // namespace

Directory* findOpened(const OpenedDirectories& opened, std::string_view path) {
  const auto found = opened.find(toLowerUnicode(path));
  return found == opened.end() ? nullptr : found->second;
}

Directory& addOpened(OpenedDirectories& opened, Directory& dir) {
  opened.emplace(toLowerUnicode(dir.path()), &dir);
  return dir;
}

[[noreturn]] void linkInTheWay(std::string_view path) {
  throw IOError(std::string(path) +
                    " is a link to another folder: the installation writes into no folder "
                    "through a link; replace it by a folder",
                "installPayload");
}

bool openParent(System& system, InstallJournal& made, OpenedDirectories& opened, Target& target) {
  if (isRoot(target.canonical)) return true;
  // The deepest directory on the way that exists, by its path.
  std::string existing = parentPathOf(target.canonical);
  std::vector<std::string> missing;
  Directory* at = nullptr;
  for (;;) {
    if ((at = findOpened(opened, existing)) != nullptr) break;
    std::unique_ptr<Directory> dir;
    const std::uint32_t code = system.openDirectory(existing, &dir);
    if (code == 0) {
      at = &addOpened(opened, made.keep(std::move(dir)));
      break;
    }
    if (code == kErrorDirectory) fileInTheWay(existing);
    // Up to a root, or to the current directory of a relative text.
    const bool top =
        isRoot(existing) || existing == "." || existing.size() == drivePrefixLength(existing);
    if (!isGone(code) || top) return false;
    missing.emplace_back(lastNameOf(existing));
    existing = parentPathOf(existing);
  }
  for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
    std::unique_ptr<Directory> child;
    bool wasMade = false;
    const std::uint32_t code = makeOrOpen(*at, *name, &child, &wasMade);
    const std::string shown = at->path() + "\\" + std::string(*name);
    if (code == kErrorStoppedOnLink) linkInTheWay(shown);
    if (code == kErrorDirectory) fileInTheWay(shown);
    if (code != 0) return false;
    Directory& above = *at;
    at = &addOpened(opened, made.keep(std::move(child)));
    if (wasMade) made.createdDirectory(*at, above, *name);
  }
  target.parent = at;
  return true;
}

void openTarget(System& system, InstallJournal& journal, OpenedDirectories& opened,
                Target& target) {
  if ((target.dir = findOpened(opened, target.canonical)) != nullptr) return;
  std::unique_ptr<Directory> dir;
  std::uint32_t code = 0;
  if (target.parent == nullptr) {
    // A root: nothing holds its name, and a missing one cannot be made.
    if (system.openDirectory(target.canonical, &dir) != 0) return;
  } else if (const NameKind kind = target.parent->nameKind(target.name());
             kind == NameKind::directory) {
    code = target.parent->openDirectory(target.name(), false, &dir);
  } else if (kind == NameKind::link) {
    // The user's own link to the folder of their choice.
    code = system.openDirectory(target.canonical, &dir);
  } else {
    return;
  }
  // A target that is there but cannot be opened is not a missing one.
  if (code == kErrorStoppedOnLink) linkInTheWay(target.path);
  throwIfFailed(system, code, target.path, "installPayload");
  target.dir = &addOpened(opened, journal.keep(std::move(dir)));
}

void openBelow(InstallJournal& journal, Target& target, const Contents& contents) {
  if (target.dir == nullptr) return;
  // Parents come first: each is checked before what lies in it.
  for (const std::string& relative : contents.spelled) {
    const std::size_t cut = relative.find_last_of('\\');
    Directory* above = target.dir;
    if (cut > 0) {
      const auto found = target.below.find(pathKey(relative.substr(0, cut)));
      if (found == target.below.end()) continue;  // missing: nothing below it exists
      above = found->second;
    }
    const std::string name = relative.substr(cut + 1);
    const NameKind kind = above->nameKind(name);
    if (kind == NameKind::link) linkInTheWay(std::string(target.path) + relative);
    if (kind != NameKind::directory) continue;
    std::unique_ptr<Directory> dir;
    const std::uint32_t code = above->openDirectory(name, false, &dir);
    if (code == kErrorStoppedOnLink) linkInTheWay(std::string(target.path) + relative);
    if (code == 0) target.below[pathKey(relative)] = &journal.keep(std::move(dir));
  }
}

bool makeBelow(InstallJournal& journal, OpenedDirectories& opened, Target& target,
               std::string_view relative) {
  const std::string key = pathKey(relative);
  if (target.below.contains(key)) return true;
  if (target.dir != nullptr) {
    if (Directory* known = findOpened(opened, target.dir->path() + key)) {
      target.below[key] = known;
      return true;
    }
  }
  const std::size_t cut = relative.find_last_of("\\/");
  Directory* above = target.dir;
  if (cut > 0) {
    const auto found = target.below.find(pathKey(relative.substr(0, cut)));
    above = found == target.below.end() ? nullptr : found->second;
  }
  if (above == nullptr) return false;  // the directory above could not be made
  std::unique_ptr<Directory> dir;
  bool made = false;
  const std::uint32_t code = makeOrOpen(*above, relative.substr(cut + 1), &dir, &made);
  // Named as the user knows it, or by its staging name while staged.
  const std::string shown = target.writeTo + std::string(relative);
  if (code == kErrorStoppedOnLink) linkInTheWay(shown);
  if (code == kErrorDirectory) fileInTheWay(shown);
  if (code != 0) return false;
  Directory& kept =
      addOpened(opened, journal.keep(std::move(dir), target.staged() ? target.dir : nullptr));
  if (made) journal.createdDirectory(kept, *above, relative.substr(cut + 1));
  target.below[key] = &kept;
  return true;
}

Directory& directoryOf(const Target& target, std::string_view relativeFile, std::string* name) {
  const std::size_t cut = relativeFile.find_last_of("\\/");
  *name = std::string(relativeFile.substr(cut + 1));
  if (cut == 0) return *target.dir;
  const auto found = target.below.find(pathKey(relativeFile.substr(0, cut)));
  if (found == target.below.end()) {
    throw AssertionDefect("no directory for " + std::string(relativeFile), "installPayload");
  }
  return *found->second;
}

}  // namespace setup
