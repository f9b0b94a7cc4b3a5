// discoverLocations over the in-memory system, with the registry values, the
// content of install_type_info.txt and the failures of the system calls all
// from the input. It returns the standard directory of a plain reading of the
// same bytes, or raises OSError or IOError, and nothing else.
//
// Input: one byte of switches, then drive NUL path NUL file content.
//   bit 0, 1: the drive, the path value is missing
//   bit 2: the two values are raw UTF-16 data (pairs of bytes, no terminator)
//   bit 3: the file is a directory;  bit 4: the file cannot be opened
//   bits 5-7 (modulo 7): 0, or 1 + the registry call that fails
#include <stdexcept>

#include "installer/locations.h"
#include "runtime/errors.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/installer/fake_system.h"
#include "toolkit/winstr.h"

namespace setup::fuzz {
namespace {

// The value of the first line that starts with "NetPath=", up to the next
// "=", or "" when there is none; lines end at "\r\n", "\n" or "\r".
std::string referenceNetPath(std::string_view content) {
  std::string line;
  for (std::size_t i = 0; i <= content.size(); ++i) {
    if (i == content.size() || content[i] == '\r' || content[i] == '\n') {
      if (line.starts_with("NetPath=")) {
        const std::size_t end = line.find('=', 8);
        return line.substr(8, end == std::string::npos ? std::string::npos : end - 8);
      }
      line.clear();
      if (i + 1 < content.size() && content[i] == '\r' && content[i + 1] == '\n') ++i;
    } else {
      line += content[i];
    }
  }
  return {};
}

std::u16string rawUtf16(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return units;
}

// What the registry gives back for the stored data: up to the first NUL.
std::string readBack(const std::u16string& stored) {
  return utf16ToUtf8(std::u16string_view(stored).substr(0, stored.find(u'\0')));
}

}  // namespace

void testOneInput(std::string_view input) {
  if (input.empty()) return;
  const auto switches = static_cast<unsigned char>(input[0]);
  const auto parts = fields(input.substr(1), 3);

  FakeSystem system;
  std::string values[2];
  bool anyData = false;  // a value with data is read, not only sized
  for (int i = 0; i < 2; ++i) {
    if (switches & (1u << i)) continue;
    const std::u16string stored =
        (switches & 4) ? rawUtf16(parts[i]) : utf8ToUtf16(parts[i]) + u'\0';
    system.setRegistryData(kInstallRootKey, i == 0 ? "ProgramDataDrive" : "ProgramDataPath",
                           stored);
    values[i] = readBack(stored);
    anyData = anyData || !stored.empty();
  }
  const unsigned failing = (switches >> 5) % 7;
  if (failing != 0) {
    system.failRegistry(static_cast<FakeSystem::RegistryCall>(failing - 1), 5);
  }

  const std::string infoFile = joinPath(values[0] + values[1], "install_type_info.txt");
  bool placed = false;
  try {
    if (switches & 8) {
      system.makeDirectories(infoFile);
    } else {
      system.putFile(infoFile, parts[2]);
      placed = system.pathKind(infoFile) == PathKind::file;
      if (placed && (switches & 16)) system.holdOpenWithoutSharing(infoFile);
    }
  } catch (const std::invalid_argument&) {
    // A path the in-memory system cannot hold: the file is just missing.
  }

  std::string standardDir;
  try {
    standardDir = discoverLocations(system);
  } catch (const OSError&) {
    check(failing != 0 || (switches & 3) != 0, "OSError only from a failing registry", input);
    return;
  } catch (const IOError&) {
    check(placed && (switches & 16), "IOError only for an unreadable file", input);
    return;
  }
  check((switches & 3) == 0, "a missing value is an error", input);
  const bool failsOnRead = failing == 1 + unsigned(FakeSystem::RegistryCall::rootRead);
  check(!(failsOnRead && anyData), "a failing read is an error", input);
  check(!(placed && (switches & 16)), "an unreadable file is an error", input);
  const std::string netPath = placed ? referenceNetPath(parts[2]) : "";
  check(standardDir == joinPath(netPath, "Std"), "NetPath as a plain reading gives it",
        std::string(input) + " -> " + standardDir);
  const bool reported = !system.outputLines().empty();
  check(reported == !placed, "a missing file, and only that, is reported", input);
}

}  // namespace setup::fuzz
