#include "installer/journal.h"

#include <algorithm>
#include <iterator>

#include "installer/retry.h"
#include "installer/targets.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

// What still reads as in a directory just emptied is a name of ours deleted
// while another program held it, gone once that program lets go.
bool isRefusedOrPending(std::uint32_t code) {
  return isRefusedWhileInUse(code) || code == kErrorDirNotEmpty;
}

std::uint32_t clearBelow(System& system, Directory& dir, const std::string& key,
                         const std::function<bool(const std::string&)>* keep,
                         std::string* failedAt) {
  const auto failed = [&](std::uint32_t code, const std::string& where) {
    *failedAt = where;
    return code;
  };
  std::vector<DirectoryItem> items;
  if (const std::uint32_t code = dir.list(&items)) return failed(code, dir.path());
  for (const DirectoryItem& item : items) {
    const std::string path = dir.path() + "\\" + item.name;
    if (!item.isDirectory) {
      if (const std::uint32_t code =
              retryWhileInUse(system, [&] { return dir.removeName(item.name); })) {
        return failed(code, path);
      }
      continue;
    }
    const std::string itemKey = key + "\\" + toLowerUnicode(item.name);
    const bool kept = keep != nullptr && (*keep)(itemKey);
    std::unique_ptr<Directory> child;
    if (const std::uint32_t code = dir.openDirectory(item.name, !kept, &child)) {
      return failed(code, path);
    }
    if (const std::uint32_t code =
            clearBelow(system, *child, itemKey, kept ? keep : nullptr, failedAt)) {
      return code;
    }
    if (kept) continue;
    if (const std::uint32_t code = retryWhile(
            system, [&] { return child->remove(); }, isRefusedOrPending)) {
      return failed(code, path);
    }
  }
  return 0;
}

}  // namespace

std::uint32_t clearDirectory(System& system, Directory& dir,
                             const std::function<bool(const std::string&)>& keep,
                             std::string* failedAt) {
  return clearBelow(system, dir, "", keep ? &keep : nullptr, failedAt);
}

Directory& InstallJournal::keep(std::unique_ptr<Directory> dir, const Directory* stage) {
  Directory& kept = *dir;
  kept_.push_back(Kept{std::move(dir), &kept, stage});
  return kept;
}

bool InstallJournal::isStaged(const Directory* dir) const {
  return std::any_of(kept_.begin(), kept_.end(),
                     [&](const Kept& kept) { return kept.address == dir && kept.stage; });
}

void InstallJournal::closeBelow(const Directory& stage) {
  for (Kept& kept : kept_) {
    if (kept.stage == &stage) kept.dir.reset();
  }
}

std::string InstallJournal::changedDirectory() {
  for (const Kept& kept : kept_) {
    if (kept.dir && kept.dir->check() == kErrorDirectoryChanged) return kept.dir->path();
  }
  return {};
}

void InstallJournal::close(const Directory* dir) {
  for (Kept& kept : kept_) {
    if (kept.address == dir) kept.dir.reset();
  }
}

std::uint32_t InstallJournal::moveDirectory(Directory& dir, Directory& parent,
                                            std::string_view name) {
  const std::string before = dir.path();
  const std::string oldName = before.substr(before.find_last_of('\\') + 1);
  const std::uint32_t code = retryWhileInUse(system_, [&] { return dir.moveTo(parent, name); });
  if (code != 0) return code;
  // A directory taken over goes back under its name, beside where it went;
  // one made by this run is removed where it stands.
  for (Change& change : changes_) {
    if (change.kind == Kind::adopted && change.dir == &dir) {
      change = Change{Kind::movedDirectory, &dir, {}, dir.path(), oldName, &parent};
    }
  }
  return 0;
}

void InstallJournal::renamedTemporary(std::string_view temporaryShown, std::string_view destination,
                                      std::string_view destinationShown, bool destinationIsNew) {
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (it->kind != Kind::temporary || it->shown != temporaryShown) continue;
    if (destinationIsNew) {
      it->kind = Kind::created;
      it->name = destination;
      it->shown = destinationShown;
    } else {
      changes_.erase(std::next(it).base());
    }
    return;
  }
  throw AssertionDefect("no temporary file " + quoted(temporaryShown), "renamedTemporary");
}

void InstallJournal::notCreated(std::string_view shown) {
  if (changes_.empty() || changes_.back().kind != Kind::temporary ||
      changes_.back().shown != shown) {
    throw AssertionDefect("no temporary file " + quoted(shown) + " being written", "notCreated");
  }
  changes_.pop_back();
}

bool InstallJournal::takingOver(Directory& dir) {
  auto last = changes_.rbegin();
  if (last != changes_.rend() && last->kind == Kind::staging) ++last;
  const bool justCreated =
      last != changes_.rend() && last->kind == Kind::directory && last->dir == &dir;
  if (!justCreated) add(Kind::adopted, &dir, {}, dir.path());
  return !justCreated;
}

