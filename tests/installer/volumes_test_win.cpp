// Ordinary set-ups, answered as Windows answers them, which wine does not:
// the bound functions are replaced by ones that give those answers.
//
// - A FAT32 or exFAT drive (a USB stick, an SD card): its driver knows none
//   of FileAttributeTagInfo, FileIdInfo, FileDispositionInfoEx and
//   FileRenameInfoEx, and answers ERROR_INVALID_PARAMETER (Microsoft's FastFAT
//   sample, FatCommonQueryInformation and FatCommonSetInformation).
// - A virus scanner or an indexer, which opens each file right after it is
//   written: Windows renames no directory while anything below it is open,
//   and a rename without POSIX semantics replaces no file that anybody holds.
//   Here each directory's first three moves, and each file's first rename
//   over it, are refused with access denied.
// - A file server whose file system has no 64-bit ids: the redirector passes
//   on ids of 0 (MS-FSCC 2.4.22), from FileIdInfo and
//   GetFileInformationByHandle alike.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "installer/install.h"
#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "tests/installer/installed_tree.h"
#include "tests/installer/staying_system_win.h"
#include "tests/toolkit/testing_win.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using testing::expectedFiles;
using testing::filesBelow;
using testing::isBackup;
using testing::pathOf;
using testing::ReplacedSystemFunction;
using testing::StayingSystem;
namespace fs = std::filesystem;

constexpr int kFileIdInfo = 18;
constexpr int kFileDispositionInfoEx = 21;
constexpr int kFileRenameInfoEx = 22;

// How the replaced functions answer, and what they saw.
struct Answers {
  bool fat = false;
  bool scanner = false;
  bool zeroIds = false;
  // Refusals so far, by the name of what was to move.
  std::map<std::wstring, int> refused;
  // The lock files created, as CreateFileW was given them.
  std::vector<std::string> locks;
  decltype(&::GetFileInformationByHandleEx) getInformationEx = sys.GetFileInformationByHandleEx;
  decltype(&::GetFileInformationByHandle) getInformation = sys.GetFileInformationByHandle;
  decltype(&::SetFileInformationByHandle) setInformation = sys.SetFileInformationByHandle;
  decltype(&::MoveFileExW) moveFile = sys.MoveFileExW;
  decltype(&::CreateFileW) createFile = sys.CreateFileW;
};
Answers* answering = nullptr;

BOOL refuse(DWORD code) {
  SetLastError(code);
  return FALSE;
}

std::wstring nameOf(HANDLE file) {
  wchar_t name[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(file, name, MAX_PATH * 2, 0);
  return length == 0 || length >= MAX_PATH * 2 ? std::wstring() : std::wstring(name, length);
}

bool isDirectory(HANDLE file) {
  FILE_BASIC_INFO basic;
  return answering->getInformationEx(file, FileBasicInfo, &basic, sizeof basic) &&
         (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The scanner holds what is below a directory, or the file replaced, for
// the first tries.
bool scannerRefuses(const std::wstring& name, int tries) {
  return answering->scanner && !name.empty() && answering->refused[name]++ < tries;
}

BOOL WINAPI getInformationEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                             DWORD size) {
  if (answering->fat && (kind == FileAttributeTagInfo || kind == kFileIdInfo)) {
    return refuse(ERROR_INVALID_PARAMETER);
  }
  const BOOL got = answering->getInformationEx(file, kind, information, size);
  if (got && answering->zeroIds && kind == kFileIdInfo) {
    auto* id = static_cast<unsigned char*>(information);
    std::fill(id + sizeof(ULONGLONG), id + size, 0);
  }
  return got;
}

BOOL WINAPI getInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  const BOOL got = answering->getInformation(file, information);
  if (got && answering->zeroIds) information->nFileIndexHigh = information->nFileIndexLow = 0;
  return got;
}

BOOL WINAPI setInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                           DWORD size) {
  if (answering->fat && (kind == kFileDispositionInfoEx || kind == kFileRenameInfoEx)) {
    return refuse(ERROR_INVALID_PARAMETER);
  }
  if (kind == FileRenameInfo || kind == kFileRenameInfoEx) {
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(information);
    // The Ex class's flags share their place with ReplaceIfExists.
    const bool replacing = (rename->ReplaceIfExists & 1) != 0;
    const std::wstring target(rename->FileName, rename->FileNameLength / sizeof(wchar_t));
    if (isDirectory(file)
            ? scannerRefuses(nameOf(file), 3)
            : replacing && fs::exists(fs::path(target)) && scannerRefuses(target, 1)) {
      return refuse(ERROR_ACCESS_DENIED);
    }
  }
  return answering->setInformation(file, kind, information, size);
}

