// Reparse points where the installation meets them, answered as Windows
// answers, which wine does not: the bound functions are replaced by ones that
// give Windows' answers for the names the tests chose.
//
// Dangling links: CreateFileW with CREATE_NEW at a name whose last component
// is a dangling symbolic link or junction follows it and creates the link's
// target, unless FILE_FLAG_OPEN_REPARSE_POINT opens the link itself. Wine 8
// answers "exists" either way.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "installer/install.h"
#include "installer/system_win.h"
#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "tests/installer/installed_tree.h"
#include "tests/installer/staying_system_win.h"
#include "tests/installer/wine_shell_win.h"
#include "tests/toolkit/testing_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using testing::contentOf;
using testing::expectedFiles;
using testing::filesBelow;
using testing::isBackup;
using testing::pathOf;
using testing::ReplacedSystemFunction;
using testing::StayingSystem;
using testing::unixPathOf;
using testing::writeContent;
namespace fs = std::filesystem;

using CreateFileFunction = decltype(&::CreateFileW);

std::wstring nameKey(std::wstring_view name) {
  // GetFinalPathNameByHandleW answers in the \\?\ form.
  if (name.starts_with(L"\\\\?\\")) name.remove_prefix(4);
  std::wstring key(name);
  for (wchar_t& c : key) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return key;
}

// The link planted for the installation under test, by its name's key, with
// the Windows name of its target, and every open the installation made
// through it.
struct PlantedLink {
  std::wstring key;
  std::wstring target;
  CreateFileFunction real = nullptr;
  std::vector<std::string> followed;
};
PlantedLink* planted = nullptr;

HANDLE WINAPI createFileAsWindows(LPCWSTR name, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
  if (nameKey(name) == planted->key && (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
    if (disposition == CREATE_NEW) {
      planted->followed.push_back("CREATE_NEW at " + toUtf8(name) + " created " +
                                  toUtf8(planted->target));
      return planted->real(planted->target.c_str(), access, share, security, disposition, flags,
                           templateFile);
    }
    // Opening an existing name through a dangling link fails as under wine,
    // but whatever answers it is the target's, not the link's.
    planted->followed.push_back("opened through " + toUtf8(name));
  }
  return planted->real(name, access, share, security, disposition, flags, templateFile);
}

class DanglingLinks : public testing::UnixSideTest {
 protected:
  DanglingLinks() : UnixSideTest("C:\\setup-reparse-" + std::to_string(GetCurrentProcessId())) {}

  // A fresh base with an installation of an older version: every file of the
  // payload in place, with other bytes.
  std::map<std::string, std::string> installOlder() {
    if (shell("rm -rf " + unixBase) != 0) {
      ADD_FAILURE() << "cannot clear " << unixBase;
      return {};
    }
    fs::create_directories(pathOf(outside));
    StayingSystem system;
    installPayload(system, palette, script, root, nullptr, payloadTable);
    EXPECT_EQ(system.exitCode, 0);
    std::map<std::string, std::string> older;
    for (const auto& [path, content] : filesBelow(root)) {
      older[path] = content + "older\n";
      writeContent(pathOf(root + "\\" + path), older[path]);
    }
    return older;
  }

  bool plantLink(const std::string& link, const std::string& target) {
    const std::string unixLink = unixPathOf(link);
    const std::string unixTarget = unixPathOf(target);
    return !unixLink.empty() && !unixTarget.empty() &&
           shell("ln -s " + unixTarget + " " + unixLink) == 0;
  }

  const std::string outside = base + "\\outside";
  const std::string root = base + "\\Std";
  const std::string palette = root + "\\Lib\\MELDRA";
  const std::string script = root + "\\PythonPartsScripts\\MELDRA";
};

// Over an older installation, each name where the installation creates a
// file of its own holds a dangling link into a directory outside the
// targets. The installation completes with the payload in place and never
// creates, nor opens, anything through a link.
TEST_F(DanglingLinks, AreNeverFollowedWhereTheInstallationCreatesItsFiles) {
  struct Row {
    std::string_view name;
    std::string link;
    std::string leftover;  // a plain file planted as well, or ""
  };
  const Row rows[] = {
      {"temporary name", script + "\\vesk.py.setup-tmp", ""},
      // The leftover is removed as a name: the spare file of that removal
      // meets the link.
      {"spare name of a removal", script + "\\dorl.py.setup-tmp.setup-rm",
       script + "\\dorl.py.setup-tmp"},
      {"lock beside the target", palette + ".setup-lock", ""},
  };
  const std::map<std::string, std::string> expected =
      expectedFiles(InstallLocations{root, root, palette, script});
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    const std::map<std::string, std::string> older = installOlder();
    ASSERT_EQ(older.size(), expected.size());
    const std::string target = outside + "\\target";
    ASSERT_TRUE(plantLink(row.link, target)) << row.link;
    if (!row.leftover.empty()) writeContent(pathOf(row.leftover), "leftover\n");

    PlantedLink link{nameKey(toWide(row.link)), toWide(target), sys.CreateFileW, {}};
    planted = &link;
    StayingSystem system;
    try {
      ReplacedSystemFunction<CreateFileFunction> asWindows(&SystemFunctions::CreateFileW,
                                                           createFileAsWindows);
      installPayload(system, palette, script, root, nullptr, payloadTable);
    } catch (const Error& e) {
      ADD_FAILURE() << e.what();
    }
    planted = nullptr;

    EXPECT_EQ(system.exitCode, 0);
    // Windows would go on to rename a file created through the link into
    // place, or delete it: the outside directory may well end empty, and the
    // opens tell.
    for (const std::string& open : link.followed) ADD_FAILURE() << open;
    EXPECT_TRUE(fs::is_empty(pathOf(outside))) << "something was created outside the targets";
    std::map<std::string, std::string> installed;
    for (const auto& [path, content] : filesBelow(root)) {
      if (!isBackup(path)) {
        installed[path] = content;
      } else {
        const std::string original = path.substr(0, path.find_last_of('_'));
        EXPECT_TRUE(older.contains(original) && content == older.at(original)) << path;
      }
    }
    EXPECT_TRUE(installed == expected);
  }
}

