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
//   over it, are refused with access denied (the installation renames
//   through NtSetInformationFile, relative to the directory it holds).
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
constexpr int kFileRenameInformation = 10;
constexpr int kFileDispositionInformationEx = 64;
constexpr int kFileRenameInformationEx = 65;
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr ULONG kDeleteOnClose = 0x1000;  // FILE_DELETE_ON_CLOSE

// How the replaced functions answer, and what they saw.
struct Answers {
  bool fat = false;
  bool scanner = false;
  bool zeroIds = false;
  // Refusals so far, by the name of what was to move.
  std::map<std::wstring, int> refused;
  // The lock files created, by their full names.
  std::vector<std::string> locks;
  decltype(&::GetFileInformationByHandleEx) getInformationEx = sys.GetFileInformationByHandleEx;
  decltype(&::GetFileInformationByHandle) getInformation = sys.GetFileInformationByHandle;
  decltype(&::SetFileInformationByHandle) setInformation = sys.SetFileInformationByHandle;
  decltype(&::NtSetInformationFile) setNtInformation = sys.NtSetInformationFile;
  decltype(&::NtCreateFile) createFile = sys.NtCreateFile;
};
Answers* answering = nullptr;

BOOL refuse(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The name of an open file, without the \\?\ that the call puts before it.
std::wstring nameOf(HANDLE file) {
  wchar_t name[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(file, name, MAX_PATH * 2, 0);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  std::wstring_view result(name, length);
  if (result.starts_with(L"\\\\?\\")) result.remove_prefix(4);
  return std::wstring(result);
}

// name relative to root, or name itself without one, as a Windows name.
std::wstring fullName(HANDLE root, std::wstring_view name) {
  if (root == nullptr) {
    if (name.starts_with(L"\\??\\")) name.remove_prefix(4);
    return std::wstring(name);
  }
  return nameOf(root) + L"\\" + std::wstring(name);
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
  return answering->setInformation(file, kind, information, size);
}

NTSTATUS WINAPI setNtInformation(HANDLE file, PIO_STATUS_BLOCK io, PVOID information, ULONG size,
                                 FILE_INFORMATION_CLASS kind) {
  const int number = static_cast<int>(kind);
  if (answering->fat &&
      (number == kFileDispositionInformationEx || number == kFileRenameInformationEx)) {
    return kStatusInvalidParameter;
  }
  if (number == kFileRenameInformation || number == kFileRenameInformationEx) {
    // FILE_RENAME_INFORMATION; the Ex class's flags share their place with
    // ReplaceIfExists.
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(information);
    const bool replacing = (rename->ReplaceIfExists & 1) != 0;
    const std::wstring target =
        fullName(rename->RootDirectory,
                 std::wstring_view(rename->FileName, rename->FileNameLength / sizeof(wchar_t)));
    if (isDirectory(file)
            ? scannerRefuses(nameOf(file), 3)
            : replacing && fs::exists(fs::path(target)) && scannerRefuses(target, 1)) {
      return kStatusAccessDenied;
    }
  }
  return answering->setNtInformation(file, io, information, size, kind);
}

NTSTATUS WINAPI createFile(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                           PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG fileAttributes,
                           ULONG share, ULONG disposition, ULONG options, PVOID ea,
                           ULONG eaLength) {
  const NTSTATUS status =
      answering->createFile(file, access, attributes, io, allocation, fileAttributes, share,
                            disposition, options, ea, eaLength);
  if (status >= 0 && (options & kDeleteOnClose) != 0) {
    const UNICODE_STRING* name = attributes->ObjectName;
    answering->locks.push_back(
        toUtf8(fullName(attributes->RootDirectory,
                        std::wstring_view(name->Buffer, name->Length / sizeof(wchar_t)))));
  }
  return status;
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
      ReplacedSystemFunction<decltype(&::NtSetInformationFile)> setNt(
          &SystemFunctions::NtSetInformationFile, setNtInformation);
      ReplacedSystemFunction<decltype(&::NtCreateFile)> create(&SystemFunctions::NtCreateFile,
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
