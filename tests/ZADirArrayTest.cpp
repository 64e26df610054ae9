#include "archive/ZADirArray.h"
#include "archive/ZAExcept.h"

#include <gtest/gtest.h>

namespace {

int NativeErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZAException& e) {
        return e.NativeError();
    }
    return -1;
}

TDirItemExtra Extra(uint16_t id, const std::string& data) {
    return {id, static_cast<uint16_t>(data.size()), data};
}

} // namespace

TEST(TZADirArray, GrowthSteps) {
    TZADirArray one;
    one.SetCount(1);
    EXPECT_EQ(one.Capacity(), 1000);
    TZADirArray large;
    large.SetCount(1500);
    EXPECT_EQ(large.Capacity(), 1500);

    TZADirArray steps;
    std::vector<int> capacities;
    for (int n : {1, 1001, 3001, 7001, 15001, 25001})
        steps.SetCount(n), capacities.push_back(steps.Capacity());
    EXPECT_EQ(capacities, (std::vector<int>{1000, 3000, 7000, 15000, 25000, 35000}));
    steps.SetCount(0);
    EXPECT_EQ(steps.Capacity(), 0);
}

TEST(TZADirArray, SlotsComingBackIntoUseAreBlank) {
    TZADirArray array;
    array.SetCount(5);
    for (int i = 0; i < 5; ++i) {
        array.ItemRef(i).Crc32 = 7;
        array.ItemRef(i).Extras.push_back(Extra(0x000A, "ntfs"));
        array.Rename(i, "n" + std::to_string(i));
    }
    array.Clear();
    EXPECT_EQ(array.Capacity(), 1000);
    array.SetCount(5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(array.GetItem(i).Crc32, 0u);
        EXPECT_TRUE(array.GetItem(i).Extras.empty());
        EXPECT_TRUE(array.GetItem(i).FileName.empty());
    }
    EXPECT_EQ(array.ItemNames().Count(), 0);

    array.SetCount(3);
    array.ItemRef(2).Crc32 = 9;
    array.SetCount(1);
    array.SetCount(3);
    EXPECT_EQ(array.GetItem(2).Crc32, 0u);
}

TEST(TZADirArray, IndexErrors) {
    TZADirArray array;
    array.SetCount(2);
    EXPECT_EQ(NativeErrorOf([&] { array.GetItem(2); }), 2);
    EXPECT_EQ(NativeErrorOf([&] { array.ItemRef(-1); }), 3);
    EXPECT_EQ(NativeErrorOf([&] { array.SetItem(5, TDirItem{}); }), 1);
    EXPECT_EQ(NativeErrorOf([&] { array.Delete(2); }), 4);
    EXPECT_EQ(EZAException::Create(2).Message(), "Index out of bounds - Native error: 00002");
}

TEST(TZADirArray, CaseTwinsBothStayAndTheLaterIsFound) {
    TZADirArray array;
    array.SetCount(2);
    array.Rename(0, "Readme.TXT");
    array.Rename(1, "README.txt");
    int32_t index = -1;
    ASSERT_TRUE(array.FindName("readme.txt", index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(array.GetItem(0).FileName, u"Readme.TXT");
    EXPECT_FALSE(array.FindName("other", index));
    EXPECT_EQ(index, -1);
}

TEST(TZADirArray, CyrillicNamesAreFoundInAnyCase) {
    TZADirArray array;
    array.SetCount(1);
    array.Rename(0, "CA/\xD2\xE5\xF1\xF2.cer"); // "Тест"
    int32_t index = -1;
    EXPECT_TRUE(array.FindName("ca/\xF2\xC5\xD1\xD2.CER", index)); // "тЕСТ"
    EXPECT_EQ(array.GetItem(0).FileName, u"CA/Тест.cer");
}

// Entry i stays item i's: a name is entered in index order, whatever names came before.
TEST(TZADirArray, NamesAreEnteredInIndexOrder) {
    TZADirArray array;
    array.SetCount(3);
    array.Rename(0, "");
    EXPECT_EQ(NativeErrorOf([&] { array.Rename(2, "beyond"); }), 59);
    array.Rename(1, "");
    array.Rename(2, "last");
    int32_t index = -1;
    EXPECT_TRUE(array.FindName("last", index));
    EXPECT_EQ(index, 2);
}

// The renamed item's own entry changes, not the entry of a later item with the same name.
TEST(TZADirArray, RenameOfANamedItemReplacesItsEntry) {
    TZADirArray array;
    array.SetCount(3);
    array.Rename(0, "a");
    array.Rename(1, "b");
    array.Rename(2, "A");
    int32_t index = -1;
    EXPECT_TRUE(array.FindName("a", index));
    EXPECT_EQ(index, 0);
    array.Rename(0, "C");
    EXPECT_TRUE(array.FindName("c", index));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(array.FindName("a", index));
    EXPECT_EQ(index, 2);
    // Of two items with the same name the later is found, even once the earlier is renamed.
    array.Rename(0, "A");
    EXPECT_TRUE(array.FindName("A", index));
    EXPECT_EQ(index, 2);
}

TEST(TZADirArray, SetItemKeepsTheNameListInStep) {
    TZADirArray array;
    array.SetCount(3);
    TDirItem item;
    item.FileName = u"X";
    EXPECT_EQ(NativeErrorOf([&] { array.SetItem(1, item); }), 58);
    array.SetItem(0, item);
    item.FileName = u"Y";
    array.SetItem(1, item);
    item.FileName = u"Z";
    array.SetItem(0, item);
    int32_t index = -1;
    EXPECT_TRUE(array.FindName("z", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(array.FindName("x", index));
}

TEST(TZADirArray, AssignMakesSeparateCopies) {
    TZADirArray source;
    source.SetCount(2);
    source.ItemRef(0).Extras.push_back(Extra(0x000A, std::string(32, 'n')));
    source.ItemRef(1).UncompressedSize = 42;
    source.Rename(0, "a/");
    source.Rename(1, "a/b");
    TZADirArray copy;
    copy.Assign(source);
    source.Clear();
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.GetItem(0).Extras.at(0).Data, std::string(32, 'n'));
    EXPECT_EQ(copy.GetItem(1).UncompressedSize, 42u);
    int32_t index = -1;
    EXPECT_TRUE(copy.FindName("A/B", index));
    EXPECT_EQ(index, 1);
}

TEST(TZADirArray, DeleteKeepsEntryIAsItemIsEvenWithSharedNames) {
    TZADirArray array;
    array.SetCount(4);
    array.Rename(0, "same");
    array.Rename(1, "other");
    array.Rename(2, "SAME");
    array.Rename(3, "last");
    array.Delete(0);
    ASSERT_EQ(array.Count(), 3);
    int32_t index = -1;
    EXPECT_TRUE(array.FindName("same", index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(array.GetItem(index).FileName, u"SAME");
    EXPECT_TRUE(array.FindName("last", index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(array.FindName("other", index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(array.ItemNames().Count(), 3);
}
