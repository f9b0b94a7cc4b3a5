#include "tools/page_align.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "runtime/errors.h"

namespace setup::pe {
namespace {

constexpr std::size_t kPe = 0x40;
constexpr std::size_t kOptional = kPe + 24;
constexpr std::size_t kSections = kOptional + 240;

std::uint32_t get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  std::memcpy(bytes.data() + at, &value, 4);
}

// A PE32+ image as the linker lays it out: three sections on 512-byte file
// offsets, the middle one the largest, and a debug directory in the last one
// whose entry points at data further on in it.
struct FakeImage {
  static constexpr std::uint32_t kRaw[][2] = {{0x400, 0x200}, {0x600, 0x1000}, {0x1600, 0x400}};
  std::string bytes = std::string(0x1a00, '\0');

  FakeImage() {
    bytes[0] = 'M', bytes[1] = 'Z';
    put32(bytes, 0x3c, kPe);
    put32(bytes, kPe, 0x00004550);
    bytes[kPe + 4 + 2] = 3;                                // sections
    bytes[kPe + 4 + 16] = static_cast<char>(240);          // optional header's size
    bytes[kOptional] = 0x0b, bytes[kOptional + 1] = 0x02;  // PE32+
    put32(bytes, kOptional + 36, 0x200);                   // file alignment
    put32(bytes, kOptional + 108, 16);                     // data directories
    put32(bytes, kOptional + 112 + 6 * 8, 0x3000);         // debug directory's address
    put32(bytes, kOptional + 112 + 6 * 8 + 4, 28);
    for (std::uint32_t i = 0; i < 3; ++i) {
      const std::size_t header = kSections + 40 * i;
      put32(bytes, header + 8, kRaw[i][1]);
      put32(bytes, header + 12, 0x1000 * (i + 1));
      put32(bytes, header + 16, kRaw[i][1]);
      put32(bytes, header + 20, kRaw[i][0]);
      std::memset(bytes.data() + kRaw[i][0], 'a' + static_cast<int>(i), kRaw[i][1]);
    }
    std::memset(bytes.data() + 0x1600, 0, 28);
    put32(bytes, 0x1600 + 24, 0x1700);  // the debug entry's data
  }
  std::uint32_t rawOffset(int section) const { return get32(bytes, kSections + 40 * section + 20); }
};

TEST(PageAlign, MovesTheLargestSectionToAPageAndEverythingAfterIt) {
  FakeImage image;
  const std::string before = image.bytes;
  EXPECT_EQ(pageAlignLargestSection(image.bytes), 0xa00u);
  EXPECT_EQ(image.bytes.size(), before.size() + 0xa00);
  EXPECT_EQ(image.rawOffset(0), 0x400u);
  EXPECT_EQ(image.rawOffset(1), 0x1000u);
  EXPECT_EQ(image.rawOffset(2), 0x2000u);
  EXPECT_EQ(image.bytes.substr(0x400, 0x200), before.substr(0x400, 0x200));
  EXPECT_EQ(image.bytes.substr(0x1000, 0x1000), before.substr(0x600, 0x1000));
  EXPECT_EQ(get32(image.bytes, 0x2000 + 24), 0x2100u);  // the debug entry follows its data
  EXPECT_EQ(image.bytes.substr(0x2000 + 28), before.substr(0x1600 + 28));
  EXPECT_EQ(image.bytes.substr(0x600, 0xa00), std::string(0xa00, '\0'));

  // Once aligned, nothing moves.
  const std::string aligned = image.bytes;
  EXPECT_EQ(pageAlignLargestSection(image.bytes), 0u);
  EXPECT_EQ(image.bytes, aligned);
}

TEST(PageAlign, RefusesWhatItCannotMove) {
  struct Case {
    const char* name;
    void (*spoil)(std::string&);
  };
  const Case cases[] = {
      {"not an image", [](std::string& b) { b[0] = 'X'; }},
      {"signed", [](std::string& b) { put32(b, kOptional + 112 + 4 * 8 + 4, 0x100); }},
      {"32-bit", [](std::string& b) { b[kOptional] = 0x0b, b[kOptional + 1] = 0x01; }},
      {"cut short", [](std::string& b) { b.resize(0x800); }},
      {"sections out of order", [](std::string& b) { put32(b, kSections + 20, 0x1600); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeImage image;
    c.spoil(image.bytes);
    const std::string spoiled = image.bytes;
    EXPECT_THROW(pageAlignLargestSection(image.bytes), ValueError);
    EXPECT_EQ(image.bytes, spoiled);
  }
}

}  // namespace
}  // namespace setup::pe
