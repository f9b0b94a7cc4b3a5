#include "installer/locks.h"

#include <set>

#include "installer/locations.h"
#include "installer/retry.h"
#include "installer/steps.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {

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

void TargetLocks::release() {
  held_.clear();
}

bool TargetLocks::lock(Target& target, const std::function<void(Target&)>& openTarget) {
  const std::string beside = besideLockOf(target.canonical);
  const std::uint32_t besideCode = beside.empty() || target.parent == nullptr
                                       ? kErrorPathNotFound
                                       : hold(*target.parent, beside, target);
  openTarget(target);
  std::uint32_t insideCode = kErrorPathNotFound;
  if (target.dir != nullptr) {
    insideCode = hold(*target.dir, target.canonical + "\\" + std::string(kLockSuffix), target);
  }
  return besideCode == 0 || insideCode == 0;
}

namespace {

[[noreturn]] void busy(const Target& target, std::string_view lock) {
  throw IOError("another installation is running in " + std::string(target.path) +
                    ": try again once it has finished. It holds the lock file " +
                    std::string(lock) +
                    "; on a file server, a computer that stopped may keep holding it for a "
                    "few minutes.",
                "installPayload");
}

}  // namespace

// What stands at a lock's name and nobody holds is a leftover, removed as a
// name: a lock file of a run that ended with the machine, or a file or link
// planted there. A folder there is not ours.
std::uint32_t TargetLocks::hold(Directory& dir, const std::string& path, const Target& target) {
  // Keyed by the directory it is in: two spellings of one lock are one
  // lock.
  const std::string key = nameKeyOf(identities_, path);
  if (held_.contains(key)) return 0;
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  std::unique_ptr<HeldFile> file;
  // A lock file of an earlier run that a scanner held when it was deleted
  // stays delete-pending until the scanner lets go.
  const auto create = [&] {
    return retryWhile(
        system_, [&] { return dir.holdFile(name, &file); },
        [](std::uint32_t code) { return code == kErrorDeletePending; });
  };
  std::uint32_t code = create();
  if (code == kErrorFileExists) {
    if (dir.isHeld(name)) busy(target, path);
    if (isFolder(system_, dir, name)) folderInTheWay(path);
    const std::uint32_t removed = retryWhileInUse(system_, [&] { return dir.removeName(name); });
    if (removed == kErrorAccessDenied) {
      throw IOError("the lock file " + path +
                        " of an earlier installation, by another user, cannot be removed with "
                        "your permissions: if no installation is running in " +
                        std::string(target.path) + ", have it removed, then try again",
                    "installPayload");
    }
    code = create();
    if (code == kErrorFileExists && dir.isHeld(name)) busy(target, path);
  }
  if (code == kErrorDeletePending) {
    throw IOError(heldByAnotherProgram("the lock file " + path + " of an earlier installation"),
                  "installPayload");
  }
  if (code == kErrorSharingViolation) busy(target, path);
  if (code == 0) held_.emplace(key, std::move(file));
  return code;
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

}  // namespace setup
