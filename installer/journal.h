// What one installation has changed on disk, so that a failed one can be
// undone and leave the target trees as they were before it started.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "installer/system.h"

namespace setup {

class InstallJournal {
 public:
  explicit InstallJournal(System& system) : system_(system) {}
  InstallJournal(const InstallJournal&) = delete;
  InstallJournal& operator=(const InstallJournal&) = delete;

  void createdDirectory(std::string_view path) { add(Kind::directory, path, {}); }
  // Recorded before the file is written, so that a write that fails part-way
  // is removed too.
  void writingTemporary(std::string_view path) { add(Kind::temporary, path, {}); }
  // The temporary file could not be created: what stands at path is not
  // this run's, and the undo leaves it.
  void notCreated(std::string_view path);
  // The temporary file has been renamed to destination. When nothing stood
  // there before, undoing removes it; otherwise the file it replaced had the
  // same content or has been moved aside (and is moved back).
  void renamedTemporary(std::string_view temporary, std::string_view destination,
                        bool destinationIsNew);
  void movedAside(std::string_view path, std::string_view backup) {
    add(Kind::movedAside, path, backup);
  }
  // path is a directory now. Unless this installation has just created it,
  // it was there before and is filled now: undoing leaves it, or moves it
  // back if it has been renamed. Returns whether it was there before.
  bool takingOver(std::string_view path);
  // Directory from, with everything recorded in it, now stands at to.
  void renamedDirectory(std::string_view from, std::string_view to);
  // path is a staging directory, made or taken over by this run: undoing
  // clears it as a tree, never following a link met in it, instead of
  // removing its files one by one by name.
  void staging(std::string_view path) { add(Kind::staging, path, {}); }

  // Keeps the directory at path held (see HeldDirectory) until the journal
  // goes, or until undoing removes or moves it.
  void holding(std::string_view path, std::unique_ptr<HeldDirectory> held);
  // Lets go of every directory held strictly below path.
  void releaseBelow(std::string_view path);
  // Moves the directory from to to, through its handle when it is held, and
  // records it. 0, or the last error.
  std::uint32_t moveDirectory(std::string_view from, std::string_view to);

  // Reverses every recorded change, the last first, and forgets them. A step
  // that fails does not stop the others; each one is described in the result
  // (empty when everything was undone). A file that cannot be moved back stays
  // under its back-up name. Directories that are no longer empty stay.
  std::vector<std::string> undo();

 private:
  enum class Kind { directory, temporary, created, movedAside, adopted, movedDirectory, staging };
  struct Change {
    Kind kind;
    std::string path;
    std::string backup;
  };

  void add(Kind kind, std::string_view path, std::string_view backup) {
    changes_.push_back(Change{kind, std::string(path), std::string(backup)});
  }
  // Empty when the step succeeded.
  std::string undoOne(const Change& change);

  void release(std::string_view path);

  System& system_;
  std::vector<Change> changes_;
  std::map<std::string, std::unique_ptr<HeldDirectory>> holds_;  // by path as recorded
};

// Removes everything below dir, names only: a link is removed as a name,
// never listed into; each directory is held while it is listed and cleared,
// so that it cannot be swapped for a link meanwhile. A directory for which
// keep (given its path below dir, lower-cased, from the separator on) says
// true stays, cleared as keep says of what is below it. 0, or the first
// error, with *failedAt naming where.
std::uint32_t clearDirectory(System& system, const std::string& dir,
                             const std::function<bool(const std::string&)>& keep,
                             std::string* failedAt);

// The message of a failed installation: the error, then what could not be
// undone.
std::string undoReport(const std::vector<std::string>& problems);

}  // namespace setup
