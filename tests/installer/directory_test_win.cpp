// The steps below a held directory, on a real tree under wine. Each is taken
// relative to the directory's handle and opens the last name itself: a link
// at a name is never followed, and what becomes of the directory's path
// meanwhile does not lead a step elsewhere.
//
// What wine 8 did where it answers otherwise than Windows (tried here):
// - NtCreateFile with FILE_OPEN_REPARSE_POINT follows a unix symbolic link at
//   the last name, and the handle reads as the link's target. FILE_CREATE at
//   a link, dangling or not, answers STATUS_OBJECT_NAME_COLLISION, as Windows
//   does.
// - A dangling link is not listed and opens as no such file; a link to a
//   file lists as a plain file.
// - A rename, and the deletion a disposition asks for, go by the unix names
//   that wine kept when the files were opened, not by the handles.
// - FileRenameInformationEx and FileDispositionInformationEx answer
//   STATUS_NOT_IMPLEMENTED, so the classic classes run.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "installer/directory.h"
#include "installer/system_win.h"
#include "runtime/syscalls_win.h"
#include "tests/installer/wine_shell_win.h"
#include "tests/toolkit/testing_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using testing::ReplacedSystemFunction;
using testing::unixPathOf;
namespace fs = std::filesystem;

// What a tree holds, by path relative to its root with '/': "file:" and the
// bytes, "dir", or "link:" and the path it points to, relative to the root.
// In a row's changes, "" is a name that is gone.
using Tree = std::map<std::string, std::string>;

Tree applied(Tree tree, const Tree& changes) {
  for (const auto& [path, what] : changes) {
    if (what.empty()) {
      tree.erase(path);
    } else {
      tree[path] = what;
    }
  }
  return tree;
}

std::string codeOf(std::uint32_t code) {
  return std::to_string(code);
}

std::string statusOf(FileStatus status) {
  switch (status) {
    case FileStatus::ok:
      return "ok";
    case FileStatus::cannotOpen:
      return "cannotOpen";
    case FileStatus::cannotRead:
      return "cannotRead";
    case FileStatus::cannotWrite:
      return "cannotWrite";
    case FileStatus::cannotRename:
      return "cannotRename";
    case FileStatus::exists:
      return "exists";
  }
  return "?";
}

std::string kindOf(NameKind kind) {
  switch (kind) {
    case NameKind::missing:
      return "missing";
    case NameKind::file:
      return "file";
    case NameKind::directory:
      return "directory";
    case NameKind::link:
      return "link";
    case NameKind::placeholder:
      return "placeholder";
  }
  return "?";
}

// The outcomes of step for each name, in order, a space between.
template <typename Step>
std::string each(std::initializer_list<std::string_view> names, const Step& step) {
  std::string outcomes;
  for (const std::string_view name : names) {
    if (!outcomes.empty()) outcomes += ' ';
    outcomes += step(name);
  }
  return outcomes;
}

// The listing, sorted: "name:file", "name:dir" or "name:link".
std::string listed(Directory& directory) {
  std::vector<DirectoryItem> items;
  if (const std::uint32_t code = directory.list(&items)) return "error " + codeOf(code);
  std::sort(items.begin(), items.end(),
            [](const DirectoryItem& a, const DirectoryItem& b) { return a.name < b.name; });
  std::string names;
  for (const DirectoryItem& item : items) {
    if (!names.empty()) names += ' ';
    names += item.name + (item.isLink ? ":link" : item.isDirectory ? ":dir" : ":file");
  }
  return names;
}

std::string written(FileStatus status, int existing) {
  return statusOf(status) + " existing=" + std::to_string(existing);
}

using Step = std::function<std::string(System& system, Directory& held, Directory& other)>;

struct Row {
  std::string_view what;
  Step step;
  std::string outcome;
  Tree changes;
};

// The tree of the steps: held and other are the directories stepped in;
// outside is what the links point to, which must stay byte for byte.
const Tree kFresh = {
    {"held", "dir"},
    {"held/dangling", "link:outside/nothing"},
    {"held/file.txt", "file:file\n"},
    {"held/full", "dir"},
    {"held/full/in.txt", "file:in\n"},
    {"held/linkToDir", "link:outside/dir"},
    {"held/linkToFile", "link:outside/target.txt"},
    {"held/old.txt", "file:old\n"},
    {"held/sub", "dir"},
    {"other", "dir"},
    {"outside", "dir"},
    {"outside/dir", "dir"},
    {"outside/dir/inner.txt", "file:inner\n"},
    {"outside/target.txt", "file:target\n"},
};

