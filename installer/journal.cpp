#include "installer/journal.h"

#include <iterator>

#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {}  // namespace

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
  const bool justCreated =
      !changes_.empty() && changes_.back().kind == Kind::directory && changes_.back().path == path;
  if (!justCreated) add(Kind::adopted, path, {});
  return !justCreated;
}

void InstallJournal::renamedDirectory(std::string_view from, std::string_view to) {
  const std::string inside = std::string(from) + "\\";
  for (Change& change : changes_) {
    if (change.kind == Kind::adopted && change.path == from) {
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
    case Kind::directory:
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
      if (const std::uint32_t code = system_.moveDirectory(change.path, change.backup)) {
        return failed("the directory " + quoted(change.path) + " could not be moved back to " +
                          quoted(change.backup),
                      code);
      }
      return {};
    case Kind::movedAside:
      if (const std::uint32_t code = system_.moveFileReplacing(change.backup, change.path)) {
        return failed("the previous " + quoted(change.path) +
                          " could not be put back; it is kept as " + quoted(change.backup),
                      code);
      }
      return {};
  }
  return {};
}

std::vector<std::string> InstallJournal::undo() {
  std::vector<std::string> problems;
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (std::string problem = undoOne(*it); !problem.empty())
      problems.push_back(std::move(problem));
  }
  changes_.clear();
  return problems;
}

std::string undoReport(const std::vector<std::string>& problems) {
  std::string report = "\n\nThe installation could not be undone completely:";
  for (const std::string& problem : problems) report += "\n- " + problem;
  return report;
}

}  // namespace setup