// Reparse points that are not links, and placeholders, as Windows reports
// them: a OneDrive file (IO_REPARSE_TAG_CLOUD_*) or a deduplicated one
// (IO_REPARSE_TAG_DEDUP) reads with FILE_ATTRIBUTE_REPARSE_POINT and its tag
// through a handle on it (FileAttributeTagInfo), and one whose content is not on the disk
// carries a recall attribute as well: reading it downloads it. Wine makes
// none of these, so the bound functions that tell the installation what a
// name is are replaced by ones that give chosen names of a real installed
// tree Windows' answers, and every open for reading of such a name is
// recorded.

constexpr DWORD kTagCloud = 0x9000001A;
constexpr DWORD kTagDedup = 0x80000013;
constexpr DWORD kTagSymlink = 0xA000000C;
constexpr DWORD kRecallOnDataAccess = 0x400000;
constexpr DWORD kRecallOnOpen = 0x40000;

struct Mark {
  DWORD tag;     // 0: not a reparse point
  DWORD recall;  // the recall attributes besides FILE_ATTRIBUTE_REPARSE_POINT, or 0

  DWORD attributes() const { return (tag != 0 ? FILE_ATTRIBUTE_REPARSE_POINT : 0) | recall; }
};

// The marked names, by their keys, and what the installation did with them;
// the functions being replaced.
struct AsWindows {
  std::map<std::wstring, Mark> marked;
  std::vector<std::string> readOpens;
  decltype(&::GetFileAttributesW) getFileAttributes = sys.GetFileAttributesW;
  decltype(&::GetFileInformationByHandleEx) getInformationByHandle =
      sys.GetFileInformationByHandleEx;
  decltype(&::CreateFileW) createFile = sys.CreateFileW;

  const Mark* markOf(std::wstring_view name) const {
    const auto it = marked.find(nameKey(name));
    return it == marked.end() ? nullptr : &it->second;
  }
};
AsWindows* windows = nullptr;

DWORD WINAPI getFileAttributesAsWindows(LPCWSTR name) {
  DWORD attributes = windows->getFileAttributes(name);
  if (const Mark* mark = windows->markOf(name); mark && attributes != INVALID_FILE_ATTRIBUTES) {
    attributes |= mark->attributes();
  }
  return attributes;
}

BOOL WINAPI getInformationByHandleAsWindows(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                            LPVOID information, DWORD size) {
  const BOOL got = windows->getInformationByHandle(file, kind, information, size);
  if (!got || kind != FileAttributeTagInfo) return got;
  wchar_t name[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(file, name, MAX_PATH * 2, 0);
  if (length == 0 || length >= MAX_PATH * 2) return got;
  if (const Mark* mark = windows->markOf(name)) {
    auto* tagInfo = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information);
    tagInfo->FileAttributes |= mark->attributes();
    tagInfo->ReparseTag = mark->tag;
  }
  return got;
}

HANDLE WINAPI createFileRecordingReads(LPCWSTR name, DWORD access, DWORD share,
                                       LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                       DWORD flags, HANDLE templateFile) {
  constexpr DWORD kReading = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA | MAXIMUM_ALLOWED;
  if ((access & kReading) != 0 && windows->markOf(name) != nullptr) {
    windows->readOpens.push_back(toUtf8(name));
  }
  return windows->createFile(name, access, share, security, disposition, flags, templateFile);
}

class ReparseTags : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::bindOnce(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(pathOf(base), ignored);
  }

  // A fresh installation of the payload under root.
  void installFresh() {
    std::error_code ignored;
    fs::remove_all(pathOf(base), ignored);
    fs::create_directories(pathOf(base));
    StayingSystem system;
    installPayload(system, palette, script, root, nullptr, payloadTable);
    EXPECT_EQ(system.exitCode, 0);
  }

  const std::string base = "C:\\setup-tags-" + std::to_string(GetCurrentProcessId());
  const std::string root = base + "\\Std";
  const std::string palette = root + "\\Lib\\MELDRA";
  const std::string script = root + "\\PythonPartsScripts\\MELDRA";
};