// Every step on a name, where wine answers as Windows does, or where a
// comment says how Windows answers.
const Row kSteps[] = {
    // Windows lists the dangling link too, and links to files as links.
    {"list",
     [](System&, Directory& held, Directory&) { return listed(held); },
     "file.txt:file full:dir linkToDir:link linkToFile:file old.txt:file sub:dir",
     {}},
    // Windows: the dangling link is a link.
    {"nameKind",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "sub", "linkToFile", "linkToDir", "dangling", "missing"},
                   [&](std::string_view name) { return kindOf(held.nameKind(name)); });
     },
     "file directory link link missing missing",
     {}},
    {"check and ids, as the path's",
     [](System& system, Directory& held, Directory&) {
       FileIds byHandle;
       FileIds byPath;
       const std::uint32_t code = held.ids(&byHandle);
       const bool same = code == 0 && system.directoryIds(held.path(), &byPath) == 0 &&
                         byHandle.volume == byPath.volume && byHandle.id == byPath.id &&
                         byHandle.index == byPath.index;
       return codeOf(held.check()) + " " + codeOf(code) + (same ? " same" : " other");
     },
     "0 0 same",
     {}},
    {"makeDirectory, and a file in it",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<Directory> made;
       if (const std::uint32_t code = held.makeDirectory("new", false, &made)) return codeOf(code);
       return statusOf(made->createFile("made.txt", "made\n")) +
              (made->path() == held.path() + "\\new" ? " path" : " path " + made->path());
     },
     "ok path",
     {{"held/new", "dir"}, {"held/new/made.txt", "file:made\n"}}},
    {"makeDirectory where something stands",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "sub", "linkToFile", "linkToDir", "dangling"},
                   [&](std::string_view name) {
                     std::unique_ptr<Directory> made;
                     return codeOf(held.makeDirectory(name, false, &made));
                   });
     },
     "183 183 183 183 183",
     {}},
    {"openDirectory, and a listing through it",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<Directory> full;
       if (const std::uint32_t code = held.openDirectory("full", false, &full)) {
         return codeOf(code);
       }
       return listed(*full) + (full->path() == held.path() + "\\full" ? " path" : " path?");
     },
     "in.txt:file path",
     {}},
    // A directory made to be moved holds the right to remove it, which makes
    // Windows refuse any other open of it that does not share deletion, by
    // name or by path; one made to stay is opened again as any other.
    {"openDirectory of a directory made, by its name and by its path",
     [](System& system, Directory& held, Directory&) {
       return each({"staying", "moving"}, [&](std::string_view name) {
         std::unique_ptr<Directory> made;
         if (const std::uint32_t code = held.makeDirectory(name, name == "moving", &made)) {
           return codeOf(code);
         }
         std::unique_ptr<Directory> byName;
         std::unique_ptr<Directory> byPath;
         return codeOf(held.openDirectory(name, false, &byName)) + "," +
                codeOf(system.openDirectory(made->path(), &byPath));
       });
     },
     "0,0 32,32",
     {{"held/staying", "dir"}, {"held/moving", "dir"}}},
    // Moving and removing need that right.
    {"moveTo and remove of a directory made to stay",
     [](System&, Directory& held, Directory& other) {
       std::unique_ptr<Directory> made;
       if (const std::uint32_t code = held.makeDirectory("staying", false, &made)) {
         return codeOf(code);
       }
       const std::string moved = codeOf(made->moveTo(other, "staying"));
       return moved + " " + codeOf(made->remove());
     },
     "5 5",
     {{"held/staying", "dir"}}},
    // Windows: 681 for the dangling link too.
    {"openDirectory where no directory stands",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "linkToFile", "linkToDir", "dangling", "missing"},
                   [&](std::string_view name) {
                     std::unique_ptr<Directory> opened;
                     return codeOf(held.openDirectory(name, false, &opened));
                   });
     },
     "267 681 681 2 2",
     {}},
    {"createFile",
     [](System&, Directory& held, Directory&) {
       return statusOf(held.createFile("new.txt", "new\n"));
     },
     "ok",
     {{"held/new.txt", "file:new\n"}}},
    // Nothing is created through the dangling link.
    {"createFile where something stands",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "sub", "linkToFile", "linkToDir", "dangling"},
                   [&](std::string_view name) { return statusOf(held.createFile(name, "new\n")); });
     },
     "exists exists exists exists exists",
     {}},
    // The link to a file holds the bytes compared, but is not read through.
    {"compareFile",
     [](System&, Directory& held, Directory&) {
       const auto compared = [&](std::string_view name, std::string_view content) {
         bool same = false;
         const FileStatus status = held.compareFile(name, content, &same);
         return statusOf(status) + (status != FileStatus::ok ? "" : same ? ":same" : ":differ");
       };
       return compared("file.txt", "file\n") + " " + compared("file.txt", "file\nmore") + " " +
              compared("file.txt", "fil") + " " + compared("missing", "") + " " +
              compared("sub", "") + " " + compared("linkToFile", "target\n");
     },
     "ok:same ok:differ ok:differ cannotOpen cannotOpen cannotOpen",
     {}},
    {"writeThenRename over a file",
     [](System&, Directory& held, Directory&) {
       int existing = 0;
       std::uint32_t error = 0;
       const FileStatus status = held.writeThenRename(
           "file.txt.setup-tmp", "file.txt", "new\n", [&] { ++existing; }, &error);
       return written(status, existing);
     },
     "ok existing=1",
     {{"held/file.txt", "file:new\n"}}},
    {"writeThenRename to a free name",
     [](System&, Directory& held, Directory&) {
       int existing = 0;
       std::uint32_t error = 0;
       const FileStatus status = held.writeThenRename(
           "fresh.txt.setup-tmp", "fresh.txt", "new\n", [&] { ++existing; }, &error);
       return written(status, existing);
     },
     "ok existing=0",
     {{"held/fresh.txt", "file:new\n"}}},
    {"writeThenRename over a link to a file: the link is replaced",
     [](System&, Directory& held, Directory&) {
       int existing = 0;
       std::uint32_t error = 0;
       const FileStatus status = held.writeThenRename(
           "linkToFile.setup-tmp", "linkToFile", "new\n", [&] { ++existing; }, &error);
       return written(status, existing);
     },
     "ok existing=1",
     {{"held/linkToFile", "file:new\n"}}},
    // Wine does not see the dangling link, so the rename that replaces
    // nothing replaces it; on Windows onExisting runs first.
    {"writeThenRename over a dangling link: the link is replaced",
     [](System&, Directory& held, Directory&) {
       std::uint32_t error = 0;
       return statusOf(held.writeThenRename(
           "dangling.setup-tmp", "dangling", "new\n", [] {}, &error));
     },
     "ok",
     {{"held/dangling", "file:new\n"}}},
    {"writeThenRename where the temporary name stands",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "linkToFile", "dangling"}, [&](std::string_view name) {
         std::uint32_t error = 0;
         return statusOf(held.writeThenRename(
             name, "fresh.txt", "new\n", [] {}, &error));
       });
     },
     "exists exists exists",
     {}},
    {"rename",
     [](System&, Directory& held, Directory&) {
       return codeOf(held.rename("file.txt", "renamed.txt", false));
     },
     "0",
     {{"held/file.txt", ""}, {"held/renamed.txt", "file:file\n"}}},
    {"rename of a directory",
     [](System&, Directory& held, Directory&) {
       return codeOf(held.rename("full", "moved", false));
     },
     "0",
     {{"held/full", ""},
      {"held/full/in.txt", ""},
      {"held/moved", "dir"},
      {"held/moved/in.txt", "file:in\n"}}},
    {"rename without replace where something stands",
     [](System&, Directory& held, Directory&) {
       return each({"old.txt", "sub", "linkToFile", "linkToDir"}, [&](std::string_view name) {
         return codeOf(held.rename("file.txt", name, false));
       });
     },
     "183 183 183 183",
     {}},
    {"rename with replace over a file",
     [](System&, Directory& held, Directory&) {
       return codeOf(held.rename("file.txt", "old.txt", true));
     },
     "0",
     {{"held/file.txt", ""}, {"held/old.txt", "file:file\n"}}},
    {"rename with replace over a link to a file: the link is replaced",
     [](System&, Directory& held, Directory&) {
       return codeOf(held.rename("file.txt", "linkToFile", true));
     },
     "0",
     {{"held/file.txt", ""}, {"held/linkToFile", "file:file\n"}}},
    {"removeName of a file",
     [](System&, Directory& held, Directory&) { return codeOf(held.removeName("file.txt")); },
     "0",
     {{"held/file.txt", ""}}},
    {"removeName of a link to a file",
     [](System&, Directory& held, Directory&) { return codeOf(held.removeName("linkToFile")); },
     "0",
     {{"held/linkToFile", ""}}},
    {"removeName of a dangling link",
     [](System&, Directory& held, Directory&) { return codeOf(held.removeName("dangling")); },
     "0",
     {{"held/dangling", ""}}},
    {"removeName of an empty directory",
     [](System&, Directory& held, Directory&) { return codeOf(held.removeName("sub")); },
     "0",
     {{"held/sub", ""}}},
    // A missing name counts as removed: there is nothing to remove.
    {"removeName of a directory with a file, and of a missing name",
     [](System&, Directory& held, Directory&) {
       return each({"full", "missing"},
                   [&](std::string_view name) { return codeOf(held.removeName(name)); });
     },
     "145 0",
     {}},
    {"deleteFile",
     [](System&, Directory& held, Directory&) { return codeOf(held.deleteFile("file.txt")); },
     "0",
     {{"held/file.txt", ""}}},
    {"deleteFile of a directory and of a missing name",
     [](System&, Directory& held, Directory&) {
       return each({"sub", "missing"},
                   [&](std::string_view name) { return codeOf(held.deleteFile(name)); });
     },
     "5 2",
     {}},
    {"holdFile, isHeld, and the release",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<HeldFile> lock;
       std::string outcome = codeOf(held.holdFile("lock", &lock));
       std::unique_ptr<HeldFile> again;
       outcome += " " + codeOf(held.holdFile("lock", &again));
       outcome += held.isHeld("lock") ? " held" : " free";
       outcome += held.isHeld("file.txt") ? " held" : " free";
       lock.reset();
       return outcome + " " + kindOf(held.nameKind("lock"));
     },
     "0 80 held free missing",
     {}},
    {"holdFile where something stands",
     [](System&, Directory& held, Directory&) {
       return each({"file.txt", "sub", "linkToFile", "linkToDir", "dangling"},
                   [&](std::string_view name) {
                     std::unique_ptr<HeldFile> lock;
                     return codeOf(held.holdFile(name, &lock));
                   });
     },
     "80 80 80 80 80",
     {}},
    // The handle follows the directory: a file made through it after the
    // move lands beside the one made before.
    {"moveTo into another held directory",
     [](System&, Directory& held, Directory& other) {
       std::unique_ptr<Directory> staged;
       if (const std::uint32_t code = held.makeDirectory("staged", true, &staged))
         return codeOf(code);
       std::string outcome = statusOf(staged->createFile("before.txt", "before\n"));
       outcome += " " + codeOf(staged->moveTo(other, "staged"));
       outcome += staged->path() == other.path() + "\\staged" ? " path" : " path?";
       return outcome + " " + statusOf(staged->createFile("after.txt", "after\n"));
     },
     "ok 0 path ok",
     {{"other/staged", "dir"},
      {"other/staged/before.txt", "file:before\n"},
      {"other/staged/after.txt", "file:after\n"}}},
    {"moveTo where something stands",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<Directory> staged;
       if (const std::uint32_t code = held.makeDirectory("staged", true, &staged))
         return codeOf(code);
       return each({"file.txt", "sub", "linkToDir"},
                   [&](std::string_view name) { return codeOf(staged->moveTo(held, name)); });
     },
     "183 183 183",
     {{"held/staged", "dir"}}},
    {"openDirectory to move, and moveTo",
     [](System&, Directory& held, Directory& other) {
       std::unique_ptr<Directory> full;
       if (const std::uint32_t code = held.openDirectory("full", true, &full)) {
         return codeOf(code);
       }
       return codeOf(full->moveTo(other, "full"));
     },
     "0",
     {{"held/full", ""},
      {"held/full/in.txt", ""},
      {"other/full", "dir"},
      {"other/full/in.txt", "file:in\n"}}},
    // Once removed, the object answers as a deleted directory.
    {"remove",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<Directory> made;
       if (const std::uint32_t code = held.makeDirectory("gone", true, &made)) return codeOf(code);
       std::string outcome = codeOf(made->remove());
       outcome += " " + codeOf(made->check());
       return outcome + " " + statusOf(made->createFile("late.txt", "late\n"));
     },
     "0 2 cannotOpen",
     {}},
    {"remove of a directory with a file",
     [](System&, Directory& held, Directory&) {
       std::unique_ptr<Directory> full;
       if (const std::uint32_t code = held.openDirectory("full", true, &full)) {
         return codeOf(code);
       }
       return codeOf(full->remove());
     },
     "145",
     {}},
};