BOOL WINAPI moveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (fs::is_directory(fs::path(from)) && scannerRefuses(from, 3)) {
    return refuse(ERROR_ACCESS_DENIED);
  }
  return answering->moveFile(from, to, flags);
}

HANDLE WINAPI createFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
  const HANDLE file =
      answering->createFile(name, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE && (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0) {
    answering->locks.push_back(toUtf8(name));
  }
  return file;
}

class Volumes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::bindOnce(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(pathOf(base), ignored);
  }

  // Installs the payload with the bound functions answering as set.
  void install(Answers& answers) {
    answering = &answers;
    StayingSystem system;
    try {
      ReplacedSystemFunction<decltype(&::GetFileInformationByHandleEx)> ex(
          &SystemFunctions::GetFileInformationByHandleEx, getInformationEx);
      ReplacedSystemFunction<decltype(&::GetFileInformationByHandle)> plain(
          &SystemFunctions::GetFileInformationByHandle, getInformation);
      ReplacedSystemFunction<decltype(&::SetFileInformationByHandle)> set(
          &SystemFunctions::SetFileInformationByHandle, setInformation);
      ReplacedSystemFunction<decltype(&::MoveFileExW)> move(&SystemFunctions::MoveFileExW,
                                                            moveFile);
      ReplacedSystemFunction<decltype(&::CreateFileW)> create(&SystemFunctions::CreateFileW,
                                                              createFile);
      installPayload(system, palette, script, root, nullptr, payloadTable);
    } catch (const Error& e) {
      ADD_FAILURE() << e.what();
    }
    answering = nullptr;
    EXPECT_EQ(system.exitCode, 0);
  }

  const std::string base = "C:\\setup-volumes-" + std::to_string(GetCurrentProcessId());
  const std::string root = base + "\\Std";
  const std::string palette = root + "\\Lib\\MELDRA";
  const std::string script = root + "\\PythonPartsScripts\\MELDRA";
};

// A first installation and a reinstallation end with the whole payload and
// no back-up; with ids of 0 both targets, which end in the same name, are
// locked each.
TEST_F(Volumes, OrdinarySetUpsInstall) {
  struct Row {
    std::string_view name;
    bool fat, scanner, zeroIds;
  };
  const Row rows[] = {
      {"FAT32 or exFAT", true, false, false},
      {"a scanner", false, true, false},
      {"FAT32 or exFAT with a scanner", true, true, false},
      {"a file server without ids", false, false, true},
  };
  const std::map<std::string, std::string> expected =
      expectedFiles(InstallLocations{root, root, palette, script});
  ASSERT_FALSE(expected.empty());
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    std::error_code ignored;
    fs::remove_all(pathOf(base), ignored);
    fs::create_directories(pathOf(base));
    for (const char* run : {"first installation", "reinstallation"}) {
      SCOPED_TRACE(run);
      Answers answers;
      answers.fat = row.fat;
      answers.scanner = row.scanner;
      answers.zeroIds = row.zeroIds;
      install(answers);
      EXPECT_TRUE(filesBelow(root) == expected);
      for (const auto& [path, content] : filesBelow(root)) EXPECT_FALSE(isBackup(path)) << path;
      for (const std::string& target : {palette, script}) {
        EXPECT_NE(std::find(answers.locks.begin(), answers.locks.end(), target + ".setup-lock"),
                  answers.locks.end())
            << target << " was not locked";
      }
      if (row.scanner) {
        // The refusals were met: the staging directories of the first run,
        // the files replaced by the second.
        EXPECT_FALSE(answers.refused.empty());
      }
    }
  }
}

}  // namespace
}  // namespace setup
