#include <gtest/gtest.h>

#include <map>
#include <set>

#include "installer/payload.h"

namespace setup {
namespace {

TEST(PayloadTable, EveryEntryDecompressesToItsHash) {
  ASSERT_EQ(payloadTable.size(), 100u);
  std::size_t total = 0;
  std::size_t smallest = SIZE_MAX;
  std::size_t largest = 0;
  for (const PayloadEntry& entry : payloadTable) {
    SCOPED_TRACE(std::string(entry.name));
    const std::string content = uncompress(entry.compressed);
    EXPECT_EQ(contentHash(content), entry.hash);
    EXPECT_GE(entry.hash, 0);
    total += content.size();
    smallest = std::min(smallest, content.size());
    largest = std::max(largest, content.size());
  }
  EXPECT_EQ(total, 10'481'003u);
  EXPECT_EQ(smallest, 784u);
  EXPECT_EQ(largest, 899'072u);
}

TEST(PayloadTable, SidesAndSubDirectoriesFollowTheGroups) {
  std::map<std::string_view, int> bySubDir;
  int palette = 0;
  for (const PayloadEntry& entry : payloadTable) {
    if (entry.isPalette) {
      ++palette;
      EXPECT_TRUE(entry.subDir.empty()) << entry.name;
    } else {
      ++bySubDir[entry.subDir];
    }
  }
  EXPECT_EQ(palette, 32);
  EXPECT_EQ(bySubDir[""], 23);
  EXPECT_EQ(bySubDir["fonts/"], 4);
  EXPECT_EQ(bySubDir["fonts/static/"], 36);
  EXPECT_EQ(bySubDir["resources/"], 5);
}

TEST(PayloadTable, IdenticalContentUnderTwoNamesKeepsBothEntries) {
  std::map<std::int64_t, std::set<std::string_view>> namesByHash;
  for (const PayloadEntry& entry : payloadTable) namesByHash[entry.hash].insert(entry.name);
  bool twins = false;
  for (const auto& [hash, names] : namesByHash) twins |= names.size() == 2;
  EXPECT_TRUE(twins);
}

}  // namespace
}  // namespace setup