class DirectorySteps : public testing::UnixSideTest {
 protected:
  DirectorySteps() : UnixSideTest("C:\\setup-directory-" + std::to_string(GetCurrentProcessId())) {}

  fs::path windowsPath(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return fs::path(toWide(base + "\\" + relative));
  }

  // Makes tree afresh at base: the directories and links from the Linux
  // side, the files from here.
  bool build(const Tree& tree) {
    std::string command = "rm -rf " + unixBase + " && mkdir " + unixBase;
    for (const auto& [path, what] : tree) {
      if (what == "dir") command += " && mkdir " + unixBase + "/" + path;
    }
    for (const auto& [path, what] : tree) {
      if (what.starts_with("link:")) {
        command += " && ln -s " + unixBase + "/" + what.substr(5) + " " + unixBase + "/" + path;
      }
    }
    if (shell(command) != 0) return false;
    for (const auto& [path, what] : tree) {
      if (!what.starts_with("file:")) continue;
      std::ofstream out(windowsPath(path), std::ios::binary);
      out << what.substr(5);
      if (!out) return false;
    }
    return true;
  }

  // The tree at base as the Linux side sees it: links as links.
  Tree snapshot() {
    const std::string listing = base + ".find";
    Tree tree;
    if (shell("cd " + unixBase + " && find . -mindepth 1 -printf '%P\\t%y\\t%l\\n' >" +
              unixPathOf(listing)) != 0) {
      ADD_FAILURE() << "cannot list " << unixBase;
      return tree;
    }
    std::ifstream in(fs::path(toWide(listing)), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      const std::size_t kindAt = line.find('\t');
      const std::size_t targetAt = line.find('\t', kindAt + 1);
      if (kindAt == std::string::npos || targetAt == std::string::npos) continue;
      const std::string path = line.substr(0, kindAt);
      const std::string kind = line.substr(kindAt + 1, targetAt - kindAt - 1);
      std::string target = line.substr(targetAt + 1);
      if (kind == "d") {
        tree[path] = "dir";
      } else if (kind == "l") {
        if (target.starts_with(unixBase + "/")) target.erase(0, unixBase.size() + 1);
        tree[path] = "link:" + target;
      } else {
        std::ifstream file(windowsPath(path), std::ios::binary);
        tree[path] = "file:" + std::string(std::istreambuf_iterator<char>(file), {});
      }
    }
    in.close();
    DeleteFileW(toWide(listing).c_str());
    return tree;
  }

