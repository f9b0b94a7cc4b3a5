// Turns a payload list into the payload table: one entry a line, in list order.
//
// List form, one item a line; blank lines and lines starting with "#" are
// skipped:
//     <side> <subdir> <source path>
// side: "palette" or "script"; subdir: "-" for none, else names each followed
// by "/" (script side only); source path: the rest of the line, relative to
// the list's own directory unless absolute. The entry takes the source's file
// name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace setup::packer {

struct Item {
  int line = 0;
  std::filesystem::path source;
  std::string name;
  bool isPalette = false;
  std::string subDir;
};

struct PackedEntry {
  Item item;
  std::string compressed;
  std::uint32_t hash = 0;
  std::size_t size = 0;
};

// Parses and checks the list text. Throws ValueError naming the list and line
// for anything a maker can get wrong, before any file is read.
std::vector<Item> parseList(const std::string& text, const std::filesystem::path& listPath);

// Reads, hashes and compresses every item, and verifies that each compressed
// entry gives back the exact source bytes. Throws IOError for a missing or
// unreadable source (naming the list's line), AssertionDefect on a failed check.
std::vector<PackedEntry> packItems(const std::vector<Item>& items,
                                   const std::filesystem::path& listPath);

// The generated C++ source of the table; the compressed bytes go to a blob
// file, referenced by offsets into the symbol setupPayloadBlob.
std::string tableSource(const std::vector<PackedEntry>& entries);
std::string blobBytes(const std::vector<PackedEntry>& entries);

// A review listing: index, name, side, sub-directory, sizes, hash.
std::string describe(const std::vector<PackedEntry>& entries);

// A Windows name check: reserved device names, forbidden characters,
// trailing dot or space. Returns the reason, or "" when the name is fine.
std::string windowsNameProblem(const std::string& name);

}  // namespace setup::packer
