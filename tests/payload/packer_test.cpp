#include "tools/packer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "installer/payload.h"
#include "runtime/errors.h"

namespace setup::packer {
namespace {

class PackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("packer_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "sub");
    write("a.txt", "alpha");
    write("A.TXT.bak", "beta");
    write("sub/a.txt", "gamma");
    write("empty.bin", "");
    write("Liste, v2.final.xml", "<x/>");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::filesystem::path list() const { return dir_ / "payload.list"; }
  std::filesystem::path dir_;
};

TEST_F(PackerTest, RefusesWhatAMakerCanGetWrong) {
  struct Case {
    std::string list;
    std::string message;  // after "<list>:"
  };
  const Case cases[] = {
      {"palette - a.txt\nsideways - a.txt\n", "2: unknown side 'sideways' (palette or script)"},
      {"palette -\n", "1: expected: <side> <subdir> <source path>"},
      {"script fonts a.txt\n", "1: sub-directory 'fonts' is not names each followed by '/'"},
      {"script /fonts/ a.txt\n", "1: sub-directory '/fonts/' is not names each followed by '/'"},
      {"script fonts//x/ a.txt\n",
       "1: sub-directory 'fonts//x/' is not names each followed by '/'"},
      {"script ../ a.txt\n", "1: sub-directory '../' is not names each followed by '/'"},
      {"script fonts\\x/ a.txt\n",
       "1: sub-directory 'fonts\\x/' is not names each followed by '/'"},
      {"palette fonts/ a.txt\n", "1: a palette item cannot have a sub-directory"},
      {"palette - sub/..\n", "1: file name '..' has a relative name"},
      {"palette - sub\\a.txt\n",
       "1: file name 'sub\\a.txt' has a character Windows does not allow in names"},
      {"palette - a?.txt\n",
       "1: file name 'a?.txt' has a character Windows does not allow in names"},
      {"palette - CON\n", "1: file name 'CON' has a reserved device name"},
      {"palette - nul.txt\n", "1: file name 'nul.txt' has a reserved device name"},
      {"palette - Com7.log\n", "1: file name 'Com7.log' has a reserved device name"},
      {"palette - LPT1 .txt\n", "1: file name 'LPT1 .txt' has a reserved device name"},
      {"palette - a.txt.\n", "1: file name 'a.txt.' has a trailing dot or space"},
      {"palette - a.txt \n", "1: file name 'a.txt ' has a trailing dot or space"},
      {"script fonts/ a.ttf.Setup-Tmp\n",
       "1: file name 'a.ttf.Setup-Tmp' ends in \".setup-tmp\", which the installer keeps for "
       "files being written"},
      {"palette - a.txt\n\n# note\nscript - a.txt\npalette - sub/A.txt\n",
       "5: 'A.txt' has the same destination as line 1"},
      {"script fonts/ a.txt\nscript FONTS/ sub/a.txt\n",
       "2: 'FONTS/a.txt' has the same destination as line 1"},
      // The installer renames the order list's palette files.
      {"palette - Liste de commande.png\npalette - Bestellliste.png\n",
       "2: 'Bestellliste.png' has the same destination as line 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    try {
      parseList(c.list, list());
      ADD_FAILURE() << "accepted";
    } catch (const ValueError& e) {
      EXPECT_EQ(e.message(), list().string() + ":" + c.message);
    }
  }
  EXPECT_THROW(parseList("# nothing\n\n", list()), ValueError);
}

TEST_F(PackerTest, RefusesMissingOrUnreadableSources) {
  for (const std::string source : {"missing.bin", "sub"}) {
    SCOPED_TRACE(source);
    const auto items = parseList("palette - a.txt\nscript - " + source + "\n", list());
    try {
      packItems(items, list());
      ADD_FAILURE() << "packed";
    } catch (const IOError& e) {
      EXPECT_EQ(e.message(),
                list().string() + ":2: cannot read '" + (dir_ / source).string() + "'");
    }
  }
}

TEST_F(PackerTest, PacksInListOrderWithNamesAndHashes) {
  auto items = parseList(
      "script fonts/static/ Liste, v2.final.xml\r\n  # comment\npalette - empty.bin\n"
      "script - A.TXT.bak\nscript - a..b.png\nscript - Bestellliste.png\n"
      "script - Liste de commande.png\n",
      list());
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[3].name, "a..b.png");
  items.resize(3);
  const auto entries = packItems(items, list());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].item.name, "Liste, v2.final.xml");
  EXPECT_EQ(entries[0].item.subDir, "fonts/static/");
  EXPECT_FALSE(entries[0].item.isPalette);
  EXPECT_TRUE(entries[1].item.isPalette);
  EXPECT_EQ(entries[1].compressed, std::string(1, '\0'));
  EXPECT_EQ(uncompress(entries[2].compressed), "beta");
  EXPECT_EQ(entries[2].hash, contentHash("beta"));
  // Same inputs, same bytes.
  EXPECT_EQ(tableSource(entries), tableSource(packItems(items, list())));
  EXPECT_EQ(blobBytes(entries),
            entries[0].compressed + entries[1].compressed + entries[2].compressed);
  EXPECT_NE(tableSource(entries).find("\"Liste, v2.final.xml\", {setupPayloadBlob + 0, "),
            std::string::npos);
}

}  // namespace
}  // namespace setup::packer