  // Each row on a fresh tree, through held and other opened to be moved in
  // the base, opened as the user's directory; meanwhile runs between the
  // opening and the step. Every
  // name under base must then be as expected, with the row's changes. A row
  // that answers refusal and changes nothing is returned, by its name,
  // where refusal is not empty; any other outcome fails.
  std::vector<std::string> runSteps(const Tree& fresh, const Tree& expected,
                                    std::span<const Row> rows,
                                    const std::function<bool()>& meanwhile = nullptr,
                                    std::string_view refusal = {}) {
    std::vector<std::string> refused;
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.what));
      if (!build(fresh)) {
        ADD_FAILURE() << "cannot build the tree at " << unixBase;
        return refused;
      }
      WindowsSystem system;
      std::unique_ptr<Directory> top;
      std::unique_ptr<Directory> held;
      std::unique_ptr<Directory> other;
      if (system.openDirectory(base, &top) != 0 || top->openDirectory("held", true, &held) != 0 ||
          top->openDirectory("other", true, &other) != 0) {
        ADD_FAILURE() << "cannot open the directories";
        continue;
      }
      if (meanwhile && !meanwhile()) {
        ADD_FAILURE() << "cannot change the tree meanwhile";
        continue;
      }
      const std::string outcome = row.step(system, *held, *other);
      held.reset();
      other.reset();
      top.reset();
      const Tree found = snapshot();
      if (!refusal.empty() && outcome == refusal && outcome != row.outcome) {
        EXPECT_EQ(found, expected) << "refused, yet something changed";
        refused.emplace_back(row.what);
        continue;
      }
      EXPECT_EQ(outcome, row.outcome);
      EXPECT_EQ(found, applied(expected, row.changes));
    }
    return refused;
  }
};