// Over an installation of the same payload, or one with a file changed, the
// chosen names read as reparse points of a tag. One that is not a link is
// what it holds: its bytes decide, and where they are the payload's nothing
// is kept aside. A placeholder and a link are kept aside unread, whatever
// their bytes.
TEST_F(ReparseTags, DecideWhatIsKeptAsideAndWhatIsRead) {
  enum class Marked { everyFile, everyFolder, oneFile };
  struct Row {
    std::string_view name;
    Mark mark;
    Marked marked;
    bool changed;    // the one file holds older bytes than the payload's
    bool keptAside;  // the one file is kept aside, unread; else nothing is
  };
  const Row rows[] = {
      {"hydrated OneDrive files", {kTagCloud, 0}, Marked::everyFile, false, false},
      {"deduplicated files", {kTagDedup, 0}, Marked::everyFile, false, false},
      // OneDrive marks its folders as it marks its files; they are written
      // into and held as folders.
      {"OneDrive folders", {kTagCloud, 0}, Marked::everyFolder, false, false},
      {"changed placeholder", {kTagCloud, kRecallOnDataAccess}, Marked::oneFile, true, true},
      // Telling that it holds the payload's bytes would download it.
      {"placeholder recalled on open", {kTagCloud, kRecallOnOpen}, Marked::oneFile, false, true},
      // A hierarchical storage or archive system keeps its content on tape or
      // in a cloud, and recalls it when it is read.
      {"offline file", {0, FILE_ATTRIBUTE_OFFLINE}, Marked::oneFile, false, true},
      // Its bytes, read through it, are the payload's: a link is the user's
      // all the same.
      {"symbolic link to a file", {kTagSymlink, 0}, Marked::oneFile, false, true},
  };
  const std::map<std::string, std::string> expected =
      expectedFiles(InstallLocations{root, root, palette, script});
  ASSERT_FALSE(expected.empty());
  const std::string oneFile = expected.rbegin()->first;
  const std::string oneOlder = expected.rbegin()->second + "older\n";

  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    installFresh();
    ASSERT_TRUE(filesBelow(root) == expected);
    if (row.changed) writeContent(pathOf(root + "\\" + oneFile), oneOlder);

    AsWindows answers;
    if (row.marked == Marked::oneFile) {
      answers.marked[nameKey(toWide(root + "\\" + oneFile))] = row.mark;
    } else {
      if (row.marked == Marked::everyFolder) answers.marked[nameKey(toWide(root))] = row.mark;
      for (const auto& item : fs::recursive_directory_iterator(pathOf(root))) {
        if (item.is_directory() == (row.marked == Marked::everyFolder)) {
          answers.marked[nameKey(item.path().wstring())] = row.mark;
        }
      }
    }
    // Nobody may read the file that is to stay unread, by whatever route:
    // the opens through the table are recorded, any other is refused.
    HANDLE guard = INVALID_HANDLE_VALUE;
    if (row.keptAside) {
      guard = CreateFileW(pathOf(root + "\\" + oneFile).c_str(), GENERIC_READ,
                          FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(guard, INVALID_HANDLE_VALUE);
    }

    windows = &answers;
    StayingSystem system;
    try {
      ReplacedSystemFunction<decltype(&::GetFileAttributesW)> attributes(
          &SystemFunctions::GetFileAttributesW, getFileAttributesAsWindows);
      ReplacedSystemFunction<decltype(&::GetFileInformationByHandleEx)> byHandle(
          &SystemFunctions::GetFileInformationByHandleEx, getInformationByHandleAsWindows);
      ReplacedSystemFunction<decltype(&::CreateFileW)> create(&SystemFunctions::CreateFileW,
                                                              createFileRecordingReads);
      installPayload(system, palette, script, root, nullptr, payloadTable);
    } catch (const Error& e) {
      ADD_FAILURE() << e.what();
    }
    windows = nullptr;
    if (guard != INVALID_HANDLE_VALUE) CloseHandle(guard);

    EXPECT_EQ(system.exitCode, 0);
    std::map<std::string, std::string> installed;
    std::map<std::string, std::string> backups;
    for (const auto& [path, content] : filesBelow(root)) {
      (isBackup(path) ? backups : installed)[path] = content;
    }
    EXPECT_TRUE(installed == expected);
    if (row.keptAside) {
      EXPECT_EQ(backups.size(), 1u);
      for (const auto& [backup, content] : backups) {
        EXPECT_EQ(backup.substr(0, backup.find_last_of('_')), oneFile);
        EXPECT_TRUE(content == (row.changed ? oneOlder : expected.at(oneFile))) << backup;
      }
      // The one file is the only name marked.
      for (const std::string& open : answers.readOpens) {
        ADD_FAILURE() << "opened for reading: " << open;
      }
    } else if (!backups.empty()) {
      ADD_FAILURE() << backups.size() << " kept aside, among them " << backups.begin()->first;
    }
  }
}

}  // namespace
}  // namespace setup
