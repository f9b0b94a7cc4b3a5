// The headless install under Wine, into a data directory and registry values
// that the test prepares: every written file against the payload, a second
// install after a hand-made change, a destination that another process holds
// open without sharing, and installations killed part-way.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "installer/install.h"
#include "installer/locations.h"
#include "installer/retry.h"
#include "installer/system_win.h"
#include "runtime/syscalls_win.h"
#include "tests/driver/driver.h"
#include "tests/installer/installed_tree.h"
#include "tests/installer/staying_system_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using namespace std::chrono_literals;
using testing::expectedFiles;
using testing::filesBelow;
using testing::isBackup;
using testing::pathOf;
using testing::StayingSystem;
using testing::writeContent;
namespace fs = std::filesystem;

struct Outcome {
  DWORD exitCode;
  std::string output;  // standard output and standard error together
};

Outcome runHeadless(const std::vector<std::string>& args) {
  std::wstring arguments;
  for (const std::string& arg : args) {
    arguments += (arguments.empty() ? L"\"" : L" \"") + toWide(arg) + L"\"";
  }
  driver::Process headless(driver::fromUnixPath(HEADLESS_INSTALL), arguments, {}, true);
  const std::optional<DWORD> code = headless.wait(120s);
  EXPECT_TRUE(code.has_value()) << "the headless install did not end";
  return {code.value_or(~DWORD{0}), headless.output()};
}

class HeadlessInstall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { bindSystemFunctions(); }
  void SetUp() override {
    prefix_ = std::make_unique<testing::PreparedPrefix>("C:\\setup-headless-" +
                                                        std::to_string(GetCurrentProcessId()));
    base = prefix_->base();
    SetEnvironmentVariableW(L"USERPROFILE", toWide(prefix_->home()).c_str());
  }
  void TearDown() override { prefix_.reset(); }

  std::unique_ptr<testing::PreparedPrefix> prefix_;
  std::string base;
};

TEST_F(HeadlessInstall, WritesThePayloadIntoEitherLibrary) {
  WindowsSystem system;
  const std::string standard = discoverLocations(system);
  ASSERT_EQ(standard, base + "\\Net\\Std");
  for (const std::string_view choice : {kChoiceStandard, kChoicePrivate}) {
    SCOPED_TRACE(std::string(choice));
    const InstallLocations at = locationsForChoice(system, choice, standard);
    const Outcome outcome = runHeadless({std::string(choice)});
    EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
    EXPECT_EQ(outcome.output, "");
    const std::map<std::string, std::string> written = filesBelow(at.libraryRoot);
    const std::map<std::string, std::string> expected = expectedFiles(at);
    ASSERT_EQ(written.size(), 100u);
    for (const auto& [path, content] : expected) {
      const auto it = written.find(path);
      ASSERT_NE(it, written.end()) << path;
      EXPECT_TRUE(it->second == content) << path;
    }
  }
}

TEST_F(HeadlessInstall, KeepsAHandChangedFileAsOneBackup) {
  WindowsSystem system;
  const InstallLocations at =
      locationsForChoice(system, kChoiceStandard, discoverLocations(system));
  ASSERT_EQ(runHeadless({"Bureau"}).exitCode, 0u);
  const std::string changed = at.scriptDir + "\\fonts\\OFL.txt";
  writeContent(pathOf(changed), "changed by hand\n");
  const Outcome again = runHeadless({"Bureau"});
  EXPECT_EQ(again.exitCode, 0u) << again.output;

  std::map<std::string, std::string> backups;
  for (const auto& [path, content] : filesBelow(at.libraryRoot)) {
    if (isBackup(path)) {
      backups[path] = content;
    }
  }
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(backups.begin()->first.starts_with("PythonPartsScripts\\MELDRA\\fonts\\OFL.txt_"))
      << backups.begin()->first;
  EXPECT_EQ(backups.begin()->second, "changed by hand\n");
  EXPECT_EQ(filesBelow(at.libraryRoot).size(), 101u);
  EXPECT_TRUE(filesBelow(at.libraryRoot) == [&] {
    auto files = expectedFiles(at);
    files.insert(*backups.begin());
    return files;
  }());
}

