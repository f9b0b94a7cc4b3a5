// The directories a run writes into, held from the moment each is made or
// checked until the run ends: opened without delete sharing, so that nobody
// can rename or remove one, nor a directory above it, and so swap it for a
// link to another folder between the checks and the writes. No folder below
// a target may be a link; the target itself is a path the user chose and is
// followed when it is one, and only what lies below it is held.
#pragma once

#include <string>
#include <string_view>

#include "installer/journal.h"
#include "installer/system.h"
#include "installer/targets.h"

namespace setup {

// Throws the IOError of a link found where the installation would write
// into a folder.
[[noreturn]] void linkInTheWay(std::string_view path);

class DirectoryHolder {
 public:
  DirectoryHolder(System& system, InstallJournal& journal) : system_(system), journal_(journal) {}

  // The target's directory; a staged one is held so that it can be moved
  // into place through its handle.
  void holdTarget(const Target& target);
  // dir, until the journal lets it go; shown names it as the user knows it,
  // not by a staging name. Throws linkInTheWay's IOError for a link, an
  // OSError for any other failure but a directory already gone.
  void hold(const std::string& dir, const std::string& shown, bool toMove = false);

 private:
  System& system_;
  InstallJournal& journal_;
};

// No folder below an existing target may be a link: the installation would
// write its files, and rename the user's, in the folder it leads to. Throws
// linkInTheWay's IOError, before anything is made.
void refuseLinksBelow(System& system, const Target& target, const Contents& contents);

}  // namespace setup
