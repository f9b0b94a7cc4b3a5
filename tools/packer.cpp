#include "tools/packer.h"

#include <snappy.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "installer/payload.h"
#include "runtime/errors.h"

namespace setup::packer {
namespace {

constexpr const char* kProcedure = "payload-pack";

std::string lineRef(const std::filesystem::path& listPath, int line) {
  return listPath.string() + ":" + std::to_string(line) + ": ";
}

// Windows compares names without regard to case; ASCII folding covers the
// names a maker writes, and a clash beyond it fails loudly at install time.
std::string foldCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
  });
  return text;
}

bool validSubDir(const std::string& subDir) {
  if (subDir.empty() || subDir.back() != '/') return false;
  std::size_t start = 0;
  while (start < subDir.size()) {
    const std::size_t slash = subDir.find('/', start);
    const std::string part = subDir.substr(start, slash - start);
    if (part.empty() || part == "." || part == ".." || !windowsNameProblem(part).empty()) {
      return false;
    }
    start = slash + 1;
  }
  return true;
}

std::string readWhole(const std::filesystem::path& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in) && !std::filesystem::is_directory(path);
  if (!ok) return {};
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ok = !in.bad();
  return data;
}

std::string cString(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '?') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out + "\"";
}

// The name the installer gives the file: on the palette side every
// "Bestellliste" reads "Liste de commande".
std::string installedName(const Item& item) {
  if (!item.isPalette) return item.name;
  constexpr std::string_view kWord = "Bestellliste";
  std::string name = item.name;
  for (std::size_t at = name.find(kWord); at != std::string::npos;
       at = name.find(kWord, at + 17)) {
    name.replace(at, kWord.size(), "Liste de commande");
  }
  return name;
}

}  // namespace

std::string windowsNameProblem(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name == "." || name == "..") return "a relative name";
  for (unsigned char c : name) {
    if (c < 0x20 ||
        std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return "a character Windows does not allow in names";
    }
  }
  if (name.back() == '.' || name.back() == ' ') return "a trailing dot or space";
  // Device names are reserved with any extension and any trailing blanks.
  std::string stem = foldCase(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kReserved[] = {"con", "prn", "aux", "nul"};
  for (const char* reserved : kReserved) {
    if (stem == reserved) return "a reserved device name";
  }
  if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
      stem[3] <= '9') {
    return "a reserved device name";
  }
  return "";
}

std::vector<Item> parseList(const std::string& text, const std::filesystem::path& listPath) {
  std::vector<Item> items;
  std::map<std::string, int> destinations;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  const std::filesystem::path base = listPath.parent_path();
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream fields(line);
    std::string side, subDir;
    fields >> side >> subDir;
    std::string source;
    std::getline(fields >> std::ws, source);
    const std::string where = lineRef(listPath, number);
    if (source.empty()) {
      throw ValueError(where + "expected: <side> <subdir> <source path>", kProcedure);
    }
    Item item;
    item.line = number;
    if (side == "palette") {
      item.isPalette = true;
    } else if (side != "script") {
      throw ValueError(where + "unknown side '" + side + "' (palette or script)", kProcedure);
    }
    if (subDir != "-") {
      if (!validSubDir(subDir)) {
        throw ValueError(where + "sub-directory '" + subDir + "' is not names each followed by '/'",
                         kProcedure);
      }
      if (item.isPalette) {
        throw ValueError(where + "a palette item cannot have a sub-directory", kProcedure);
      }
      item.subDir = subDir;
    }
    item.source = std::filesystem::path(source);
    if (item.source.is_relative()) item.source = base / item.source;
    item.name = std::filesystem::path(source).filename().string();
    if (const std::string problem = windowsNameProblem(item.name); !problem.empty()) {
      throw ValueError(where + "file name '" + item.name + "' has " + problem, kProcedure);
    }
    if (foldCase(item.name).ends_with(kTemporarySuffix)) {
      throw ValueError(where + "file name '" + item.name + "' ends in \"" +
                           std::string(kTemporarySuffix) +
                           "\", which the installer keeps for files being written",
                       kProcedure);
    }
    // Where the installer writes it: palette names are renamed for the French
    // order list first, and two names may meet only there.
    const std::string destination = std::string(item.isPalette ? "palette:" : "script:") +
                                    foldCase(item.subDir + installedName(item));
    if (const auto [it, fresh] = destinations.emplace(destination, number); !fresh) {
      throw ValueError(where + "'" + item.subDir + item.name +
                           "' has the same destination as line " + std::to_string(it->second),
                       kProcedure);
    }
    items.push_back(std::move(item));
  }
  if (items.empty()) throw ValueError(listPath.string() + ": the list holds no item", kProcedure);
  return items;
}

