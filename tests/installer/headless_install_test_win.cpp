// The headless install under Wine, into a data directory and registry values
// that the test prepares: every written file against the payload, a second
// install after a hand-made change, and a destination that another process
// holds open without sharing.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "installer/install.h"
#include "installer/locations.h"
#include "installer/system_win.h"
#include "runtime/syscalls_win.h"

namespace setup {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  DWORD exitCode;
  std::string output;  // standard output and standard error together
};

std::wstring programPath() {
  std::wstring path = widen(HEADLESS_INSTALL);
  // The build tree's Unix path, as Wine sees it.
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

Outcome runHeadless(const std::vector<std::string>& args) {
  std::wstring commandLine = L"\"" + programPath() + L"\"";
  for (const std::string& arg : args) commandLine += L" \"" + widen(arg) + L"\"";

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  Outcome outcome{~DWORD{0}, {}};
  if (!started) {
    ADD_FAILURE() << "cannot start the headless install: " << GetLastError();
    CloseHandle(readEnd);
    return outcome;
  }
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    outcome.output.append(buffer, read);
  }
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeContent(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

fs::path pathOf(const std::string& utf8) {
  return fs::path(widen(utf8));
}

// Every file below root, by its path relative to root, as UTF-8.
std::map<std::string, std::string> filesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(pathOf(root))) {
    if (!item.is_regular_file()) continue;
    files[narrow(item.path().lexically_relative(pathOf(root)).wstring())] = contentOf(item.path());
  }
  return files;
}

// What the headless install must have written, by path relative to its
// library root, with the library's default directories.
std::map<std::string, std::string> expectedFiles(const InstallLocations& at) {
  std::string pathLine = "path = '";
  for (const char c : at.scriptDir) pathLine += c == '\\' ? std::string("\\\\") : std::string(1, c);
  pathLine += "'";
  const auto relative = [&](const std::string& dir) {
    return dir.substr(at.libraryRoot.size() + 1);
  };
  std::map<std::string, std::string> files;
  for (const PayloadEntry& entry : payloadTable) {
    std::string content = uncompress(entry.compressed);
    std::string name(entry.name);
    if (entry.isPalette) {
      if (const auto i = name.find("Bestellliste"); i != std::string::npos) {
        name.replace(i, 12, "Liste de commande");
      }
      files[relative(at.paletteDir) + "\\" + name] = content;
    } else {
      std::string subDir(entry.subDir);
      for (char& c : subDir) {
        if (c == '/') c = '\\';
      }
      if (const auto i = content.find(defaultPathLine); i != std::string::npos) {
        content.replace(i, defaultPathLine.size(), pathLine);
      }
      files[relative(at.scriptDir) + "\\" + subDir + name] = content;
    }
  }
  return files;
}

class HeadlessInstall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { bindSystemFunctions(); }
  void SetUp() override {
    base = "C:\\setup-headless-" + std::to_string(GetCurrentProcessId());
    fs::create_directories(pathOf(base + "\\ProgramData"));
    fs::create_directories(pathOf(base + "\\home"));
    writeContent(pathOf(base + "\\ProgramData\\install_type_info.txt"),
                 "Type=Net\r\nNetPath=" + base + "\\Net\\\r\n");
    setRegistry(L"ProgramDataDrive", L"C:");
    setRegistry(L"ProgramDataPath", widen(base.substr(2) + "\\ProgramData\\"));
    SetEnvironmentVariableW(L"USERPROFILE", widen(base + "\\home").c_str());
  }

  void TearDown() override {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, widen(kInstallRootKey).c_str(), KEY_WOW64_64KEY, 0);
    std::error_code ignored;
    fs::remove_all(pathOf(base), ignored);
  }

  static void setRegistry(const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, widen(kInstallRootKey).c_str(), 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

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
    if (path.find("_") != std::string::npos &&
        path.find_last_not_of("0123456789") == path.find_last_of('_')) {
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

TEST_F(HeadlessInstall, StopsAtADestinationHeldOpenByAnotherProcess) {
  WindowsSystem system;
  const InstallLocations at =
      locationsForChoice(system, kChoiceStandard, discoverLocations(system));
  ASSERT_EQ(runHeadless({"Bureau"}).exitCode, 0u);
  const std::map<std::string, std::string> before = filesBelow(at.libraryRoot);

  const std::string held = at.paletteDir + "\\VESK.pyp";
  HANDLE file = CreateFileW(widen(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const Outcome outcome = runHeadless({"Bureau"});
  CloseHandle(file);

  EXPECT_EQ(outcome.exitCode, 1u);
  EXPECT_NE(outcome.output.find("cannot open: " + held + " [IOError]"), std::string::npos)
      << outcome.output;
  EXPECT_TRUE(filesBelow(at.libraryRoot) == before);  // nothing lost, no back-up
}

}  // namespace
}  // namespace setup
