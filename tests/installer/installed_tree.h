// What an installation under wine leaves on disk and what it should leave,
// for the tests that run the real programs: the prepared data directory and
// registry values, the tree below a library root, the expected tree.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>

#include "installer/install.h"
#include "installer/locations.h"
#include "installer/payload.h"
#include "toolkit/winstr.h"

namespace setup::testing {

namespace fs = std::filesystem;

inline fs::path pathOf(const std::string& utf8) {
  return fs::path(toWide(utf8));
}

inline std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeContent(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

// A back-up's name: name + "_" + digits.
inline bool isBackup(const std::string& path) {
  const std::size_t cut = path.find_last_of('_');
  return cut != std::string::npos && cut + 1 < path.size() &&
         path.find_first_not_of("0123456789", cut + 1) == std::string::npos;
}

// Every file below root, by its path relative to root (UTF-8), with content.
inline std::map<std::string, std::string> filesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(pathOf(root))) return files;
  for (const auto& item : fs::recursive_directory_iterator(pathOf(root))) {
    if (!item.is_regular_file()) continue;
    files[toUtf8(item.path().lexically_relative(pathOf(root)).wstring())] = contentOf(item.path());
  }
  return files;
}

// What installing the payload into the default directories of a choice must
// write, by path relative to the library root.
inline std::map<std::string, std::string> expectedFiles(
    const InstallLocations& at, std::span<const PayloadEntry> table = payloadTable) {
  std::string pathLine = "path = '";
  for (const char c : at.scriptDir) pathLine += c == '\\' ? std::string("\\\\") : std::string(1, c);
  pathLine += "'";
  const auto relative = [&](const std::string& dir) {
    return dir.substr(at.libraryRoot.size() + 1);
  };
  std::map<std::string, std::string> files;
  for (const PayloadEntry& entry : table) {
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

// A data directory below base with install_type_info.txt naming base\Net\ as
// NetPath, the registry values pointing at it, and a home directory.
class PreparedPrefix {
 public:
  explicit PreparedPrefix(std::string base) : base_(std::move(base)) {
    fs::create_directories(pathOf(base_ + "\\ProgramData"));
    fs::create_directories(pathOf(home()));
    writeContent(pathOf(base_ + "\\ProgramData\\install_type_info.txt"),
                 "Type=Net\r\nNetPath=" + base_ + "\\Net\\\r\n");
    setRegistry(L"ProgramDataDrive", L"C:");
    setRegistry(L"ProgramDataPath", toWide(base_.substr(2) + "\\ProgramData\\"));
  }
  PreparedPrefix(const PreparedPrefix&) = delete;
  PreparedPrefix& operator=(const PreparedPrefix&) = delete;
  ~PreparedPrefix() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, toWide(kInstallRootKey).c_str(), KEY_WOW64_64KEY, 0);
    std::error_code ignored;
    fs::remove_all(pathOf(base_), ignored);
  }

  const std::string& base() const { return base_; }
  std::string home() const { return base_ + "\\home"; }
  std::string standardDir() const { return base_ + "\\Net\\Std"; }

  static void setRegistry(const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, toWide(kInstallRootKey).c_str(), 0, nullptr, 0,
                        KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  static void deleteRegistryValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, toWide(kInstallRootKey).c_str(), 0,
                      KEY_WRITE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, name);
      RegCloseKey(key);
    }
  }

 private:
  std::string base_;
};

}  // namespace setup::testing