TEST_F(DirectorySteps, ActOnTheNamesThemselvesAndNeverThroughALink) {
  runSteps(kFresh, kFresh, kSteps);
}

// Windows moves and deletes a link itself through a handle opened on it.
// Wine opens what the link points to, and would move or delete that; the
// steps see it and refuse (kErrorStoppedOnLink) without changing anything.
TEST_F(DirectorySteps, MoveAndDeleteALinkItself) {
  const Row rows[] = {
      {"rename of a link to a file",
       [](System&, Directory& held, Directory&) {
         return codeOf(held.rename("linkToFile", "moved", false));
       },
       "0",
       {{"held/linkToFile", ""}, {"held/moved", "link:outside/target.txt"}}},
      {"rename of a link to a directory",
       [](System&, Directory& held, Directory&) {
         return codeOf(held.rename("linkToDir", "moved", false));
       },
       "0",
       {{"held/linkToDir", ""}, {"held/moved", "link:outside/dir"}}},
      {"deleteFile of a link to a file",
       [](System&, Directory& held, Directory&) { return codeOf(held.deleteFile("linkToFile")); },
       "0",
       {{"held/linkToFile", ""}}},
      {"removeName of a link to a directory",
       [](System&, Directory& held, Directory&) { return codeOf(held.removeName("linkToDir")); },
       "0",
       {{"held/linkToDir", ""}}},
  };
  const std::vector<std::string> refused =
      runSteps(kFresh, kFresh, rows, nullptr, codeOf(kErrorStoppedOnLink));
  if (!refused.empty()) {
    std::string names;
    for (const std::string& name : refused) names += "; " + name;
    GTEST_SKIP() << "wine 8 opens what a link points to, so these steps refused and changed "
                    "nothing, where Windows acts on the link itself"
                 << names;
  }
}

