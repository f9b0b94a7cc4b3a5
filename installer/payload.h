// The payload table: the files that the installer carries, each compressed in
// the Snappy raw format, and the two procedures that read it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace setup {

struct PayloadEntry {
  std::string_view name;        // file name without directory, never empty
  std::string_view compressed;  // Snappy raw block of the whole file
  std::int64_t hash;            // contentHash of the uncompressed bytes
  bool isPalette;               // true: palette directory; false: script directory
  std::string_view subDir;      // "" or names each followed by "/"
};

// The installer writes each file under its name and this suffix first, then
// renames it. No payload name ends in it (the packer refuses such names), and
// no back-up name does (those end in digits), so it never meets either.
inline constexpr std::string_view kTemporarySuffix = ".setup-tmp";

// The table in list order. It points into the executable's read-only data and
// is valid for the whole process.
extern const std::span<const PayloadEntry> payloadTable;

// No Snappy element writes more than 64 bytes for 3 bytes of input, so a
// block that declares more than this many bytes per input byte is refused
// before its output is allocated: uncompress never allocates more.
inline constexpr std::size_t kMaxExpansion = 22;

// Decompresses a complete Snappy raw block.
// Throws SnappyError "Invalid buffer, unable to uncompress" for any malformed
// input; nothing is returned then.
std::string uncompress(std::string_view compressed);

// The same into out, whose storage is reused: a loop over the table then
// allocates once instead of once an entry. out is empty after an error.
void uncompress(std::string_view compressed, std::string& out);

// MurmurHash3 x86_32 with seed 0, zero-extended.
std::int64_t contentHash(std::string_view bytes);

}  // namespace setup
