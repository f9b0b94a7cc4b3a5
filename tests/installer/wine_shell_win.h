// The Linux side of wine, for tests that need what only it can make: unix
// symbolic links (wine's CreateSymbolicLinkW does nothing), and renames that
// ignore share modes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/toolkit/testing_win.h"
#include "toolkit/winstr.h"

namespace setup::testing {

// Wine's own mapping of a Windows name to the Linux one; "" elsewhere.
inline std::string unixPathOf(const std::string& windows) {
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

// Runs a shell command of the Linux side and returns its exit status, or -1
// when it did not end. Wine starts a Linux program without a process handle
// to wait on, so the command leaves its status in statusFile (a Windows
// name).
inline int runShell(const std::string& command, const std::string& statusFile) {
  const std::string unixStatus = unixPathOf(statusFile);
  const std::filesystem::path status(toWide(statusFile));
  DeleteFileW(status.c_str());
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
    if (std::filesystem::exists(status)) {
      std::ifstream in(status, std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), {}};
      in.close();
      DeleteFileW(status.c_str());
      return std::atoi(text.c_str());
    }
    Sleep(5);
  }
  return -1;
}

// A test that works in a folder of its own, base, which the Linux side makes
// and removes; skipped where there is no Linux side to make links with.
class UnixSideTest : public ::testing::Test {
 protected:
  explicit UnixSideTest(std::string folder) : base(std::move(folder)) {}
  static void SetUpTestSuite() { bindOnce(); }
  void SetUp() override {
    unixBase = unixPathOf(base);
    if (unixBase.empty()) GTEST_SKIP() << "the links are unix symbolic links: only under wine";
  }
  void TearDown() override {
    if (!unixBase.empty()) shell("rm -rf " + unixBase);
  }
  int shell(const std::string& command) { return runShell(command, base + ".status"); }

  const std::string base;
  std::string unixBase;
};

}  // namespace setup::testing
