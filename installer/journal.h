// The undo: what one installation has changed on disk, so that a failed one
// can be undone and leave the target trees as they were before it started.
//
// Every change is recorded with the open directory it was made in (see
// Directory), never by a path: the undo takes each step back relative to a
// directory this run holds, so that nobody can lead it elsewhere by changing
// a name meanwhile, and it removes only names it can open there as what this
// run made. A directory found converted (a junction made of it) is left as
// it is, and said so. The journal also keeps every directory the run holds,
// open until it goes.
#pragma once

#include <cstdint>
#include <functional>
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

  // Keeps dir open, and so held, until the journal goes or the undo removes
  // it; stage: the staging directory it lies in, which the undo clears as a
  // tree. Returns it.
  Directory& keep(std::unique_ptr<Directory> dir, const Directory* stage = nullptr);
  // Closes every directory kept in stage: Windows renames no directory while
  // anything below it is open, this run's handles too.
  void closeBelow(const Directory& stage);
  // The path of a directory kept open that another program has made into a
  // junction since it was opened (it was empty then), or "".
  std::string changedDirectory();

  // made was made by this run as name in parent; the undo removes it when
  // it is empty by then: through its own handle where that may remove it,
  // else opened again there, as the same directory.
  void createdDirectory(Directory& made, Directory& parent, std::string_view name) {
    add(Kind::directory, &made, name, made.path());
    changes_.back().parent = &parent;
  }
  // Recorded before the file is written, so that a write that fails part-way
  // is removed too. shown names it in messages.
  void writingTemporary(Directory& dir, std::string_view name, std::string_view shown) {
    add(Kind::temporary, &dir, name, shown);
  }
  // The temporary file could not be created: what stands there is not this
  // run's, and the undo leaves it.
  void notCreated(std::string_view shown);
  // The temporary file has been renamed to destination in the same
  // directory. When nothing stood there before, undoing removes it;
  // otherwise the file it replaced had the same content or has been moved
  // aside (and is moved back).
  void renamedTemporary(std::string_view temporaryShown, std::string_view destination,
                        std::string_view destinationShown, bool destinationIsNew);
  // name in dir has been renamed to backup there.
  void movedAside(Directory& dir, std::string_view name, std::string_view backup,
                  std::string_view shown) {
    add(Kind::movedAside, &dir, name, shown, backup);
  }
  // dir is to be filled. Unless this run has just made it, it was there
  // before: undoing leaves it, or moves it back if it has been moved.
  // Returns whether it was there before.
  bool takingOver(Directory& dir);
  // dir is a staging directory, made or taken over by this run: undoing
  // clears it as a tree, never following a link met in it, instead of
  // removing its files one by one.
  void staging(Directory& dir) { add(Kind::staging, &dir, {}, dir.path()); }

  // Moves dir to name in parent through its handle, trying again while
  // another program's brief hold refuses it, and records it. 0, or the
  // error.
  std::uint32_t moveDirectory(Directory& dir, Directory& parent, std::string_view name);

  // Reverses every recorded change, the last first, and forgets them. A step
  // that fails does not stop the others; each one is described in the result
  // (empty when everything was undone). A file that cannot be moved back
  // stays under its back-up name. Directories that are no longer empty stay.
  std::vector<std::string> undo();

 private:
  enum class Kind { directory, temporary, created, movedAside, adopted, movedDirectory, staging };
  struct Change {
    Kind kind;
    Directory* dir;               // the directory itself, or the one that holds name
    std::string name;             // in dir
    std::string shown;            // for the messages
    std::string other;            // movedAside: the back-up's name; movedDirectory: its name before
    Directory* parent = nullptr;  // directory: where it was made; movedDirectory: where it was
  };
  struct Kept {
    std::unique_ptr<Directory> dir;  // null once closed
    const Directory* address;        // what the changes recorded in it point to
    const Directory* stage;
  };

  void add(Kind kind, Directory* dir, std::string_view name, std::string_view shown,
           std::string_view other = {}) {
    changes_.push_back(
        Change{kind, dir, std::string(name), std::string(shown), std::string(other)});
  }
  bool isStaged(const Directory* dir) const;
  // Closes dir, once it has been removed.
  void close(const Directory* dir);
  // Empty when the step succeeded.
  std::string undoOne(const Change& change);
  // Removes the directory of change through a handle opened again: 0, or the
  // error.
  std::uint32_t removeAgain(const Change& change);

  System& system_;
  std::vector<Change> changes_;
  std::vector<Kept> kept_;
};

// Removes everything in dir, relative to it: a link is removed as a name,
// never listed into; each directory is opened, held while it is cleared, and
// removed through its own handle. A directory for which keep (given its path
// below dir, lower-cased, from the separator on) says true stays, cleared as
// keep says of what is below it. 0, or the first error, with *failedAt naming
// where.
std::uint32_t clearDirectory(System& system, Directory& dir,
                             const std::function<bool(const std::string&)>& keep,
                             std::string* failedAt);

// The message of a failed installation: the error, then what could not be
// undone.
std::string undoReport(const std::vector<std::string>& problems);

}  // namespace setup
