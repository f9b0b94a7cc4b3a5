// The symbol table on its own: its walk order decides every tie of the
// engine, so its hash, probing, growth, removal and walk are pinned down here.
#include "layout/symbol_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace setup::layout {
namespace {

Symbol slack(std::uint32_t id) {
  return Symbol(SymbolKind::Slack, id);
}

TEST(Symbol, PacksKindAndId) {
  struct Case {
    SymbolKind kind;
    std::uint32_t id;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {SymbolKind::External, 1, 0x00000001},
      {SymbolKind::Slack, 2, 0x40000002},
      {SymbolKind::Error, 3, 0x80000003},
      {SymbolKind::Dummy, 4, 0xC0000004},
      {SymbolKind::Dummy, 0x3FFFFFFF, 0xFFFFFFFF},
      // Ids wrap into the 30-bit field.
      {SymbolKind::External, 0x40000001, 0x00000001},
  };
  for (const Case& c : cases) {
    const Symbol s(c.kind, c.id);
    EXPECT_EQ(s.bits(), c.bits);
    EXPECT_EQ(s.kind(), c.kind);
    EXPECT_EQ(s.id(), c.id & Symbol::kIdMask);
    EXPECT_TRUE(s.valid());
  }
  EXPECT_FALSE(Symbol().valid());
  EXPECT_FALSE(Symbol().isExternal());
  EXPECT_TRUE(Symbol(SymbolKind::Error, 9).isPivotable());
  EXPECT_FALSE(Symbol(SymbolKind::Dummy, 9).isPivotable());
}

// Values computed independently with arbitrary-precision integers.
TEST(SymbolHash, KnownValues) {
  struct Case {
    std::uint32_t bits;
    std::uint64_t hash;
  };
  const Case cases[] = {
      {0x00000001, 0x77EDFF7F3A25B5BDull}, {0x40000002, 0x14DC0BA412CAE16Bull},
      {0x80000003, 0x583ACFA5C1303D70ull}, {0xC0000004, 0x42D54D83A932E8FDull},
      {0x3FFFFFFF, 0x71A67E15CC7CC8B0ull}, {0xFFFFFFFF, 0xC8D98CC436651882ull},
      {0x80000064, 0x82872B30798FD679ull},
  };
  for (const Case& c : cases) EXPECT_EQ(hashSymbol(Symbol::fromBits(c.bits)), c.hash) << c.bits;
}

TEST(SymbolTable, StartsWith64Slots) {
  SymbolTable<double> t;
  EXPECT_EQ(t.slotCount(), 64u);
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.findSlot(Symbol()), SymbolTable<double>::npos);
}

TEST(SymbolTable, HomeSlotIsHashModuloSlots) {
  SymbolTable<double> t;
  // External 1 hashes to ...B5BD: slot 0x3D = 61 of 64.
  EXPECT_EQ(t.homeSlot(Symbol::fromBits(1)), 61u);
  t.insertNew(Symbol::fromBits(1), 1.0);
  EXPECT_EQ(t.findSlot(Symbol::fromBits(1)), 61u);
  // Dummy 4 has the same home: it probes on to 62.
  t.insertNew(Symbol::fromBits(0xC0000004), 2.0);
  EXPECT_EQ(t.findSlot(Symbol::fromBits(0xC0000004)), 62u);
}

// Slack 50, 328 and 376 all have home slot 63; the second and third wrap around.
TEST(SymbolTable, ProbesLinearlyAndWrapsAround) {
  SymbolTable<double> t;
  for (std::uint32_t id : {50u, 328u, 376u}) ASSERT_EQ(t.homeSlot(slack(id)), 63u);
  t.insertNew(slack(50), 1.0);
  t.insertNew(slack(328), 2.0);
  t.insertNew(slack(376), 3.0);
  EXPECT_EQ(t.findSlot(slack(50)), 63u);
  EXPECT_EQ(t.findSlot(slack(328)), 0u);
  EXPECT_EQ(t.findSlot(slack(376)), 1u);
  // Slack 192 lives at home 0: taken, so it goes to 2.
  t.insertNew(slack(192), 4.0);
  EXPECT_EQ(t.findSlot(slack(192)), 2u);
  EXPECT_EQ(*t.find(slack(376)), 3.0);
  EXPECT_EQ(t.find(slack(389)), nullptr);  // home 63, probes 63, 0, 1, 2, 3: empty
}

std::vector<Symbol> walk(const SymbolTable<double>& t) {
  std::vector<Symbol> keys;
  for (auto [key, value] : t) keys.push_back(key);
  return keys;
}

TEST(SymbolTable, WalksInSlotOrder) {
  SymbolTable<double> t;
  t.insertNew(slack(50), 1.0);   // 63
  t.insertNew(slack(328), 2.0);  // 0
  t.insertNew(slack(71), 3.0);   // 62
  t.insertNew(slack(23), 4.0);   // 1
  EXPECT_EQ(walk(t), (std::vector<Symbol>{slack(328), slack(23), slack(71), slack(50)}));
}

// Removing the head of a wrapped run moves the later entries back.
TEST(SymbolTable, BackwardShiftRemovalAcrossTheWrap) {
  SymbolTable<double> t;
  t.insertNew(slack(50), 1.0);   // home 63 at 63
  t.insertNew(slack(328), 2.0);  // home 63 at 0
  t.insertNew(slack(192), 3.0);  // home 0 at 1
  t.insertNew(slack(376), 4.0);  // home 63 at 2
  t.insertNew(slack(23), 5.0);   // home 1 at 3
  ASSERT_TRUE(t.erase(slack(50)));
  EXPECT_EQ(t.findSlot(slack(328)), 63u);
  EXPECT_EQ(t.findSlot(slack(192)), 0u);
  EXPECT_EQ(t.findSlot(slack(376)), 1u);
  EXPECT_EQ(t.findSlot(slack(23)), 2u);
  EXPECT_EQ(t.keyAt(3), Symbol());
  EXPECT_EQ(t.size(), 4u);
  // An entry at its home slot does not move into an earlier gap.
  ASSERT_TRUE(t.erase(slack(328)));
  EXPECT_EQ(t.findSlot(slack(376)), 63u);
  EXPECT_EQ(t.findSlot(slack(192)), 0u);
  EXPECT_EQ(t.findSlot(slack(23)), 1u);
  EXPECT_FALSE(t.erase(slack(328)));
}