// A held directory renamed aside by a unix process, which ignores share
// modes, and a link to an outside folder with the same names put at its
// name. Every step through the handle acts on the renamed directory or is
// refused; none reaches the outside folder. Wine carries out renames and
// deletions by the names it kept, which now lead through the link: those are
// refused (kErrorDirectoryChanged). So is an open of an existing name, which
// wine names through the link: it cannot be told from an open that followed
// a link at that name.
TEST_F(DirectorySteps, FollowTheHeldDirectoryNotItsFormerName) {
  const Tree fresh = {
      {"held", "dir"},
      {"held/file.txt", "file:file\n"},
      {"held/sub", "dir"},
      {"other", "dir"},
      {"outside", "dir"},
      {"outside/file.txt", "file:outside\n"},
      {"outside/only.txt", "file:only\n"},
      {"outside/sub", "dir"},
  };
  const Tree moved = {
      {"held", "link:outside"},
      {"held.aside", "dir"},
      {"held.aside/file.txt", "file:file\n"},
      {"held.aside/sub", "dir"},
      {"other", "dir"},
      {"outside", "dir"},
      {"outside/file.txt", "file:outside\n"},
      {"outside/only.txt", "file:only\n"},
      {"outside/sub", "dir"},
  };
  const std::string changed = codeOf(kErrorDirectoryChanged);
  const Row rows[] = {
      {"list",
       [](System&, Directory& held, Directory&) { return listed(held); },
       "file.txt:file sub:dir",
       {}},
      {"check", [](System&, Directory& held, Directory&) { return codeOf(held.check()); }, "0", {}},
      {"createFile",
       [](System&, Directory& held, Directory&) {
         return statusOf(held.createFile("new.txt", "new\n"));
       },
       "ok",
       {{"held.aside/new.txt", "file:new\n"}}},
      {"compareFile",
       [](System&, Directory& held, Directory&) {
         bool same = false;
         const FileStatus status = held.compareFile("file.txt", "file\n", &same);
         return statusOf(status) + (status != FileStatus::ok ? "" : same ? ":same" : ":differ");
       },
       "cannotOpen",
       {}},
      {"makeDirectory",
       [](System&, Directory& held, Directory&) {
         std::unique_ptr<Directory> made;
         return codeOf(held.makeDirectory("made", false, &made));
       },
       "0",
       {{"held.aside/made", "dir"}}},
      {"openDirectory",
       [](System&, Directory& held, Directory&) {
         std::unique_ptr<Directory> sub;
         return codeOf(held.openDirectory("sub", false, &sub));
       },
       changed,
       {}},
      // The temporary file stays, as after any refused rename.
      {"writeThenRename",
       [](System&, Directory& held, Directory&) {
         std::uint32_t error = 0;
         const FileStatus status = held.writeThenRename(
             "file.txt.setup-tmp", "file.txt", "new\n", [] {}, &error);
         return statusOf(status) + " " + codeOf(error);
       },
       "cannotRename " + changed,
       {{"held.aside/file.txt.setup-tmp", "file:new\n"}}},
      {"rename",
       [](System&, Directory& held, Directory&) {
         return codeOf(held.rename("file.txt", "renamed.txt", false));
       },
       changed,
       {}},
      {"removeName",
       [](System&, Directory& held, Directory&) {
         return each({"file.txt", "sub", "missing"},
                     [&](std::string_view name) { return codeOf(held.removeName(name)); });
       },
       changed + " " + changed + " " + changed,
       {}},
      {"deleteFile",
       [](System&, Directory& held, Directory&) { return codeOf(held.deleteFile("file.txt")); },
       changed,
       {}},
      {"moveTo",
       [](System&, Directory& held, Directory& other) {
         return codeOf(held.moveTo(other, "moved"));
       },
       changed,
       {}},
      {"remove",
       [](System&, Directory& held, Directory&) { return codeOf(held.remove()); },
       changed,
       {}},
  };
  const std::string unixHeld = unixBase + "/held";
  runSteps(fresh, moved, rows, [&] {
    return shell("mv " + unixHeld + " " + unixHeld + ".aside && ln -s " + unixBase + "/outside " +
                 unixHeld) == 0;
  });
}

