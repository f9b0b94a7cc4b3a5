// The answers the fake gives through open directories, on NTFS and on a file
// server, where the installation's safety rests on them: what another user
// may change while it works (WINDOWS.md's last rows), and what a step
// relative to a handle reaches afterwards.
#include "tests/installer/fake_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace setup {
namespace {

using Volume = FakeSystem::Volume;
// What one call answered, in the type it answers in.
using Answer = std::variant<std::uint32_t, FileStatus, NameKind, bool>;
using Answers = std::vector<Answer>;

// Below the root: Lib\P and Lib\Q, empty; Out, with f.txt; Other. Lib\link
// and Link lead to Out, Lib\flink to Out\f.txt. top is the root opened,
// lib is Lib opened by path, p is Lib\P opened through lib to move.
struct World {
  explicit World(Volume volume) : root(volume == Volume::ntfs ? "E:" : "\\\\srv\\lib") {
    if (volume == Volume::ntfs) {
      system.addDrive('E');
    } else {
      system.addShare(root);
    }
    system.setVolume(root, volume);
    for (const char* dir : {"Lib\\P", "Lib\\Q", "Other"}) system.makeDirectories(at(dir));
    system.putFile(at("Out\\f.txt"), "target");
    system.putLink(at("Lib\\link"), at("Out"), true);
    system.putLink(at("Link"), at("Out"), true);
    system.putLink(at("Lib\\flink"), at("Out\\f.txt"), false);
    EXPECT_EQ(system.openDirectory(at(""), &top), 0u);
    EXPECT_EQ(system.openDirectory(at("Lib"), &lib), 0u);
    EXPECT_EQ(lib->openDirectory("P", true, &p), 0u);
  }
  std::string at(std::string_view name) const { return root + "\\" + std::string(name); }
  bool has(std::string_view name) const { return system.contentOf(at(name)).has_value(); }