// Every filled slot is reached from its key's home over filled slots only.
void expectProbeRunsIntact(const SymbolTable<double>& t) {
  for (std::size_t i = 0; i < t.slotCount(); ++i) {
    const Symbol key = t.keyAt(i);
    if (!key.valid()) continue;
    for (std::size_t j = t.homeSlot(key); j != i; j = (j + 1) % t.slotCount())
      ASSERT_TRUE(t.keyAt(j).valid()) << "gap before slot " << i;
    ASSERT_EQ(t.findSlot(key), i);
  }
}

TEST(SymbolTable, RemovalKeepsEveryKeyReachable) {
  SymbolTable<double> t;
  std::vector<Symbol> keys;
  for (std::uint32_t id = 1; id <= 40; ++id) {
    keys.push_back(slack(id * 7));
    t.insertNew(keys.back(), id);
  }
  // Remove in an order unrelated to the slots, checking the runs after each step.
  for (std::size_t n = 0; n < keys.size(); n += 3) {
    ASSERT_TRUE(t.erase(keys[n]));
    expectProbeRunsIntact(t);
  }
  for (std::size_t n = 0; n < keys.size(); ++n) {
    if (n % 3 == 0)
      EXPECT_FALSE(t.contains(keys[n]));
    else
      EXPECT_EQ(*t.find(keys[n]), static_cast<double>(n + 1));
  }
}

TEST(SymbolTable, GrowsBeforeTheInsertionThatWouldOverfill) {
  SymbolTable<double> t;
  // 64 * 2 < entries * 3 first holds at 43 entries: the 44th insertion doubles.
  for (std::uint32_t id = 1; id <= 43; ++id) t.insertNew(slack(id), id);
  EXPECT_EQ(t.slotCount(), 64u);
  t.insertNew(slack(44), 44);
  EXPECT_EQ(t.slotCount(), 128u);
  // 128 * 2 < entries * 3 first holds at 86 entries.
  for (std::uint32_t id = 45; id <= 86; ++id) t.insertNew(slack(id), id);
  EXPECT_EQ(t.slotCount(), 128u);
  t.insertNew(slack(87), 87);
  EXPECT_EQ(t.slotCount(), 256u);
  expectProbeRunsIntact(t);
  for (std::uint32_t id = 1; id <= 87; ++id) EXPECT_EQ(*t.find(slack(id)), id);
}

// Growth moves the entries in the order of their old slots, each to the first empty
// slot from its home: two keys that share a home in the new table keep their order.
TEST(SymbolTable, GrowthReinsertsInOldSlotOrder) {
  SymbolTable<double> t;
  std::vector<Symbol> keys;
  for (std::uint32_t id = 1; id <= 43; ++id) {
    keys.push_back(slack(id));
    t.insertNew(keys.back(), id);
  }
  std::vector<Symbol> oldOrder = walk(t);
  t.insertNew(slack(1000), 0);
  ASSERT_EQ(t.slotCount(), 128u);
  // Model: replay the old walk into an empty 128-slot array, then add slack 1000.
  std::vector<Symbol> model(128);
  auto place = [&](Symbol s) {
    std::size_t i = t.homeSlot(s);
    while (model[i].valid()) i = (i + 1) % 128;
    model[i] = s;
  };
  for (Symbol s : oldOrder) place(s);
  place(slack(1000));
  for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(t.keyAt(i), model[i]) << "slot " << i;
}

TEST(SymbolTable, AssignOverwritesOrInserts) {
  SymbolTable<double> t;
  t.assign(slack(5), 1.0);
  t.assign(slack(5), 2.0);
  EXPECT_EQ(t.size(), 1u);
  EXPECT_EQ(*t.find(slack(5)), 2.0);
}

TEST(SymbolTable, CopyKeepsTheSlots) {
  SymbolTable<double> t;
  for (std::uint32_t id : {50u, 328u, 71u, 23u}) t.insertNew(slack(id), id);
  const SymbolTable<double> copy = t;
  for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(copy.keyAt(i), t.keyAt(i));
}

TEST(SymbolTable, ChangingValuesWhileWalkingIsAllowed) {
  SymbolTable<double> t;
  for (std::uint32_t id = 1; id <= 10; ++id) t.insertNew(slack(id), id);
  for (auto [key, value] : t) value *= 2;
  EXPECT_EQ(*t.find(slack(7)), 14.0);
}

TEST(SymbolTable, ChangingTheCountWhileWalkingIsADefect) {
  struct Case {
    const char* what;
    bool insert;
  };
  for (const Case& c : {Case{"insert", true}, Case{"erase", false}}) {
    SymbolTable<double> t;
    for (std::uint32_t id = 1; id <= 10; ++id) t.insertNew(slack(id), id);
    try {
      for (auto [key, value] : t) {
        if (c.insert)
          t.insertNew(slack(100), 0.0);
        else
          t.erase(key);
      }
      ADD_FAILURE() << c.what << ": no defect";
    } catch (const AssertionDefect& e) {
      EXPECT_STREQ(e.what(), "the length of the table changed while iterating over it") << c.what;
    }
  }
}

}  // namespace
}  // namespace setup::layout
