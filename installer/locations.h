// Where the installer puts its files: the host application's data directory
// from the registry and install_type_info.txt, and for each library choice the
// palette and script directories below it.
#pragma once

#include <string>
#include <string_view>

#include "installer/system.h"

namespace setup {

struct InstallLocations {
  std::string standardDir;  // NetPath joined with "Std"
  std::string libraryRoot;  // standardDir ("Bureau") or the private root ("Privé")
  std::string paletteDir;
  std::string scriptDir;
};

inline constexpr std::string_view kInstallRootKey =
    "SOFTWARE\\NEMETSCHEK\\Allplan\\2025.0\\InstallRoot";
inline constexpr std::string_view kChoiceStandard = "Bureau";
inline constexpr std::string_view kChoicePrivate = "Priv\xC3\xA9";

// Length of a drive ("C:") or network prefix ("\\server\share", either
// separator) at the start of path, or 0.
std::size_t drivePrefixLength(std::string_view path);

// Joins head and tail with "\" and normalises: "/" and "\" both separate,
// runs of separators merge, "." is dropped, ".." removes the component before
// it, a drive ("C:") or network prefix ("\\server\share") of head is kept.
// The result ends with "\" only when tail does (or tail is empty and head
// does); a non-empty input that leaves nothing is ".". A relative result whose
// first component looks like a drive ("C:x") starts with ".\" instead.
std::string joinPath(std::string_view head, std::string_view tail);

// The data of a value below HKEY_LOCAL_MACHINE\subKey, as UTF-8, whatever its
// type. Throws OSError with the failing call's code.
std::string readRegistryString(System& system, std::string_view subKey, std::string_view valueName);

// The standard directory, from the registry values ProgramDataDrive and
// ProgramDataPath and the "NetPath=" line of install_type_info.txt there. A
// missing file prints "Le fichier n'existe pas." and gives "Std".
// Throws what readRegistryString and readFile throw.
std::string discoverLocations(System& system);

// The directories for a combo box choice: "Bureau" (exact bytes) takes the
// standard library, anything else the private one below USERPROFILE.
InstallLocations locationsForChoice(System& system, std::string_view choice,
                                    std::string_view standardDir);

}  // namespace setup
