#include "installer/locations.h"

#include <vector>

#include "installer/files.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

constexpr std::string_view kInfoFile = "install_type_info.txt";
constexpr std::string_view kNetPathKey = "NetPath=";
constexpr std::string_view kMissingInfoFile = "Le fichier n'existe pas.";

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::size_t drivePrefixLength(std::string_view path) {
  if (path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':') return 2;
  if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1])) return 0;
  std::size_t i = 2;
  const std::size_t server = i;
  while (i < path.size() && !isSeparator(path[i])) ++i;
  if (i == server || i == path.size()) return 0;
  const std::size_t share = ++i;
  while (i < path.size() && !isSeparator(path[i])) ++i;
  return i == share ? 0 : i;
}

namespace {

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> result;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && isSeparator(path[i])) ++i;
    const std::size_t start = i;
    while (i < path.size() && !isSeparator(path[i])) ++i;
    if (i > start) result.push_back(path.substr(start, i - start));
  }
  return result;
}

[[noreturn]] void registryError(System& system, std::int32_t code, std::string_view call) {
  throw OSError(code, system.errorText(static_cast<std::uint32_t>(code)), call,
                "readRegistryString");
}

std::string readSizedValue(System& system, RegistryKey key, const std::string* subKey,
                           std::string_view valueName, std::uint32_t sizeBytes,
                           std::string_view call) {
  if (sizeBytes == 0) return {};
  // Twice the units needed: the size is in bytes. The spare unit at the end
  // terminates data stored without a NUL, whatever its type.
  std::u16string buffer(std::size_t{sizeBytes} + 1, u'\0');
  auto bufferBytes = static_cast<std::uint32_t>(buffer.size() * sizeof(char16_t));
  if (const std::int32_t code =
          system.regGetValue(key, subKey, valueName, buffer.data(), &bufferBytes)) {
    registryError(system, code, call);
  }
  return utf16ToUtf8(std::u16string_view(buffer.c_str()));
}

std::string_view netPathOf(std::string_view content) {
  std::size_t i = 0;
  while (i < content.size()) {
    std::size_t end = content.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = content.substr(i, end - i);
    if (line.starts_with(kNetPathKey)) {
      const std::string_view value = line.substr(kNetPathKey.size());
      return value.substr(0, value.find('='));
    }
    i = end;
    if (i < content.size()) {
      // "\r\n", "\n" or a lone "\r".
      i += (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ? 2 : 1;
    }
  }
  return {};
}

}  // namespace

std::string joinPath(std::string_view head, std::string_view tail) {
  if (head.empty()) std::swap(head, tail);
  if (head.empty()) return {};

  const std::size_t drive = drivePrefixLength(head);
  std::string result(head.substr(0, drive));
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  const std::string_view rest = head.substr(drive);
  if (!rest.empty() && isSeparator(rest[0])) result += '\\';
  const std::size_t rootEnd = result.size();

  // Offsets where each written component starts, so ".." can take one back.
  std::vector<std::size_t> written;
  const auto append = [&](std::string_view component) {
    if (component == ".") return;
    if (component == ".." && !written.empty() &&
        std::string_view(result).substr(written.back()) != "..") {
      result.resize(written.back());
      written.pop_back();
      // Drop the separator before it unless it is the root's.
      if (result.size() > rootEnd) result.pop_back();
      return;
    }
    if (!result.empty() && result.back() != '\\') result += '\\';
    written.push_back(result.size());
    result += component;
  };
  for (const std::string_view c : components(rest)) append(c);
  for (const std::string_view c : components(tail)) append(c);

  const bool trailing = tail.empty() ? isSeparator(head.back()) : isSeparator(tail.back());
  if (result.empty()) return ".";
  // A relative path whose first component reads as a drive ("./C:x" with its
  // "." dropped) would change meaning when joined again: it keeps a ".".
  if (rootEnd == 0 && drivePrefixLength(result) == 2) result.insert(0, ".\\");
  if (trailing && result.back() != '\\') result += '\\';
  return result;
}

std::string readRegistryString(System& system, std::string_view subKey,
                               std::string_view valueName) {
  const std::string subKeyText(subKey);
  std::uint32_t size = 0;
  if (system.regGetValue(System::kLocalMachine, &subKeyText, valueName, nullptr, &size) == 0) {
    return readSizedValue(system, System::kLocalMachine, &subKeyText, valueName, size,
                          "regGetValue(handle, hh, kk, flags, nil, addr res[0], addr bufSize)");
  }

  RegistryKey key = 0;
  if (const std::int32_t code = system.regOpenKey(System::kLocalMachine, subKey, &key)) {
    registryError(system, code,
                  "regOpenKeyEx(handle, hh, 0, KEY_READ or KEY_WOW64_64KEY, newHandle)");
  }
  std::string value;
  try {
    size = 0;
    if (const std::int32_t code = system.regGetValue(key, nullptr, valueName, nullptr, &size)) {
      registryError(system, code, "regGetValue(newHandle, nil, kk, flags, nil, nil, addr bufSize)");
    }
    value =
        readSizedValue(system, key, nullptr, valueName, size,
                       "regGetValue(newHandle, nil, kk, flags, nil, addr res[0], addr bufSize)");
  } catch (...) {
    // The key must not stay open when the value cannot be read.
    system.regCloseKey(key);
    throw;
  }
  if (const std::int32_t code = system.regCloseKey(key)) {
    registryError(system, code, "regCloseKey(newHandle)");
  }
  return value;
}

std::string discoverLocations(System& system) {
  const std::string drive = readRegistryString(system, kInstallRootKey, "ProgramDataDrive");
  const std::string dataPath = readRegistryString(system, kInstallRootKey, "ProgramDataPath");
  const std::string infoFile = joinPath(drive + dataPath, kInfoFile);
  std::string netPath;
  if (system.pathKind(infoFile) != PathKind::file) {
    system.writeOutputLine(kMissingInfoFile);
  } else {
    netPath = netPathOf(readFile(system, infoFile));
  }
  return joinPath(netPath, "Std");
}

InstallLocations locationsForChoice(System& system, std::string_view choice,
                                    std::string_view standardDir) {
  InstallLocations result;
  result.standardDir = standardDir;
  if (choice == kChoiceStandard) {
    result.libraryRoot = standardDir;
    result.paletteDir = joinPath(joinPath(standardDir, "/Library"), "/MELDRA");
    result.scriptDir = joinPath(joinPath(standardDir, "/PythonPartsScripts"), "/MELDRA");
  } else {
    const std::string home = system.environmentVariable("USERPROFILE").value_or("");
    const std::string privateRoot =
        joinPath(home + "\\", "Documents/Nemetschek/Allplan/2025/Usr/Local");
    result.libraryRoot = privateRoot;
    result.paletteDir = joinPath(joinPath(privateRoot, "Library"), "/MELDRA");
    result.scriptDir = joinPath(joinPath(privateRoot, "PythonPartsScripts"), "/MELDRA");
  }
  return result;
}

}  // namespace setup