// An older installation with a file changed by hand and one missing, and a
// destination further on, identical to the new file, that another process
// holds open: without sharing, or sharing reads as a running program holds
// its modules. The install stops there with the error of a write that could
// not open it, and undoes every change before it, back-ups included.
TEST_F(HeadlessInstall, StopsAtADestinationHeldOpenByAnotherProcessAndUndoesAll) {
  WindowsSystem system;
  const InstallLocations at =
      locationsForChoice(system, kChoiceStandard, discoverLocations(system));
  ASSERT_EQ(runHeadless({"Bureau"}).exitCode, 0u);
  writeContent(pathOf(at.scriptDir + "\\fonts\\OFL.txt"), "changed by hand\n");
  fs::remove(pathOf(at.scriptDir + "\\fonts\\static\\" +
                    std::string(payloadTable[payloadTable.size() / 2].name)));
  const std::map<std::string, std::string> before = filesBelow(at.libraryRoot);

  const std::string held = at.paletteDir + "\\VESK.pyp";
  for (const DWORD sharing : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
    SCOPED_TRACE("share mode " + std::to_string(sharing));
    HANDLE file = CreateFileW(toWide(held).c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const Outcome outcome = runHeadless({"Bureau"});
    CloseHandle(file);

    EXPECT_EQ(outcome.exitCode, 1u);
    // Standard error is in text mode: a line ends in CR LF. Held sharing
    // reads, the file is compared, and its replacement is refused (after a
    // few seconds of waiting for the holder to let go).
    EXPECT_EQ(outcome.output, "cannot open: " + held +
                                  (sharing == 0 ? "" : "\r\n" + readOnlyOrHeld(held)) +
                                  " [IOError]\r\n");
    EXPECT_TRUE(filesBelow(at.libraryRoot) == before);
  }
}

// A file is compared with the content about to replace it in pieces of the
// reading: differences at the ends of a piece, and files one byte longer or
// shorter, are told apart from the same bytes.
TEST(WindowsSystem, CompareFileReadsInPieces) {
  bindSystemFunctions();
  const std::string name = "compare-" + std::to_string(GetCurrentProcessId()) + ".bin";
  const std::string path = "C:\\" + name;
  std::string big(200'000, 'a');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
  const auto changedAt = [&](std::size_t at) {
    std::string text = big;
    text[at] = '!';
    return text;
  };
  struct Case {
    std::string_view name;
    std::string existing, content;
    bool same;
  };
  const Case cases[] = {
      {"same", big, big, true},
      {"empty", "", "", true},
      {"last byte of a piece", changedAt(65'535), big, false},
      {"first byte of the next", changedAt(65'536), big, false},
      {"last byte", changedAt(big.size() - 1), big, false},
      {"file longer", big + "x", big, false},
      {"file shorter", big.substr(1), big, false},
      {"file empty", "", big, false},
      {"content empty", big, "", false},
  };
  WindowsSystem system;
  std::unique_ptr<Directory> root;
  ASSERT_EQ(system.openDirectory("C:\\", &root), 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    writeContent(pathOf(path), c.existing);
    bool same = !c.same;
    ASSERT_EQ(root->compareFile(name, c.content, &same), FileStatus::ok);
    EXPECT_EQ(same, c.same);
  }
  fs::remove(pathOf(path));
  bool same = false;
  EXPECT_EQ(root->compareFile(name, "", &same), FileStatus::cannotOpen);
}

// A temporary file, or a file in a directory staged under a temporary name.
bool isTemporary(const std::string& path) {
  return path.ends_with(kTemporarySuffix) ||
         path.find(std::string(kTemporarySuffix) + "\\") != std::string::npos;
}

// Killed at a moment nobody chose, an installation leaves at each destination
// the older file or the whole new one, never a part; the next one completes
// and leaves no temporary file. Every other round is a first installation,
// whose directories appear only when complete.
TEST_F(HeadlessInstall, KilledInstallationsNeverLeaveAPartOfAFile) {
  WindowsSystem system;
  const InstallLocations at =
      locationsForChoice(system, kChoiceStandard, discoverLocations(system));
  const std::map<std::string, std::string> expected = expectedFiles(at);
  std::mt19937 random(static_cast<unsigned>(GetTickCount()));
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool first = round % 2 == 1;
    std::error_code ignored;
    fs::remove_all(pathOf(at.libraryRoot), ignored);
    // An older installation, unless this round is a first one: every file of
    // the payload with other bytes.
    std::map<std::string, std::string> older;
    if (!first) {
      for (const auto& [path, content] : expected) {
        older[path] = content.substr(0, content.size() / 2) + "older";
        fs::create_directories(pathOf(at.libraryRoot + "\\" + path).parent_path());
        writeContent(pathOf(at.libraryRoot + "\\" + path), older[path]);
      }
    }

    const auto delay = std::chrono::milliseconds(50 + random() % 700);
    {
      driver::Process headless(driver::fromUnixPath(HEADLESS_INSTALL), L"Bureau", {}, true);
      std::this_thread::sleep_for(delay);
      headless.kill();
    }
    for (const auto& [path, content] : filesBelow(at.libraryRoot)) {
      if (isTemporary(path)) continue;  // never at a destination
      if (isBackup(path)) {
        const std::string original = path.substr(0, path.find_last_of('_'));
        EXPECT_EQ(content, older[original]) << path;
        continue;
      }
      ASSERT_EQ(expected.count(path), 1u) << path;
      EXPECT_TRUE(content == expected.at(path) || (!first && content == older[path]))
          << path << " is partly written, killed after " << delay.count() << " ms";
    }

    const Outcome outcome = runHeadless({"Bureau"});
    ASSERT_EQ(outcome.exitCode, 0u) << outcome.output;
    std::size_t installed = 0;
    for (const auto& [path, content] : filesBelow(at.libraryRoot)) {
      EXPECT_FALSE(isTemporary(path)) << path;
      if (isBackup(path)) continue;
      EXPECT_TRUE(content == expected.at(path)) << path;
      ++installed;
    }
    EXPECT_EQ(installed, expected.size());
    for (const std::string& dir : {at.paletteDir, at.scriptDir}) {
      EXPECT_FALSE(fs::exists(pathOf(dir + std::string(kTemporarySuffix)))) << dir;
    }
  }
}

// A first installation killed while it fills its staging directories, then
// one of another version, whose payload lacks a file that the killed one had
// written there: only the files of the second move into place.
TEST_F(HeadlessInstall, LeftoverOfAKilledRunOfAnotherVersionBringsNoFileOfItsOwn) {
  WindowsSystem system;
  const InstallLocations at =
      locationsForChoice(system, kChoiceStandard, discoverLocations(system));
  // The first entry of the script side, written early into its staging directory.
  const auto omitted = std::find_if(payloadTable.begin(), payloadTable.end(),
                                    [](const PayloadEntry& entry) { return !entry.isPalette; });
  ASSERT_NE(omitted, payloadTable.end());
  const std::string staged = at.scriptDir + std::string(kTemporarySuffix) + "\\" +
                             std::string(omitted->subDir) + std::string(omitted->name);
  bool killedWhileStaging = false;
  for (int attempt = 0; attempt < 5 && !killedWhileStaging; ++attempt) {
    std::error_code ignored;
    fs::remove_all(pathOf(at.libraryRoot), ignored);
    driver::Process headless(driver::fromUnixPath(HEADLESS_INSTALL), L"Bureau", {}, true);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!fs::exists(pathOf(staged)) && headless.running() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    headless.kill();
    killedWhileStaging = fs::exists(pathOf(staged));
  }
  ASSERT_TRUE(killedWhileStaging) << "each run had moved its directories into place";

  std::vector<PayloadEntry> fewer;
  for (auto entry = payloadTable.begin(); entry != payloadTable.end(); ++entry) {
    if (entry != omitted) fewer.push_back(*entry);
  }
  StayingSystem staying;
  installPayload(staying, at.paletteDir, at.scriptDir, at.libraryRoot, nullptr, fewer);
  EXPECT_EQ(staying.exitCode, 0);
  const std::map<std::string, std::string> written = filesBelow(at.libraryRoot);
  const std::map<std::string, std::string> expected = expectedFiles(at, fewer);
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
}  // namespace setup
