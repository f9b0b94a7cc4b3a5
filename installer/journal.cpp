#include "installer/journal.h"

#include <algorithm>
#include <iterator>

#include "installer/retry.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

std::uint32_t clearBelow(System& system, const std::string& dir, const std::string& key,
                         const std::function<bool(const std::string&)>* keep,
                         std::string* failedAt) {
  const auto failed = [&](std::uint32_t code, const std::string& where) {
    *failedAt = where;
    return code;
  };
  std::unique_ptr<HeldDirectory> held;
  if (const std::uint32_t code = system.holdDirectory(dir, false, &held)) {
    return failed(code, dir);
  }
  std::vector<DirectoryItem> items;
  if (const std::uint32_t code = system.listDirectory(dir, &items)) return failed(code, dir);
  for (const DirectoryItem& item : items) {
    const std::string path = dir + "\\" + item.name;
    if (item.isDirectory) {
      const std::string itemKey = key + "\\" + toLowerUnicode(item.name);
      const bool kept = keep != nullptr && (*keep)(itemKey);
      if (const std::uint32_t code =
              clearBelow(system, path, itemKey, kept ? keep : nullptr, failedAt)) {
        return code;
      }
      if (kept) continue;
      // Emptied: what still reads as in it is a name of ours deleted while
      // another program held it, gone once that program lets go.
      if (const std::uint32_t code = retryWhile(
              system, [&] { return system.removeDirectory(path); },
              [](std::uint32_t answer) {
                return isRefusedWhileInUse(answer) || answer == kErrorDirNotEmpty;
              })) {
        return failed(code, path);
      }
    } else if (const std::uint32_t code =
                   retryWhileInUse(system, [&] { return system.removeName(path); })) {
      return failed(code, path);
    }
  }
  return 0;
}

}  // namespace

std::uint32_t clearDirectory(System& system, const std::string& dir,
                             const std::function<bool(const std::string&)>& keep,
                             std::string* failedAt) {
  return clearBelow(system, dir, "", keep ? &keep : nullptr, failedAt);
}

void InstallJournal::holding(std::string_view path, std::unique_ptr<HeldDirectory> held) {
  holds_[std::string(path)] = std::move(held);
}

void InstallJournal::releaseBelow(std::string_view path) {
  const std::string inside = std::string(path) + "\\";
  for (auto it = holds_.lower_bound(inside); it != holds_.end() && it->first.starts_with(inside);) {
    it = holds_.erase(it);
  }
}

void InstallJournal::release(std::string_view path) {
  releaseBelow(path);
  holds_.erase(std::string(path));
}

std::uint32_t InstallJournal::moveDirectory(std::string_view from, std::string_view to) {
  const auto held = holds_.find(std::string(from));
  const std::uint32_t code = retryWhileInUse(system_, [&] {
    return held != holds_.end() ? held->second->moveTo(to) : system_.moveDirectory(from, to);
  });
  if (code == 0) renamedDirectory(from, to);
  return code;
}

void InstallJournal::renamedTemporary(std::string_view temporary, std::string_view destination,
                                      bool destinationIsNew) {
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (it->kind != Kind::temporary || it->path != temporary) continue;
    if (destinationIsNew) {
      *it = Change{Kind::created, std::string(destination), {}};
    } else {
      changes_.erase(std::next(it).base());
    }
    return;
  }
  throw AssertionDefect("no temporary file " + quoted(temporary), "renamedTemporary");
}

void InstallJournal::notCreated(std::string_view path) {
  if (changes_.empty() || changes_.back().kind != Kind::temporary || changes_.back().path != path) {
    throw AssertionDefect("no temporary file " + quoted(path) + " being written", "notCreated");
  }
  changes_.pop_back();
}

bool InstallJournal::takingOver(std::string_view path) {
  auto last = changes_.rbegin();
  if (last != changes_.rend() && last->kind == Kind::staging) ++last;
  const bool justCreated =
      last != changes_.rend() && last->kind == Kind::directory && last->path == path;
  if (!justCreated) add(Kind::adopted, path, {});
  return !justCreated;
}

