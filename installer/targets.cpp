#include "installer/targets.h"

#include <algorithm>

#include "installer/locations.h"
#include "installer/text.h"
#include "runtime/errors.h"

namespace setup {
namespace {

constexpr std::string_view kOrderListWord = "Bestellliste";
constexpr std::string_view kOrderListFrench = "Liste de commande";

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

// The names after the drive or share, as typed.
std::vector<std::string_view> namesOf(std::string_view path) {
  std::vector<std::string_view> names;
  for (std::size_t i = drivePrefixLength(path); i < path.size();) {
    while (i < path.size() && isSeparator(path[i])) ++i;
    const std::size_t start = i;
    while (i < path.size() && !isSeparator(path[i])) ++i;
    if (i > start) names.push_back(path.substr(start, i - start));
  }
  return names;
}

bool isDeviceName(std::string_view name) {
  // Windows reads the part before the first dot, trailing spaces dropped.
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string canonicalDirectory(std::string_view text) {
  const std::size_t drive = drivePrefixLength(text);
  std::string result(text.substr(0, drive));
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  const bool rooted = drive < text.size() && isSeparator(text[drive]);
  std::vector<std::string> names;
  for (const std::string_view typed : namesOf(text)) {
    if (typed == ".") continue;
    if (typed == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    std::string name(typed);
    if (!name.empty() && name.back() == '.') name.pop_back();
    names.push_back(std::move(name));
  }
  // The last name loses every trailing dot and space.
  while (!names.empty()) {
    std::string& last = names.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (!last.empty()) break;
    names.pop_back();
  }
  if (rooted || (drive > 2 && !names.empty())) result += '\\';
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) result += '\\';
    result += names[i];
  }
  return result;
}

bool cannotBeDirectory(std::string_view text) {
  for (const std::string_view name : namesOf(text)) {
    for (const char c : name) {
      if (static_cast<unsigned char>(c) < 0x20 ||
          std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
        return true;
      }
    }
    if (isDeviceName(name)) return true;
  }
  return false;
}

std::string identityOf(const FileIds& ids) {
  std::string identity;
  // In hexadecimal digits by hand: the runtime's printf would make setup.exe
  // larger by far more than this.
  const auto hex = [&](std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
      identity.push_back("0123456789abcdef"[(value >> shift) & 0xF]);
    }
  };
  bool known = false;
  hex(ids.volume, 16);
  identity.push_back(':');
  if (ids.id) {
    for (const std::uint8_t byte : *ids.id) {
      known = known || byte != 0;
      hex(byte, 2);
    }
  } else {
    known = ids.index != 0;
    hex(ids.index, 16);
  }
  return known ? identity : std::string();
}

const std::string& Identities::of(std::string_view path) {
  if (const auto known = known_.find(path); known != known_.end()) return known->second;
  FileIds ids;
  std::string identity;
  if (system_.directoryIds(path, &ids) == 0) identity = identityOf(ids);
  return known_.emplace(std::string(path), std::move(identity)).first->second;
}

std::string_view parentOf(std::string_view path) {
  const std::size_t drive = drivePrefixLength(path);
  const std::size_t cut = path.find_last_of('\\');
  if (cut == std::string_view::npos || cut < drive || path.size() <= drive + 1) return {};
  return path.substr(0, cut == drive ? cut + 1 : cut);
}

Place placeOf(Identities& identities, std::string_view path) {
  Place place;
  place.path = path;
  // The deepest directory on the path that exists, and the names below it.
  for (std::string_view candidate = path; !candidate.empty(); candidate = parentOf(candidate)) {
    const std::string& identity = identities.of(candidate);
    if (identity.empty()) continue;
    std::string rest = toLowerUnicode(path.substr(candidate.size()));
    if (!rest.empty() && rest[0] != '\\') rest.insert(0, "\\");
    place.key = identity + rest;
    if (candidate.size() == path.size()) place.self = identity;
    return place;
  }
  place.key = toLowerUnicode(path);
  return place;
}

std::string nameKeyOf(Identities& identities, std::string_view path) {
  const std::string_view parent = parentOf(path);
  if (parent.empty()) return toLowerUnicode(path);
  return placeOf(identities, parent).key + "\\" +
         toLowerUnicode(path.substr(path.find_last_of('\\') + 1));
}

bool sameOrInside(Identities& identities, const Place& inner, const Place& outer) {
  if (inner.key == outer.key || inner.key.starts_with(outer.key + "\\")) return true;
  if (outer.self.empty()) return false;
  for (std::string_view above = parentOf(inner.path); !above.empty(); above = parentOf(above)) {
    if (identities.of(above) == outer.self) return true;
  }
  return false;
}

std::string pathKey(std::string_view path) {
  return toLowerUnicode(replaceAll(path, "/", "\\"));
}

bool isPlainAbsolute(std::string_view path) {
  const std::size_t prefix = drivePrefixLength(path);
  if (prefix == 0 || prefix >= path.size() || !isSeparator(path[prefix])) return false;
  for (std::size_t start = prefix + 1; start <= path.size();) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    const std::string_view name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
      return false;
    start = end + 1;
  }
  return true;
}

std::string relativePathOf(const PayloadEntry& entry) {
  const std::string name = entry.isPalette
                               ? replaceAll(entry.name, kOrderListWord, kOrderListFrench)
                               : std::string(entry.name);
  return "\\" + std::string(entry.subDir) + name;
}

std::size_t utf16Length(std::string_view text) {
  return utf8ToUtf16(text).size();
}

Contents contentsOf(std::span<const PayloadEntry> table, bool palette) {
  Contents contents;
  const auto addDirectory = [&](const std::string& relative) {
    if (contents.directories.insert(pathKey(relative)).second) {
      contents.spelled.push_back(replaceAll(relative, "/", "\\"));
    }
    contents.longestDirectory = std::max(contents.longestDirectory, utf16Length(relative));
  };
  if (!palette) {
    for (const std::string_view dir : kScriptSubDirectories) addDirectory(std::string(dir));
  }
  for (const PayloadEntry& entry : table) {
    if (entry.isPalette != palette) continue;
    const std::string relative = relativePathOf(entry);
    for (std::size_t cut = relative.find_first_of("\\/", 1); cut != std::string::npos;
         cut = relative.find_first_of("\\/", cut + 1)) {
      addDirectory(relative.substr(0, cut));
    }
    if (const std::size_t length = utf16Length(relative); length > contents.longestFile) {
      contents.longestFile = length;
      contents.longestFileName = relative;
    }
  }
  return contents;
}

Target targetOf(std::string_view text) {
  return Target{text, canonicalDirectory(text), {}, std::string(text)};
}

void refuseLongFilePaths(const Target& target, const Contents& contents) {
  if (target.staged() || contents.longestFileName.empty()) return;
  if (utf16Length(target.canonical) + contents.longestFile + kLongestOwnSuffix <= kMaxFilePath) {
    return;
  }
  throw IOError("the path " + std::string(target.path) + contents.longestFileName +
                    " is too long for Windows, which takes 259 characters with the "
                    "installation's own names beside it; choose a shorter folder",
                "installPayload");
}

}  // namespace setup