  FakeSystem system;
  std::string root;
  std::unique_ptr<Directory> top;
  std::unique_ptr<Directory> lib;
  std::unique_ptr<Directory> p;
};

TEST(DirectoryHandles, AnswerAsWindowsWhileAnotherUserChangesTheTree) {
  struct Case {
    std::string_view what;
    std::function<Answers(World&)> act;
    Answers ntfs;
    std::optional<Answers> server;  // nothing: as on NTFS
  };
  const std::optional<Answers> asOnNtfs;
  const Case cases[] = {
      {"moved through its own handle, it answers where it went; its old name made again is "
       "another directory",
       [](World& w) -> Answers {
         return {w.p->moveTo(*w.top, "P2"), w.system.createDirectory(w.at("Lib\\P")),
                 w.p->createFile("a.txt", "x"), w.has("P2\\a.txt"), w.p->path() == w.at("P2")};
       },
       {0u, 0u, FileStatus::ok, true, true},
       asOnNtfs},
      {"a directory above an open one is neither renamed nor swapped for a link, by name or "
       "through a handle",
       [](World& w) -> Answers {
         w.lib.reset();
         std::unique_ptr<Directory> lib;
         Answers answers = {w.system.moveDirectory(w.at("Lib"), w.at("Old")),
                            w.system.swapForLink(w.at("Lib"), w.at("Out")),
                            w.top->openDirectory("Lib", true, &lib)};
         if (lib) answers.push_back(lib->moveTo(*w.top, "Old"));
         answers.push_back(w.p->check());
         return answers;
       },
       {kErrorAccessDenied, false, 0u, kErrorAccessDenied, 0u},
       asOnNtfs},
      {"an open directory is neither renamed nor removed, nor opened again to move",
       [](World& w) -> Answers {
         std::unique_ptr<Directory> again;
         return {w.system.moveDirectory(w.at("Lib\\P"), w.at("X")),
                 w.system.removeEmptyDirectory(w.at("Lib\\P")),
                 w.system.removeDirectory(w.at("Lib\\P")),
                 w.lib->removeName("P"),
                 w.lib->openDirectory("P", false, &again),
                 w.lib->remove()};  // opened without the right to
       },
       {kErrorSharingViolation, false, kErrorSharingViolation, kErrorSharingViolation,
        kErrorSharingViolation, kErrorAccessDenied},
       asOnNtfs},
      {"an empty open directory made a junction: its handle tells it; locally its steps stay in "
       "it, on a file server they go by name to the target",
       [](World& w) -> Answers {
         return {w.system.convertToJunction(w.at("Lib"), w.at("Out")),  // not empty
                 w.system.convertToJunction(w.at("Lib\\P"), w.at("Out")),
                 w.system.isLink(w.at("Lib\\P")),
                 w.p->check(),
                 w.p->createFile("a.txt", "x"),
                 w.system.tree().count(w.at("Lib\\P\\a.txt")) == 1,
                 w.has("Out\\a.txt")};
       },
       {false, true, true, kErrorDirectoryChanged, FileStatus::ok, true, false},
       Answers{false, true, true, kErrorDirectoryChanged, FileStatus::ok, false, true}},
      {"a link re-pointed while its target is open: the handle stays there, on a file server "
       "its steps go by name to the new target",
       [](World& w) -> Answers {
         std::unique_ptr<Directory> out;
         Answers answers = {w.system.openDirectory(w.at("Link"), &out)};
         if (!out) return answers;
         answers.insert(answers.end(), {w.system.repointLink(w.at("Link"), w.at("Other")),
                                        out->check(), out->createFile("a.txt", "x"),
                                        w.has("Out\\a.txt"), w.has("Other\\a.txt")});
         return answers;
       },
       {0u, true, 0u, FileStatus::ok, true, false},
       Answers{0u, true, 0u, FileStatus::ok, false, true}},
      {"removed through its handle, its name made again: the handle reaches neither; without "
       "POSIX semantics the name waits for the handle to close",
       [](World& w) -> Answers {
         std::unique_ptr<Directory> q;
         Answers answers = {w.lib->openDirectory("Q", true, &q)};
         if (!q) return answers;
         answers.insert(answers.end(),
                        {q->remove(), w.system.createDirectory(w.at("Lib\\Q")), q->check(),
                         q->createFile("a.txt", "x"), w.system.nameKind(w.at("Lib\\Q"))});
         q.reset();
         answers.push_back(w.system.createDirectory(w.at("Lib\\Q")));
         return answers;
       },
       {0u, 0u, 0u, kErrorFileNotFound, FileStatus::cannotOpen, NameKind::directory,
        kErrorAlreadyExists},
       Answers{0u, 0u, kErrorAccessDenied, kErrorDeletePending, FileStatus::cannotOpen,
               NameKind::missing, 0u}},
      {"a link at a name is the name itself to every step, its target untouched",
       [](World& w) -> Answers {
         std::unique_ptr<Directory> opened;
         std::unique_ptr<HeldFile> held;
         bool same = false;
         std::uint32_t renameError = 0;
         Answers answers = {w.system.removeEmptyDirectory(w.at("Lib\\Q"))};
         w.system.putLink(w.at("Lib\\Q"), w.at("Out"), true);
         answers.insert(
             answers.end(),
             {w.lib->openDirectory("Q", true, &opened), w.lib->nameKind("link"),
              w.lib->openDirectory("link", false, &opened),
              w.lib->makeDirectory("link", true, &opened), w.lib->createFile("link", "x"),
              w.lib->compareFile("flink", "target", &same), w.lib->holdFile("flink", &held),
              w.lib->deleteFile("link"), w.lib->rename("flink", "moved", false),
              w.system.isLink(w.at("Lib\\moved")),
              w.lib->writeThenRename(
                  "t", "moved", "new", [] {}, &renameError),
              w.has("Lib\\moved"), w.lib->removeName("link"), w.system.isLink(w.at("Lib\\link")),
              w.system.contentOf(w.at("Out\\f.txt")) == "target",
              w.system.isDirectory(w.at("Out"))});
         return answers;
       },
       {true, kErrorStoppedOnLink, NameKind::link, kErrorStoppedOnLink, kErrorAlreadyExists,
        FileStatus::exists, FileStatus::cannotOpen, kErrorFileExists, kErrorAccessDenied, 0u, true,
        FileStatus::ok, true, 0u, false, true, true},
       asOnNtfs},
      {"moved or removed through its handle only when nothing below is open and it is empty",
       [](World& w) -> Answers {
         std::unique_ptr<Directory> sub;
         Answers answers = {w.p->makeDirectory("sub", true, &sub)};
         if (!sub) return answers;
         answers.insert(answers.end(), {w.p->moveTo(*w.top, "P2"), w.p->remove(), sub->remove(),
                                        w.p->remove(), w.p->check()});
         return answers;
       },
       {0u, kErrorAccessDenied, kErrorDirNotEmpty, 0u, 0u, kErrorFileNotFound},
       // The directory removed below, delete-pending, keeps it from being empty.
       Answers{0u, kErrorAccessDenied, kErrorDirNotEmpty, 0u, kErrorDirNotEmpty, 0u}},
      {"steps through a handle are NT opens: no MAX_PATH, but 255 units to a name",
       [](World& w) -> Answers {
         const std::string name(200, 'n');
         std::unique_ptr<Directory> first;
         std::unique_ptr<Directory> second;
         Answers answers = {w.p->makeDirectory(name, true, &first)};
         if (!first) return answers;
         answers.insert(answers.end(),
                        {first->makeDirectory(name, true, &second),
                         w.system.createDirectory(w.at("Lib\\P\\" + name + "\\" + name + "\\x")),
                         first->makeDirectory(std::string(256, 'n'), true, &second)});
         return answers;
       },
       {0u, 0u, kErrorFilenameTooLong, kErrorInvalidName},
       asOnNtfs},
      {"a step through a handle is a file call, failed as the n-th",
       [](World& w) -> Answers {
         w.system.failFileCall(2, kErrorSharingViolation);
         return {w.p->check(), w.p->createFile("a.txt", "x"), w.p->check()};
       },
       {0u, FileStatus::cannotOpen, 0u},
       asOnNtfs},
  };
  for (const Volume volume : {Volume::ntfs, Volume::fileServerWithoutIds}) {
    for (const Case& c : cases) {
      World world(volume);
      const Answers& expected =
          volume == Volume::ntfs || !c.server.has_value() ? c.ntfs : *c.server;
      EXPECT_EQ(c.act(world), expected)
          << c.what << (volume == Volume::ntfs ? " (NTFS)" : " (file server)");
    }
  }
}

}  // namespace
}  // namespace setup