void InstallJournal::renamedDirectory(std::string_view from, std::string_view to) {
  const std::string inside = std::string(from) + "\\";
  if (auto held = holds_.extract(std::string(from))) {
    held.key() = std::string(to);
    holds_.insert(std::move(held));
  }
  const bool movesBack = std::any_of(changes_.begin(), changes_.end(), [&](const Change& change) {
    return change.kind == Kind::adopted && change.path == from;
  });
  for (Change& change : changes_) {
    if (change.kind == Kind::staging) {
      // Cleared where it stands when undone: back under its staging name
      // if it is moved back, else where it went.
      if (change.path != from) continue;
      if (movesBack) {
        change.backup = to;
      } else {
        change.backup = change.path;
        change.path = to;
      }
    } else if (change.kind == Kind::adopted && change.path == from) {
      // Undone after the files in it, and before its parents are removed.
      change = Change{Kind::movedDirectory, std::string(to), std::string(from)};
    } else if (change.path == from) {
      change.path = to;
    } else if (change.path.starts_with(inside)) {
      change.path = std::string(to) + change.path.substr(from.size());
    }
  }
}

std::string InstallJournal::undoOne(const Change& change) {
  const auto failed = [&](std::string_view what, std::uint32_t code) {
    std::string text = system_.errorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return std::string(what) + " (" + (text.empty() ? "error " + std::to_string(code) : text) + ")";
  };
  // A failure that left nothing behind needs no report.
  const auto stays = [&](std::uint32_t code) {
    return code != 0 && !isGone(code) && system_.pathKind(change.path) != PathKind::missing;
  };
  switch (change.kind) {
    case Kind::staging: {
      release(change.path);
      std::string failedAt;
      // A link that somebody put at its name, the directory having gone
      // elsewhere, is not what this run made.
      const std::uint32_t code = clearDirectory(system_, change.path, {}, &failedAt);
      if (code == 0 || isGone(code) || code == kErrorStoppedOnLink ||
          system_.pathKind(failedAt) == PathKind::missing) {
        return {};
      }
      // Nothing left in it: its own record removes it.
      std::vector<DirectoryItem> items;
      if (failedAt == change.path && system_.listDirectory(change.path, &items) == 0 &&
          items.empty()) {
        return {};
      }
      return failed("the staged copy " + quoted(failedAt) + " could not be removed", code);
    }
    case Kind::directory:
      // Held until now, so that nobody could swap it for a link.
      release(change.path);
      // A link that somebody put at its name is not what this run made.
      if (system_.nameKind(change.path) == NameKind::link) return {};
      // Someone else's file in it, or one of ours that could not be removed
      // (reported by itself): the directory stays.
      if (const std::uint32_t code = system_.removeDirectory(change.path);
          code != kErrorDirNotEmpty && stays(code)) {
        return failed("the new directory " + quoted(change.path) + " could not be removed", code);
      }
      return {};
    case Kind::temporary:
    case Kind::created:
      if (const std::uint32_t code = system_.deleteFile(change.path); stays(code)) {
        return failed("the new file " + quoted(change.path) + " could not be removed", code);
      }
      return {};
    case Kind::adopted:
      return {};
    case Kind::movedDirectory:
      if (const std::uint32_t code = moveDirectory(change.path, change.backup)) {
        return failed("the directory " + quoted(change.path) + " could not be moved back to " +
                          quoted(change.backup),
                      code);
      }
      return {};
    case Kind::movedAside:
      if (const std::uint32_t code = retryWhileInUse(
              system_, [&] { return system_.moveFileReplacing(change.backup, change.path); })) {
        return failed("the previous " + quoted(change.path) +
                          " could not be put back; it is kept as " + quoted(change.backup),
                      code);
      }
      return {};
  }
  return {};
}

std::vector<std::string> InstallJournal::undo() {
  // What lies in a staging directory goes with it as a tree, never by a name
  // that leads through a directory which may have been swapped since.
  std::vector<std::string> staged;
  for (const Change& change : changes_) {
    if (change.kind != Kind::staging) continue;
    staged.push_back(change.path + "\\");
    if (!change.backup.empty()) staged.push_back(change.backup + "\\");
  }
  const auto inStaging = [&](const Change& change) {
    if (change.kind != Kind::temporary && change.kind != Kind::created &&
        change.kind != Kind::directory) {
      return false;
    }
    return std::any_of(staged.begin(), staged.end(),
                       [&](const std::string& dir) { return change.path.starts_with(dir); });
  };
  std::vector<std::string> problems;
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (inStaging(*it)) continue;
    if (std::string problem = undoOne(*it); !problem.empty())
      problems.push_back(std::move(problem));
  }
  changes_.clear();
  holds_.clear();
  return problems;
}

std::string undoReport(const std::vector<std::string>& problems) {
  std::string report = "\n\nThe installation could not be undone completely:";
  for (const std::string& problem : problems) report += "\n- " + problem;
  return report;
}

}  // namespace setup
