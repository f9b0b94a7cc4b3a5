#include "installer/payload.h"

#include <gtest/gtest.h>
#include <snappy.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "runtime/errors.h"

namespace setup {
namespace {

std::string compress(std::string_view data) {
  std::string out;
  snappy::Compress(data.data(), data.size(), &out);
  return out;
}

TEST(ContentHash, KnownVectorsAndTails) {
  struct Case {
    std::string_view given;
    std::int64_t expected;
  };
  // Tails of one to three bytes take the mixing path after the blocks.
  const Case cases[] = {
      {"", 0},
      {"abc", 0xB3DD93FA},
      {"a", 0x3C2569B2},
      {"ab", 0x9BBFD75F},
      {"abcd", 0x43ED676A},
      {"abcde", 0xE89B9AF6},
      {"Hello, world!", 0xC0363E43},
      {std::string_view("\0\0\0\0", 4), 0x2362F9DE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(contentHash(c.given), c.expected) << "\"" << c.given << "\"";
  }
}

TEST(Uncompress, RoundTripsTheEmptyFile) {
  EXPECT_EQ(compress(""), std::string(1, '\0'));
  EXPECT_EQ(uncompress(std::string(1, '\0')), "");
}

TEST(Uncompress, RoundTripsAssortedInputs) {
  std::string mixed;
  for (int i = 0; i < 100000; ++i) mixed += static_cast<char>((i * 7919) % 251 ^ (i >> 7));
  // One literal of exactly 60 bytes, whose length the tag holds, with the
  // bytes of a 2^32-byte literal in its data: the walk that guards against
  // those must not take the tag for one with length bytes after it.
  std::string inline60("x\xF0\xFF\xFC\xFF\xFF\xFF\xFF");
  for (char c = 'A'; inline60.size() < 60; ++c) inline60 += c;
  ASSERT_EQ(compress(inline60).substr(0, 2), "\x3C\xEC");  // 60 bytes, inline literal
  std::string reused(100000, 'z');
  for (const std::string& input : {std::string("x"), std::string(70000, 'a'), mixed, inline60}) {
    EXPECT_EQ(uncompress(compress(input)), input);
    uncompress(compress(input), reused);
    EXPECT_EQ(reused, input);
  }
}

TEST(Uncompress, RefusesMalformedInput) {
  const std::string good = compress("abcdefgh abcdefgh abcdefgh abcdefgh");
  // 15872 bytes declared in two bytes, the second of which reads as a tag of a
  // 32-byte literal that would hide the 2^32-byte one behind it; then a
  // literal of 26 bytes and copies that give the declared length.
  std::string twoBytePreamble("\x80\x7C\xFC\xFF\xFF\xFF\xFF\x64", 8);
  twoBytePreamble += std::string(26, 'p');
  for (int i = 0; i < 247; ++i) twoBytePreamble += std::string("\xFE\x01\x00", 3);
  twoBytePreamble += std::string("\x96\x01\x00", 3);
  struct Case {
    const char* what;
    std::string given;
  };
  const Case cases[] = {
      {"empty input", ""},
      {"preamble cut off", "\x80"},
      {"preamble of six bytes", std::string("\x80\x80\x80\x80\x80\x01", 6)},
      {"fifth preamble byte above 15", std::string("\x80\x80\x80\x80\x10", 5)},
      {"declares more than its elements give",
       "\x05\x0c"
       "abcd"},
      {"elements give more than declared",
       "\x03\x0c"
       "abcd"},
      {"literal past the input",
       "\x08\x1c"
       "abc"},
      // The library alone takes this for an empty literal.
      {"literal of 2^32 bytes", std::string("\x08\x08"
                                            "abc\x13\x01\x00\x00\x00\xfc\xff\xff\xff\xff",
                                            15)},
      {"literal of 2^32 bytes after a preamble of two bytes", twoBytePreamble},
      {"copy before the start of the output", std::string("\x08\x00"
                                                          "a\x11\x05",
                                                          5)},
      {"copy cut off at the end", std::string("\x08\x00"
                                              "a\x02",
                                              4)},
      {"copy past the declared length", std::string("\x04\x00"
                                                    "a\x0d\x01",
                                                    5)},
      {"declared length no input could give", std::string("\xff\xff\xff\xff\x0f", 5)},
      {"good block cut short", good.substr(0, good.size() - 1)},
      {"good block with a byte too many", good + "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      uncompress(c.given);
      ADD_FAILURE() << "accepted";
    } catch (const SnappyError& e) {
      EXPECT_EQ(e.message(), "Invalid buffer, unable to uncompress");
      EXPECT_EQ(e.procedure(), "uncompress");
    }
    // Into a reused buffer: nothing of a partial decode stays in it.
    std::string reused = good + good;
    EXPECT_THROW(uncompress(c.given, reused), SnappyError);
    EXPECT_TRUE(reused.empty());
  }
}

// Input that ends at a protected page: any read past it crashes the test.
TEST(Uncompress, ReadsNothingPastItsInput) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* base = static_cast<char*>(map);
  ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
  const std::string data = compress(std::string(5000, 'q') + "tail");
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    char* start = base + page - cut;
    std::memcpy(start, data.data(), cut);
    try {
      EXPECT_EQ(uncompress(std::string_view(start, cut)).size(), cut == data.size() ? 5004u : 0u);
    } catch (const SnappyError&) {
      EXPECT_LT(cut, data.size());
    }
  }
  munmap(map, 2 * page);
}

TEST(Errors, OSErrorMessageForms) {
  struct Case {
    std::string_view text, info, expected;
  };
  const Case cases[] = {
      {"Access is denied.\r\n", "C:\\x", "Access is denied.\r\nAdditional info: C:\\x"},
      {"Access is denied.", "C:\\x", "Access is denied.\nAdditional info: C:\\x"},
      {"Access is denied.\r\n", "", "Access is denied.\r\n"},
      {"", "detail", "\nAdditional info: detail"},
      {"", "", "unknown OS error"},
  };
  for (const Case& c : cases) {
    const OSError error(5, c.text, c.info, "proc");
    EXPECT_EQ(error.message(), c.expected);
    EXPECT_EQ(error.code(), 5);
    EXPECT_STREQ(error.kind(), "OSError");
  }
}

}  // namespace
}  // namespace setup
