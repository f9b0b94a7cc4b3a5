// The rules under the graphic objects that need no window: text conversion,
// font sizes, icon references, icon files and images, alpha from a mask.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wError.h"
#include "toolkit/wFont.h"
#include "toolkit/wIcon.h"
#include "toolkit/wIconImage.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

struct TextCase {
  std::string utf8;
  std::u16string utf16;
};

TEST(Winstr, RoundTrips) {
  const TextCase cases[] = {
      {"", u""},
      {"Privé", u"Privé"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // a surrogate pair
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(Winstr, MalformedInputBecomesReplacementCharacters) {
  const TextCase toUtf16[] = {
      {"\x80", u"\uFFFD"},
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xE2\x82", u"\uFFFD"},        // truncated: one unit
      {"\xE2\x82"
       "a",
       u"\uFFFDa"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate's encoding
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF0\x9F\x98", u"\uFFFD"},
  };
  for (const TextCase& c : toUtf16) EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
  const TextCase toUtf8[] = {
      {"\xEF\xBF\xBD", u"\xD800"},
      {"\xEF\xBF\xBD"
       "a",
       u"\xDC00"
       "a"},
      {"\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDC00\xD800"},  // a pair the wrong way round
      {"a\xEF\xBF\xBD", u"a\xD83D"},
  };
  for (const TextCase& c : toUtf8) EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8);
}

TEST(Winstr, FillBufferKeepsRoomForTheTerminator) {
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  fillBuffer(std::span<char16_t>(buffer), std::string(31, 'a'));
  EXPECT_EQ(std::u16string(buffer), std::u16string(31, u'a'));

  std::fill(std::begin(buffer), std::end(buffer), u'x');
  const std::string tooLong[] = {std::string(32, 'a'), std::string(30, 'a') + "\xF0\x9F\x98\x80"};
  for (const std::string& text : tooLong) {
    try {
      fillBuffer(std::span<char16_t>(buffer), text);
      ADD_FAILURE() << "no error for " << text.size() << " bytes";
    } catch (const IndexError& error) {
      EXPECT_EQ(error.message(), "string length too long");
      EXPECT_EQ(error.procedure(), "fillBuffer");
    }
    EXPECT_EQ(buffer[0], u'x');  // unchanged
  }
}

struct HeightCase {
  double points;
  std::int32_t dpiY;
  std::optional<std::int32_t> height;  // nullopt: OverflowError
};

TEST(FontSize, PointsToHeight) {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  const HeightCase cases[] = {
      {9, 96, -12},
      {8, 96, -11},  // 10.67
      {9, 120, -15},
      {0.375, 96, -1},  // exactly 0.5: away from zero
      {-0.375, 96, 1},
      {0.37, 96, 0},
      {0, 96, 0},
      {2147483647.0, 72, -2147483647},
      {2147483648.0, 72, std::numeric_limits<std::int32_t>::min()},
      {-2147483648.0, 72, std::nullopt},
      {2147483649.0, 72, std::nullopt},
      {1e300, 96, std::nullopt},
      {infinity, 96, std::nullopt},
  };
  for (const HeightCase& c : cases) {
    if (c.height) {
      EXPECT_EQ(fontHeightForPoints(c.points, c.dpiY), *c.height) << c.points;
    } else {
      EXPECT_THROW(fontHeightForPoints(c.points, c.dpiY), OverflowError) << c.points;
    }
  }
  EXPECT_DOUBLE_EQ(pointsForFontHeight(-12, 96), 9.0);
  EXPECT_DOUBLE_EQ(pointsForFontHeight(-11, 96), 8.25);
}

struct ReferenceCase {
  std::string given;
  std::string file;
  std::int32_t index;
  bool hasIndex;
  bool cursor;
};

TEST(IconReference, Parse) {
  const ReferenceCase cases[] = {
      {"shell32.dll,4", "shell32.dll", 4, true, false},
      {"shell32.dll,-4", "shell32.dll", -4, true, false},
      {"shell32.dll,+27", "shell32.dll", 27, true, false},
      {"a,b.dll,3", "a,b.dll", 3, true, false},  // the last comma
      {",0", "", 0, true, false},                // the executable's own
      {"arrows.dll:2", "arrows.dll", 2, true, true},
      {"C:\\x.dll:1", "C:\\x.dll", 1, true, true},
      {"C:\\x.dll,1", "C:\\x.dll", 1, true, false},
      {"app.ico", "app.ico", -1, false, false},
      {"C:\\icons\\app.ico", "C:\\icons\\app.ico", -1, false, false},
      {"s,-2147483648", "s", std::numeric_limits<std::int32_t>::min(), true, false},
  };
  for (const ReferenceCase& c : cases) {
    const IconReference r = parseIconReference(c.given);
    EXPECT_EQ(r.file, c.file) << c.given;
    EXPECT_EQ(r.index, c.index) << c.given;
    EXPECT_EQ(r.hasIndex, c.hasIndex) << c.given;
    EXPECT_EQ(r.cursor, c.cursor) << c.given;
  }
}

TEST(IconReference, IndexThatIsNoNumber) {
  const std::pair<std::string, std::string> cases[] = {
      {"shell32.dll,x", "x"}, {"shell32.dll,", ""}, {"s, 4", " 4"},
      {"s,4x", "4x"},         {"s,+-1", "+-1"},     {"s,2147483648", "2147483648"},
      {"s,0x10", "0x10"},     {"app.ico:x", "x"},   {"s,-", "-"},
  };
  for (const auto& [given, text] : cases) {
    try {
      parseIconReference(given);
      ADD_FAILURE() << "no error for " << given;
    } catch (const ValueError& error) {
      EXPECT_EQ(error.message(), "invalid integer: " + text);
    }
  }
}

// Each graphic object's error names the object it could not make, beside
// its kind, its fixed message and the procedure that raised it.
TEST(GraphicErrors, CarryTheirSourceName) {
  struct Case {
    std::function<void()> raise;
    const char* kind;
    const char* message;
    const char* procedure;
    const char* source;
  };
  const Case cases[] = {
      {[] { throw wFontError("init"); }, "wFontError", "wFont creation failed", "init", "wFont"},
      {[] { throw wBrushError("init"); }, "wBrushError", "wBrush creation failed", "init",
       "wBrush"},
      {[] { throw wIconError("error"); }, "wIconError", "wIcon creation failed", "error", "wIcon"},
      {[] { throw wBitmapError("error"); }, "wBitmapError", "wBitmap creation failed", "error",
       "wBitmap"},
      {[] { throw wIconImageError("error"); }, "wIconImageError", "wIconImage creation failed",
       "error", "wIconImage"},
      {[] { throw wImageError("error"); }, "wImageError", "wImage creation failed", "error",
       "wImage"},
      {[] { throw wWindowError("wWindow creation failed", "init"); }, "wWindowError",
       "wWindow creation failed", "init", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    try {
      c.raise();
      ADD_FAILURE() << "no error";
    } catch (const wError& error) {  // read through the base, as a report would
      EXPECT_STREQ(error.kind(), c.kind);
      EXPECT_EQ(error.message(), c.message);
      EXPECT_EQ(error.procedure(), c.procedure);
      EXPECT_STREQ(error.source(), c.source);
    }
  }
}

// An icon image of width x height at bitCount with every colour byte fill.
std::string dibImage(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                     char fill = '\x11') {
  const std::size_t colour = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4 * height;
  const std::size_t mask = (static_cast<std::size_t>(width) + 31) / 32 * 4 * height;
  return buildIconImage(width, height, bitCount, std::string(colour, fill), std::string(mask, 0));
}

struct Entry {
  std::uint8_t width;
  std::uint8_t height;
  std::uint16_t hotX;
  std::uint16_t hotY;
  std::string image;
};

void put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

std::string iconFile(std::uint16_t type, const std::vector<Entry>& entries) {
  std::string file;
  put16(file, 0);
  put16(file, type);
  put16(file, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const Entry& e : entries) {
    file += static_cast<char>(e.width);
    file += static_cast<char>(e.height);
    file += '\0';
    file += '\0';
    put16(file, e.hotX);
    put16(file, e.hotY);
    put32(file, static_cast<std::uint32_t>(e.image.size()));
    put32(file, offset);
    offset += static_cast<std::uint32_t>(e.image.size());
  }
  for (const Entry& e : entries) file += e.image;
  return file;
}

// Parses a copy of exactly the file's size, so that reading past it is caught.
std::optional<wIconImage> parseExact(const std::string& file, std::int32_t size) {
  std::unique_ptr<char[]> exact(new char[file.size()]);
  std::copy(file.begin(), file.end(), exact.get());
  return iconFileImage(std::string_view(exact.get(), file.size()), size, size);
}

TEST(IconFile, PicksTheBestImage) {
  const std::string big = dibImage(32, 32, 32, '\x01');
  const std::string small8 = dibImage(16, 16, 24, '\x02');
  const std::string small32 = dibImage(16, 16, 32, '\x03');
  const std::string large = dibImage(48, 48, 32, '\x04');
  const std::string file = iconFile(1, {{32, 32, 1, 32, big},
                                        {16, 16, 1, 24, small8},
                                        {16, 16, 1, 32, small32},
                                        {48, 48, 1, 32, large}});
  const std::pair<std::int32_t, std::string> cases[] = {
      {16, small32},  // exact, most colours
      {20, big},      // the smallest larger
      {64, large},    // the largest
  };
  for (const auto& [size, expected] : cases) {
    std::optional<wIconImage> image = parseExact(file, size);
    ASSERT_TRUE(image) << size;
    EXPECT_EQ(image->bytes(), expected) << size;
    EXPECT_EQ(image->hotSpot(), iconHotSpot);
  }
}

TEST(IconFile, CursorHotSpotFromItsEntry) {
  const std::string file = iconFile(2, {{16, 16, 5, 7, dibImage(16, 16, 32)}});
  std::optional<wIconImage> image = parseExact(file, 16);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->hotSpot(), (wPoint{5, 7}));
}

TEST(IconFile, CorruptFilesGiveNothing) {
  const std::string good = iconFile(1, {{16, 16, 1, 32, dibImage(16, 16, 32)}});
  std::string offsetPastEnd = good;
  offsetPastEnd[18] = '\x7F';
  std::string sizeWraps = good;  // offset + size beyond 32 bits
  for (int i = 14; i < 18; ++i) sizeWraps[i] = '\xFF';
  std::string badType = good;
  badType[2] = 3;
  std::string reserved = good;
  reserved[0] = 1;
  std::string noEntries = good;
  noEntries[4] = 0;
  std::string manyEntries = good;  // the directory runs past the end
  manyEntries[4] = '\xFF';
  std::string badHeader = good;  // the image's DIB header is not one
  badHeader[22] = 1;
  const std::string cases[] = {"",
                               good.substr(0, 5),
                               good.substr(0, 21),
                               good.substr(0, good.size() - 1),
                               offsetPastEnd,
                               sizeWraps,
                               badType,
                               reserved,
                               noEntries,
                               manyEntries,
                               badHeader};
  for (const std::string& file : cases) EXPECT_FALSE(parseExact(file, 16)) << file.size();
  EXPECT_TRUE(parseExact(good, 16));
}

TEST(IconFile, ABrokenEntryIsSkipped) {
  const std::string image = dibImage(32, 32, 32);
  std::string file = iconFile(1, {{16, 16, 1, 32, dibImage(16, 16, 32)}, {32, 32, 1, 32, image}});
  file[18] = '\x7F';  // the 16 x 16 entry's offset
  std::optional<wIconImage> found = parseExact(file, 16);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->bytes(), image);
}

TEST(IconImage, BuildAndReadBack) {
  for (std::uint16_t bitCount : {16, 24, 32}) {
    for (std::int32_t size : {1, 16, 33}) {
      const std::string image = dibImage(size, size, bitCount);
      std::optional<DibImageInfo> info = dibImageInfo(image);
      ASSERT_TRUE(info) << bitCount << " " << size;
      EXPECT_EQ(info->width, size);
      EXPECT_EQ(info->height, size);
      EXPECT_EQ(info->bitCount, bitCount);
      EXPECT_EQ(info->pixelOffset + info->pixelBytes + (size + 31) / 32 * 4 * size, image.size());
      // Wrapped into an .ico file, the same image comes back out.
      std::optional<wIconImage> back = parseExact(singleImageIconFile(image), size);
      ASSERT_TRUE(back);
      EXPECT_EQ(back->bytes(), image);
    }
  }
  EXPECT_EQ(buildIconImage(16, 16, 32, std::string(16 * 16 * 4 - 1, 0), std::string(64, 0)), "");
  EXPECT_EQ(buildIconImage(16, 16, 32, std::string(16 * 16 * 4, 0), std::string(63, 0)), "");
  EXPECT_EQ(buildIconImage(16, 16, 8, std::string(16 * 16, 0), std::string(64, 0)), "");
  EXPECT_EQ(buildIconImage(0, 16, 32, "", ""), "");
}

TEST(IconImage, DibHeaderChecks) {
  const std::string good = dibImage(16, 16, 32);
  std::string negativeWidth = good;
  negativeWidth[7] = '\x80';
  std::string oddBits = good;
  oddBits[14] = 7;
  std::string hugeHeader = good;
  hugeHeader[2] = 1;  // header size 65576
  const std::string cases[] = {good.substr(0, 39), good.substr(0, 40 + 16 * 16 * 4 - 1),
                               negativeWidth, oddBits, hugeHeader};
  for (const std::string& image : cases) EXPECT_FALSE(dibImageInfo(image)) << image.size();
  EXPECT_TRUE(isPng(std::string("\x89PNG\r\n\x1A\n", 8) + "rest"));
  EXPECT_FALSE(isPng("\x89PNG\r\n\x1A"));
  EXPECT_FALSE(isPng(good));
}

TEST(Alpha, FromMask) {
  std::vector<std::uint32_t> pixels = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};
  const std::vector<std::uint32_t> mask = {0x00000000, 0x00FFFFFF, 0xFF000000, 0x00000001};
  EXPECT_FALSE(hasAlpha(pixels));
  alphaFromMask(pixels, mask);
  const std::vector<std::uint32_t> expected = {0xFF112233, 0x00445566, 0xFF778899, 0x00AABBCC};
  EXPECT_EQ(pixels, expected);
  EXPECT_TRUE(hasAlpha(pixels));
  EXPECT_TRUE(hasAlpha(std::vector<std::uint32_t>{0, 0x01000000}));
  EXPECT_FALSE(hasAlpha(std::vector<std::uint32_t>{}));
}

}  // namespace
}  // namespace setup
