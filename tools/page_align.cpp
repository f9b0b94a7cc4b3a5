#include "tools/page_align.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/errors.h"

namespace setup::pe {
namespace {

constexpr std::uint16_t kPe32Plus = 0x20b;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kCertificateDirectory = 4;
constexpr std::size_t kDebugDirectory = 6;
constexpr std::size_t kDebugEntrySize = 28;

[[noreturn]] void refuse(const std::string& why) {
  throw ValueError("cannot page-align the image: " + why, "pageAlignLargestSection");
}

class Image {
 public:
  explicit Image(std::string& bytes) : bytes_(bytes) {}

  std::uint32_t u32(std::size_t at) const {
    need(at, 4);
    std::uint32_t value;
    std::memcpy(&value, bytes_.data() + at, 4);
    return value;  // little-endian hosts only, as the build machine is
  }
  std::uint16_t u16(std::size_t at) const {
    need(at, 2);
    std::uint16_t value;
    std::memcpy(&value, bytes_.data() + at, 2);
    return value;
  }
  void put32(std::size_t at, std::uint32_t value) {
    need(at, 4);
    std::memcpy(bytes_.data() + at, &value, 4);
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  void need(std::size_t at, std::size_t count) const {
    if (at > bytes_.size() || count > bytes_.size() - at) refuse("it ends too early");
  }
  std::string& bytes_;
};

struct Section {
  std::size_t header;  // offset of its header
  std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

}  // namespace

std::size_t pageAlignLargestSection(std::string& bytes) {
  Image image(bytes);
  if (image.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) refuse("no MZ header");
  const std::size_t pe = image.u32(0x3c);
  if (image.u32(pe) != 0x00004550) refuse("no PE signature");
  const std::size_t coff = pe + 4;
  const std::size_t sectionCount = image.u16(coff + 2);
  const std::size_t optional = coff + 20;
  const std::size_t optionalSize = image.u16(coff + 16);
  if (image.u16(optional) != kPe32Plus) refuse("not a PE32+ image");
  const std::uint32_t fileAlignment = image.u32(optional + 36);
  if (fileAlignment == 0 || kPageSize % fileAlignment != 0) refuse("odd file alignment");
  const std::size_t directories = optional + 112;
  const std::size_t directoryCount = image.u32(optional + 108);
  const auto directory = [&](std::size_t index) -> std::pair<std::uint32_t, std::uint32_t> {
    if (index >= directoryCount || directories + 8 * index + 8 > optional + optionalSize) {
      return {0, 0};
    }
    return {image.u32(directories + 8 * index), image.u32(directories + 8 * index + 4)};
  };
  if (directory(kCertificateDirectory).second != 0) refuse("it is signed");

  std::vector<Section> sections;
  const std::size_t table = optional + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = table + i * kSectionHeaderSize;
    sections.push_back(
        Section{at, image.u32(at + 12), image.u32(at + 8), image.u32(at + 16), image.u32(at + 20)});
  }
  const Section* largest = nullptr;
  std::uint32_t previousEnd = 0;
  for (const Section& s : sections) {
    if (s.rawSize == 0) continue;
    if (s.rawOffset < previousEnd || s.rawOffset > image.size() ||
        s.rawSize > image.size() - s.rawOffset) {
      refuse("its sections' raw data overlap or run past its end");
    }
    previousEnd = s.rawOffset + s.rawSize;
    if (largest == nullptr || s.rawSize > largest->rawSize) largest = &s;
  }
  if (largest == nullptr) refuse("it has no section with raw data");
  const std::uint32_t from = largest->rawOffset;
  const std::size_t pad = (kPageSize - from % kPageSize) % kPageSize;
  if (pad == 0) return 0;

  // File offsets at or after the moved data move with it.
  const auto shifted = [&](std::uint32_t offset) {
    return offset >= from && offset != 0 ? static_cast<std::uint32_t>(offset + pad) : offset;
  };
  // The debug directory's entries give file offsets of their data.
  if (const auto [rva, size] = directory(kDebugDirectory); size != 0) {
    for (const Section& s : sections) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
      const std::size_t at = s.rawOffset + (rva - s.virtualAddress);
      for (std::size_t entry = 0; entry + kDebugEntrySize <= size; entry += kDebugEntrySize) {
        image.put32(at + entry + 24, shifted(image.u32(at + entry + 24)));
      }
    }
  }
  for (const Section& s : sections) {
    image.put32(s.header + 20, shifted(s.rawOffset));
    image.put32(s.header + 24, shifted(image.u32(s.header + 24)));  // relocations
    image.put32(s.header + 28, shifted(image.u32(s.header + 28)));  // line numbers
  }
  image.put32(coff + 8, shifted(image.u32(coff + 8)));  // symbol table
  bytes.insert(from, pad, '\0');
  // A checksum, where the image has one, covers the new bytes.
  if (image.u32(optional + 64) != 0) {
    image.put32(optional + 64, 0);
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
      std::uint16_t word = static_cast<unsigned char>(bytes[at]);
      if (at + 1 < bytes.size())
        word |= static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at + 1]) << 8);
      sum += word;
      sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    image.put32(optional + 64, static_cast<std::uint32_t>(sum + bytes.size()));
  }
  return pad;
}

}  // namespace setup::pe
