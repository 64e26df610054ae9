#include "archive/ZAHashedList.h"
#include "CraftedNames.h"

#include <gtest/gtest.h>

#include <set>

TEST(TZAStringHash, HashAndChains) {
    TZAStringHash hash(1000);
    EXPECT_EQ(hash.HashOf("abc"), 0x7FBu);
    EXPECT_EQ(hash.HashOf(""), 0u);
    hash.Add("k", 1);
    hash.Add("k", 2);
    EXPECT_EQ(hash.ValueOf("k"), 2); // the one added last is found first
    hash.Remove("k");
    EXPECT_EQ(hash.ValueOf("k"), 1);
    hash.Remove("k");
    hash.Remove("k");
    EXPECT_EQ(hash.ValueOf("k"), -1);
    hash.Add("a", 5);
    hash.Clear();
    EXPECT_EQ(hash.ValueOf("a"), -1);
    EXPECT_EQ(hash.Size(), 1000u);
}

TEST(TZAKeyedStringHash, NamesCraftedToCollideSpreadOut) {
    std::vector<std::string> names;
    for (int n = 0; n < 4096; ++n)
        names.push_back(test::NameOfOneRotateXorHash(n));
    const TZAStringHash plain(1000);
    const TZAKeyedStringHash keyed(1000);
    std::set<uint32_t> plainHashes, keyedHashes;
    for (const std::string& name : names) {
        plainHashes.insert(plain.HashOf(name));
        keyedHashes.insert(keyed.HashOf(name));
    }
    EXPECT_EQ(plainHashes.size(), 1u);
    EXPECT_GT(keyedHashes.size(), 4090u);

    TZAHashedStringList list;
    for (const std::string& name : names)
        list.Add(name);
    for (int i = 0; i < 4096; i += 511)
        EXPECT_EQ(list.IndexOf(names[i]), i);
}

TEST(TZAHashedStringList, LazyTableAndHighestPositionWins) {
    TZAHashedStringList list;
    EXPECT_EQ(list.IndexOf("x"), -1);
    ASSERT_NE(list.ValueHash(), nullptr);
    EXPECT_EQ(list.ValueHash()->Size(), 1000u);

    for (const char* s : {"a", "b", "dup", "c", "", "d", "e", "dup"})
        list.Add(s);
    EXPECT_EQ(list.IndexOf("dup"), 7);
    EXPECT_EQ(list.IndexOf(""), 4);
    EXPECT_EQ(list.IndexOf("DUP"), -1); // exact comparison
    list.Delete(7);
    EXPECT_FALSE(list.HashValid());
    EXPECT_EQ(list.IndexOf("dup"), 2);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf("e"), 5);
    EXPECT_TRUE(list.HashValid());
}

TEST(TZAHashedStringList, StringsAddedBeforeTheFirstLookupAreFound) {
    TZAHashedStringList list;
    list.Add("one");
    list.Add("two");
    list.Add("three");
    EXPECT_EQ(list.ValueHash(), nullptr);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf("three"), 1);
}

TEST(TZAHashedStringList, TableIsDroppedAtFiveStringsABucket) {
    TZAHashedStringList list;
    list.IndexOf("");
    for (int i = 0; i < 5000; ++i)
        list.Add("name" + std::to_string(i));
    ASSERT_NE(list.ValueHash(), nullptr);
    list.Add("name5000");
    EXPECT_EQ(list.ValueHash(), nullptr);
    EXPECT_FALSE(list.HashValid());
    EXPECT_EQ(list.IndexOf("name4321"), 4321);
    EXPECT_EQ(list.ValueHash()->Size(), 5001u);
    for (int i = 0; i <= 5000; i += 97)
        EXPECT_EQ(list.IndexOf("name" + std::to_string(i)), i);
}

TEST(TZAHashedStringList, ReplaceKeepsTheTableInStep) {
    TZAHashedStringList list;
    list.Add("old");
    list.Add("other");
    list.IndexOf("old");
    list.Replace(0, "new");
    EXPECT_EQ(list.IndexOf("new"), 0);
    EXPECT_EQ(list.IndexOf("old"), -1);
    EXPECT_EQ(list[0], "new");
    list.Clear();
    EXPECT_EQ(list.IndexOf("other"), -1);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TZAStringHash, OneLongChainUnlinksAndReusesEntries) {
    TZAStringHash hash(1);
    for (int i = 0; i < 20000; ++i)
        hash.Add("k" + std::to_string(i), i);
    for (int i = 0; i < 20000; i += 2)
        hash.Remove("k" + std::to_string(i));
    for (int i = 0; i < 100; ++i)
        hash.Add("n" + std::to_string(i), -i - 2);
    EXPECT_EQ(hash.ValueOf("k0"), -1);
    EXPECT_EQ(hash.ValueOf("k19999"), 19999);
    EXPECT_EQ(hash.ValueOf("k1"), 1);
    EXPECT_EQ(hash.ValueOf("n42"), -44);
}