// Older Windows refuses OBJ_DONT_REPARSE as an invalid parameter.
struct OlderWindows {
  decltype(&::NtCreateFile) real = nullptr;
  int refused = 0;
  int opened = 0;
};
OlderWindows* older = nullptr;

NTSTATUS NTAPI createFileAsOlderWindows(PHANDLE handle, ACCESS_MASK access,
                                        POBJECT_ATTRIBUTES object, PIO_STATUS_BLOCK io,
                                        PLARGE_INTEGER size, ULONG attributes, ULONG share,
                                        ULONG disposition, ULONG options, PVOID extended,
                                        ULONG extendedSize) {
  if ((object->Attributes & OBJ_DONT_REPARSE) != 0) {
    ++older->refused;
    return static_cast<NTSTATUS>(0xC000000D);  // STATUS_INVALID_PARAMETER
  }
  ++older->opened;
  return older->real(handle, access, object, io, size, attributes, share, disposition, options,
                     extended, extendedSize);
}

// The attribute is dropped once, for the process, and every step works
// without it.
TEST_F(DirectorySteps, WorkWhereTheSystemRefusesOpensThatReparseNothing) {
  OlderWindows answers{sys.NtCreateFile};
  older = &answers;
  {
    ReplacedSystemFunction<decltype(&::NtCreateFile)> replaced(&SystemFunctions::NtCreateFile,
                                                               createFileAsOlderWindows);
    runSteps(kFresh, kFresh, kSteps);
  }
  older = nullptr;
  EXPECT_LE(answers.refused, 1);
  EXPECT_GT(answers.opened, 0);
}

