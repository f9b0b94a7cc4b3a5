// One installation at a time per target directory, from this machine or
// from another one that shares it: each run holds a lock file beside the
// target, DIR.setup-lock in its parent, which exists before the target does
// and is the same file for every spelling of the target, and DIR\.setup-lock
// inside an existing target; either is enough. A lock is created new, held
// with no sharing and deleted when the run ends, however it ends. Of two runs
// started together one gets both locks: they take them in one order. A lock
// that nobody holds is a leftover and goes; a folder at a lock's name, or one
// of the user's that bears the other target's lock name, is refused.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "installer/system.h"
#include "installer/targets.h"

namespace setup {

inline constexpr std::string_view kLockSuffix = ".setup-lock";

// The lock file beside target (canonical), or "" for a root (a drive, a
// share, a lone "\"). Where that name would be longer than a name or a path
// may be, the lock is the parent's own, inside it: all targets with such
// names there share it.
std::string besideLockOf(std::string_view target);

// The directory in which the lock beside target is made, which must exist
// first: "" when there is none to create (the current directory, or a root,
// which is locked inside).
std::string lockParentOf(std::string_view target);

class TargetLocks {
 public:
  // makeParent makes the directory of a target's beside lock again: false
  // when it cannot.
  TargetLocks(System& system, Identities& identities, std::function<bool(const Target&)> makeParent)
      : system_(system), identities_(identities), makeParent_(std::move(makeParent)) {}

  void release();

  // Whether this run holds a lock for target now; false when none can be
  // made there, for any other reason than another run holding it (the
  // directory step's box says so). Throws IOError when another installation
  // holds it, and when an earlier lock file cannot be removed.
  bool lock(const Target& target);

 private:
  // 0 when this run holds path now (or held it already); else the error.
  std::uint32_t hold(const std::string& path, const Target& target);

  System& system_;
  Identities& identities_;
  std::function<bool(const Target&)> makeParent_;
  std::map<std::string, std::unique_ptr<HeldFile>> held_;  // by nameKeyOf
};

// A target may not be, or lie below, a name that the installation keeps for
// the other target's lock: that lock would have to remove it. Throws
// IOError naming both.
void refuseLockNameClash(Identities& identities, const Target& target, const Target& other);

}  // namespace setup
