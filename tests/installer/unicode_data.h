// The simple lower-case mapping as Debian's UnicodeData.txt states it, read
// independently of the table that the build generates from the same file.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace setup {

// Indexed by code point (all of them); empty when the file cannot be read.
// *mappings counts the code points that the file maps.
inline std::vector<char32_t> readSimpleLowerCase(const char* path, std::size_t* mappings) {
  std::ifstream file(path);
  if (!file) return {};
  std::vector<char32_t> lower(0x110000);
  for (char32_t c = 0; c < lower.size(); ++c) lower[c] = c;
  *mappings = 0;
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, ';');) fields.push_back(field);
    if (fields.size() > 13 && !fields[13].empty()) {
      lower[std::stoul(fields[0], nullptr, 16)] = std::stoul(fields[13], nullptr, 16);
      ++*mappings;
    }
  }
  return lower;
}

}  // namespace setup