std::vector<PackedEntry> packItems(const std::vector<Item>& items,
                                   const std::filesystem::path& listPath) {
  std::vector<PackedEntry> entries;
  entries.reserve(items.size());
  for (const Item& item : items) {
    bool ok = false;
    const std::string data = readWhole(item.source, ok);
    if (!ok) {
      throw IOError(lineRef(listPath, item.line) + "cannot read '" + item.source.string() + "'",
                    kProcedure);
    }
    PackedEntry entry{item, {}, static_cast<std::uint32_t>(contentHash(data)), data.size()};
    snappy::Compress(data.data(), data.size(), &entry.compressed);
    const std::string restored = uncompress(entry.compressed);
    if (restored != data || contentHash(restored) != entry.hash) {
      throw AssertionDefect(
          lineRef(listPath, item.line) + "round trip failed for '" + item.name + "'", kProcedure);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string blobBytes(const std::vector<PackedEntry>& entries) {
  std::string blob;
  for (const PackedEntry& entry : entries) blob += entry.compressed;
  return blob;
}

std::string tableSource(const std::vector<PackedEntry>& entries) {
  std::size_t total = 0;
  for (const PackedEntry& entry : entries) total += entry.compressed.size();
  std::ostringstream out;
  out << "// Generated by payload-pack from the payload list. Do not edit.\n"
      << "#include \"installer/payload.h\"\n\n"
      << "extern \"C\" const char setupPayloadBlob[" << total << "];\n\n"
      << "namespace setup {\nnamespace {\n\n"
      << "constinit const PayloadEntry entries[] = {\n";
  std::size_t offset = 0;
  char hash[16];
  for (const PackedEntry& entry : entries) {
    std::snprintf(hash, sizeof hash, "0x%08X", entry.hash);
    out << "    {" << cString(entry.item.name) << ", {setupPayloadBlob + " << offset << ", "
        << entry.compressed.size() << "}, " << hash << ", "
        << (entry.item.isPalette ? "true" : "false") << ", " << cString(entry.item.subDir)
        << "},\n";
    offset += entry.compressed.size();
  }
  out << "};\n\n}  // namespace\n\n"
      << "constinit const std::span<const PayloadEntry> payloadTable{entries};\n\n"
      << "}  // namespace setup\n";
  return out.str();
}

std::string describe(const std::vector<PackedEntry>& entries) {
  std::ostringstream out;
  std::size_t packed = 0, unpacked = 0;
  char line[512];
  std::snprintf(line, sizeof line, "%5s  %-7s  %-14s  %10s  %10s  %-10s  %s\n", "index", "side",
                "sub-directory", "size", "packed", "hash", "name");
  out << line;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PackedEntry& e = entries[i];
    std::snprintf(line, sizeof line, "%5zu  %-7s  %-14s  %10zu  %10zu  0x%08X  ", i,
                  e.item.isPalette ? "palette" : "script",
                  e.item.subDir.empty() ? "-" : e.item.subDir.c_str(), e.size, e.compressed.size(),
                  e.hash);
    out << line << e.item.name << "\n";
    packed += e.compressed.size();
    unpacked += e.size;
  }
  out << entries.size() << " entries, " << unpacked << " bytes, " << packed << " packed\n";
  return out.str();
}

}  // namespace setup::packer
