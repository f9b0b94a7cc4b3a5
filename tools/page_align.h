// Moves the largest section of a PE32+ image (the payload's) to a file offset
// that is a multiple of the page size. Windows maps an image's sections
// wherever they lie in the file; wine maps only sections that start on a page
// boundary and reads every other one whole at start-up, 8 MB for the payload.
#pragma once

#include <string>

namespace setup::pe {

inline constexpr std::size_t kPageSize = 4096;

// Inserts zero bytes before the section's raw data and shifts the file
// offsets of everything after it (sections, symbol table, debug data); the
// image's addresses do not change. Returns the number of bytes inserted.
// Throws ValueError for anything that is not a PE32+ image this can move: an
// image that is already signed (its signature would break) or whose raw data
// does not follow the section table's order.
std::size_t pageAlignLargestSection(std::string& image);

}  // namespace setup::pe
