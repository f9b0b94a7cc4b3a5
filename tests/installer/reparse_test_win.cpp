// Dangling links where the installation creates its own files, answered as
// Windows answers: CreateFileW with CREATE_NEW at a name whose last component
// is a dangling symbolic link or junction follows it and creates the link's
// target, unless FILE_FLAG_OPEN_REPARSE_POINT opens the link itself. Wine 8
// answers "exists" either way, so the bound CreateFileW is replaced by one
// that follows the links this test planted as Windows would.
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
using testing::writeContent;
namespace fs = std::filesystem;

using CreateFileFunction = decltype(&::CreateFileW);

std::wstring nameKey(std::wstring_view name) {
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

// Wine's own mapping of a Windows name to the Linux one; "" elsewhere.
std::string unixPathOf(const std::string& windows) {
  using Convert = char*(CDECL*)(LPCWSTR);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* converted = convert(toWide(windows).c_str());
  if (converted == nullptr) return {};
  std::string result(converted);
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

// Runs a shell command of the Linux side, the only way from here to a unix
// symbolic link (wine's CreateSymbolicLinkW does nothing), and returns its
// exit status, or -1 when it did not end. Wine starts a Linux program without
// a process handle to wait on, so the command leaves its status in a file.
int runShell(const std::string& command, const std::string& statusFile) {
  const std::string unixStatus = unixPathOf(statusFile);
  DeleteFileW(toWide(statusFile).c_str());
  std::wstring commandLine = toWide("Z:\\bin\\sh -c \"" + command + "; echo $? >" + unixStatus +
                                    ".new && mv " + unixStatus + ".new " + unixStatus + "\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (unixStatus.empty() || !CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr,
                                            FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  for (int waited = 0; waited < 30'000; waited += 5) {
    if (fs::exists(pathOf(statusFile))) {
      const std::string status = contentOf(pathOf(statusFile));
      DeleteFileW(toWide(statusFile).c_str());
      return std::atoi(status.c_str());
    }
    Sleep(5);
  }
  return -1;
}

class DanglingLinks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::bindOnce(); }
  void SetUp() override {
    unixBase = unixPathOf(base);
    if (unixBase.empty()) GTEST_SKIP() << "the links are unix symbolic links: only under wine";
  }
  void TearDown() override {
    if (!unixBase.empty()) runShell("rm -rf " + unixBase, shellStatus);
  }

  // A fresh base with an installation of an older version: every file of the
  // payload in place, with other bytes.
  std::map<std::string, std::string> installOlder() {
    if (runShell("rm -rf " + unixBase, shellStatus) != 0) {
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
           runShell("ln -s " + unixTarget + " " + unixLink, shellStatus) == 0;
  }

  const std::string base = "C:\\setup-reparse-" + std::to_string(GetCurrentProcessId());
  const std::string shellStatus = base + ".status";
  const std::string outside = base + "\\outside";
  const std::string root = base + "\\Std";
  const std::string palette = root + "\\Lib\\MELDRA";
  const std::string script = root + "\\PythonPartsScripts\\MELDRA";
  std::string unixBase;
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

}  // namespace
}  // namespace setup