std::string InstallJournal::undoOne(const Change& change) {
  const auto failed = [&](std::string_view what, std::uint32_t code) {
    std::string text = system_.errorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return std::string(what) + " (" + (text.empty() ? "error " + std::to_string(code) : text) + ")";
  };
  // A failure that left nothing behind needs no report.
  const auto stays = [](std::uint32_t code) { return code != 0 && !isGone(code); };
  Directory& dir = *change.dir;
  // Every step is taken in a directory this run holds; one that another
  // program has converted since (a junction made of it) may lead by name
  // elsewhere on a file server, so nothing is taken back in it. One that
  // cannot be checked is not touched either: the step fails with that.
  const std::uint32_t checked = dir.check();
  if (checked == kErrorDirectoryChanged) {
    return "the directory " + quoted(dir.path()) +
           " was changed by another program while the installation ran: " + quoted(change.shown) +
           " is left as it is";
  }
  if (isGone(checked) || checked == kErrorDeletePending) {
    return {};  // removed already, as this run's own undo may have
  }
  const auto step = [&](const auto& take) { return checked != 0 ? checked : take(); };
  switch (change.kind) {
    case Kind::staging: {
      // Its sub-directories are opened anew as it is cleared, and refuse a
      // second open while this run's first handles, which may remove them,
      // are still open.
      closeBelow(dir);
      std::string failedAt = dir.path();
      const std::uint32_t code = step([&] { return clearDirectory(system_, dir, {}, &failedAt); });
      if (code == 0 || isGone(code)) return {};
      return failed("the staged copy " + quoted(failedAt) + " could not be removed", code);
    }
    case Kind::directory: {
      // Without the right to remove it through its handle, it is opened
      // again with that right. Someone else's file in it, or one of ours
      // that could not be removed (reported by itself): the directory stays.
      const std::uint32_t code = step([&] {
        const std::uint32_t removed = dir.remove();
        if (removed == kErrorAccessDenied) return removeAgain(change);
        if (removed == 0) return removed;
        return retryWhileInUse(system_, [&] { return dir.remove(); });
      });
      if (code == 0) {
        close(&dir);
      } else if (code != kErrorDirNotEmpty && stays(code)) {
        return failed("the new directory " + quoted(change.shown) + " could not be removed", code);
      }
      return {};
    }
    case Kind::temporary:
    case Kind::created:
      if (const std::uint32_t code = step([&] { return dir.deleteFile(change.name); });
          stays(code)) {
        return failed("the new file " + quoted(change.shown) + " could not be removed", code);
      }
      return {};
    case Kind::adopted:
      return {};
    case Kind::movedDirectory:
      if (const std::uint32_t code = step([&] {
            return retryWhileInUse(system_,
                                   [&] { return dir.moveTo(*change.parent, change.other); });
          })) {
        const std::string back = change.parent->path() + "\\" + change.other;
        return failed(
            "the directory " + quoted(change.shown) + " could not be moved back to " + quoted(back),
            code);
      }
      return {};
    case Kind::movedAside:
      if (const std::uint32_t code = step([&] {
            return retryWhileInUse(system_,
                                   [&] { return dir.rename(change.other, change.name, true); });
          })) {
        const std::string backup =
            change.shown.substr(0, change.shown.size() - change.name.size()) + change.other;
        return failed("the previous " + quoted(change.shown) +
                          " could not be put back; it is kept as " + quoted(backup),
                      code);
      }
      return {};
  }
  return {};
}

std::uint32_t InstallJournal::removeAgain(const Change& change) {
  // Held without the right to remove it, so that others may open it too:
  // let go, and open it again in the directory it was made in, as the same
  // directory, with that right. Whatever stands at its name otherwise, a
  // link put there above all, is not what this run made.
  FileIds before;
  if (const std::uint32_t code = change.dir->ids(&before)) return code;
  close(change.dir);
  std::unique_ptr<Directory> again;
  if (const std::uint32_t code = change.parent->openDirectory(change.name, true, &again)) {
    return code == kErrorStoppedOnLink ? 0 : code;
  }
  FileIds now;
  if (again->ids(&now) != 0 || identityOf(now) != identityOf(before) ||
      identityOf(now).empty() != identityOf(before).empty()) {
    return 0;
  }
  return retryWhileInUse(system_, [&] { return again->remove(); });
}

std::vector<std::string> InstallJournal::undo() {
  // What lies in a staging directory goes with it as a tree: its files, and
  // the directories below it.
  const auto isStage = [&](const Directory* dir) {
    return std::any_of(changes_.begin(), changes_.end(), [&](const Change& change) {
      return change.kind == Kind::staging && change.dir == dir;
    });
  };
  const auto inStaging = [&](const Change& change) {
    if (change.kind == Kind::temporary || change.kind == Kind::created) {
      return isStaged(change.dir) || isStage(change.dir);
    }
    return change.kind == Kind::directory && isStaged(change.dir);
  };
  std::vector<std::string> problems;
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (inStaging(*it)) continue;
    if (std::string problem = undoOne(*it); !problem.empty()) {
      problems.push_back(std::move(problem));
    }
  }
  changes_.clear();
  kept_.clear();
  return problems;
}

std::string undoReport(const std::vector<std::string>& problems) {
  std::string report = "\n\nThe installation could not be undone completely:";
  for (const std::string& problem : problems) report += "\n- " + problem;
  return report;
}

}  // namespace setup
