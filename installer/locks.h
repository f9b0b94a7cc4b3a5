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

class TargetLocks {
 public:
  TargetLocks(System& system, Identities& identities) : system_(system), identities_(identities) {}

  void release();

  // Whether this run holds a lock for target now, in its parent or inside
  // it (both opened already, when they exist); false when none can be made
  // there, for any other reason than another run holding it (the directory
  // step's box says so). Throws IOError when another installation holds it,
  // and when an earlier lock file cannot be removed.
  // openTarget runs once the lock beside is held (or cannot be), before the
  // one inside: what the run finds of the target is then what no other run
  // is changing.
  bool lock(Target& target, const std::function<void(Target&)>& openTarget);

 private:
  // 0 when this run holds the lock path, a name in dir, now (or held it
  // already); else the error.
  std::uint32_t hold(Directory& dir, const std::string& path, const Target& target);

  System& system_;
  Identities& identities_;
  std::map<std::string, std::unique_ptr<HeldFile>> held_;  // by nameKeyOf
};

// A target may not be, or lie below, a name that the installation keeps for
// the other target's lock: that lock would have to remove it. Throws
// IOError naming both.
void refuseLockNameClash(Identities& identities, const Target& target, const Target& other);

}  // namespace setup
