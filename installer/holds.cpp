#include "installer/holds.h"

#include "installer/steps.h"
#include "runtime/errors.h"

namespace setup {

[[noreturn]] void linkInTheWay(std::string_view path) {
  throw IOError(std::string(path) +
                    " is a link to another folder: the installation writes into no folder "
                    "through a link; replace it by a folder",
                "installPayload");
}

void DirectoryHolder::holdTarget(const Target& target) {
  if (target.staged() || system_.nameKind(target.writeTo) != NameKind::link) {
    hold(target.writeTo, std::string(target.path), target.staged());
  }
}

void DirectoryHolder::hold(const std::string& dir, const std::string& shown, bool toMove) {
  // One directory held twice, as both targets may name it, is no
  // conflict: neither handle asks to delete it.
  std::unique_ptr<HeldDirectory> held;
  const std::uint32_t code = system_.holdDirectory(dir, toMove, &held);
  if (code == kErrorStoppedOnLink) linkInTheWay(dir);
  if (isGone(code)) return;
  throwIfFailed(system_, code, shown, "installPayload");
  journal_.holding(dir, std::move(held));
}

// No folder below an existing target may be a link: the installation would
// write its files, and rename the user's, in the folder it leads to.
void refuseLinksBelow(System& system, const Target& target, const Contents& contents) {
  if (system.pathKind(target.path) != PathKind::directory) return;
  for (const std::string& dir : contents.spelled) {
    const std::string path = std::string(target.path) + dir;
    if (system.nameKind(path) == NameKind::link) linkInTheWay(path);
  }
}

}  // namespace setup