// A Windows file server: a rename with a RootDirectory is invalid on the
// network (MS-FSCC FileRenameInformation), and is then given the target
// directory's full name. A directory that has become a junction meanwhile
// (FSCTL_SET_REPARSE_POINT, which wine cannot make) reads with the reparse
// point attribute through its handle.
struct FileServer {
  decltype(&::NtSetInformationFile) setInformation = nullptr;
  decltype(&::GetFileInformationByHandleEx) getInformation = nullptr;
  int refusedRoots = 0;
  std::wstring converted;  // the \\?\ name of the directory made a junction, or ""
};
FileServer* server = nullptr;

NTSTATUS NTAPI setInformationAsFileServer(HANDLE file, PIO_STATUS_BLOCK io, PVOID information,
                                          ULONG length, FILE_INFORMATION_CLASS kind) {
  constexpr int kFileRenameInformationEx = 65;
  if ((kind == FileRenameInformation || kind == kFileRenameInformationEx) &&
      static_cast<FILE_RENAME_INFO*>(information)->RootDirectory != nullptr) {
    ++server->refusedRoots;
    return static_cast<NTSTATUS>(0xC000000D);  // STATUS_INVALID_PARAMETER
  }
  return server->setInformation(file, io, information, length, kind);
}

BOOL WINAPI getInformationOfAJunction(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                      LPVOID information, DWORD size) {
  if (!server->getInformation(file, kind, information, size)) return FALSE;
  wchar_t name[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(file, name, MAX_PATH * 2, 0);
  if (kind == FileBasicInfo && length > 0 && length < MAX_PATH * 2 &&
      CompareStringOrdinal(name, static_cast<int>(length), server->converted.c_str(),
                           static_cast<int>(server->converted.size()), TRUE) == CSTR_EQUAL) {
    static_cast<FILE_BASIC_INFO*>(information)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return TRUE;
}

TEST_F(DirectorySteps, RenameOnAFileServerByTheTargetsFullName) {
  FileServer answers{sys.NtSetInformationFile, sys.GetFileInformationByHandleEx};
  server = &answers;
  {
    ReplacedSystemFunction<decltype(&::NtSetInformationFile)> replaced(
        &SystemFunctions::NtSetInformationFile, setInformationAsFileServer);
    runSteps(kFresh, kFresh, kSteps);
    EXPECT_GT(answers.refusedRoots, 0) << "no rename was relative";

    const auto convert = [](const Directory& directory) {
      server->converted = toWide("\\\\?\\" + directory.path());
    };
    const std::string changed = codeOf(kErrorDirectoryChanged);
    const Row rows[] = {
        {"moveTo into a directory made a junction",
         [&](System&, Directory& held, Directory& other) {
           std::unique_ptr<Directory> staged;
           if (const std::uint32_t code = held.makeDirectory("staged", true, &staged)) {
             return codeOf(code);
           }
           convert(other);
           return codeOf(staged->moveTo(other, "staged"));
         },
         changed,
         {{"held/staged", "dir"}}},
        {"rename and writeThenRename in a directory made a junction",
         [&](System&, Directory& held, Directory&) {
           convert(held);
           std::uint32_t error = 0;
           const FileStatus status = held.writeThenRename(
               "new.txt.setup-tmp", "new.txt", "new\n", [] {}, &error);
           return codeOf(held.rename("file.txt", "renamed.txt", false)) + " " + statusOf(status) +
                  " " + codeOf(error);
         },
         changed + " cannotRename " + changed,
         {{"held/new.txt.setup-tmp", "file:new\n"}}},
    };
    ReplacedSystemFunction<decltype(&::GetFileInformationByHandleEx)> junction(
        &SystemFunctions::GetFileInformationByHandleEx, getInformationOfAJunction);
    runSteps(kFresh, kFresh, rows);
  }
  server = nullptr;
}

}  // namespace
}  // namespace setup
