#include "installer/targets.h"

#include <algorithm>

#include "installer/locations.h"
#include "installer/text.h"

namespace setup {
namespace {

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

Place placeOf(System& system, std::string_view path) {
  Place place;
  const std::size_t drive = drivePrefixLength(path);
  // Cuts from the whole path up to the root; the root keeps its separator,
  // as "C:" alone is the current directory there.
  std::vector<std::size_t> cuts = {path.size()};
  for (std::size_t i = path.size(); i > drive; --i) {
    if (path[i - 1] == '\\') cuts.push_back(i - 1 > drive ? i - 1 : i);
  }
  for (const std::size_t cut : cuts) {
    std::string identity;
    if (system.directoryIdentity(path.substr(0, cut), &identity) != 0) continue;
    if (place.key.empty()) {
      std::string rest = toLowerUnicode(path.substr(cut));
      if (!rest.empty() && rest[0] != '\\') rest.insert(0, "\\");
      place.key = identity + rest;
      if (cut == path.size()) place.self = identity;
    }
    if (cut != path.size()) place.above.push_back(std::move(identity));
  }
  if (place.key.empty()) place.key = toLowerUnicode(path);
  return place;
}

std::string nameKeyOf(System& system, std::string_view path) {
  const std::size_t cut = path.find_last_of('\\');
  if (cut == std::string_view::npos || cut < drivePrefixLength(path)) return toLowerUnicode(path);
  // A root keeps its separator.
  const std::size_t parentEnd = cut <= drivePrefixLength(path) ? cut + 1 : cut;
  return placeOf(system, path.substr(0, parentEnd)).key + "\\" +
         toLowerUnicode(path.substr(cut + 1));
}

bool sameOrInside(const Place& inner, const Place& outer) {
  if (inner.key == outer.key || inner.key.starts_with(outer.key + "\\")) return true;
  return !outer.self.empty() &&
         std::find(inner.above.begin(), inner.above.end(), outer.self) != inner.above.end();
}

}  // namespace setup
