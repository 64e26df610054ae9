#include "ArchiveFixture.h"
#include "ZipWriter.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

// Folders and files as the certificate bundle lays them out.
std::string BundleLike() {
    auto folder = [](const std::string& name) {
        Entry e = Folder(name);
        e.externalAttributes = 0x2010;
        return e;
    };
    return BuildZip(
        {folder("AddressBook/"), Entry{.name = "AddressBook/a.cer", .data = "a"}, folder("CA/"),
         Entry{.name = "CA/b.cer", .data = "b"}, Entry{.name = "CA/sub/c.cer", .data = "c"},
         Entry{.name = "CA/d.crl", .data = "d"}, folder("ROOT/"),
         Entry{.name = "ROOT/README", .data = "r"}, Entry{.name = "top.cer", .data = "t"}});
}

std::vector<std::string> Walk(TZipArchiver& archiver, const std::string& mask, int32_t attr) {
    std::vector<std::string> found;
    TZAArchiveItem item;
    for (bool ok = archiver.FindFirst(mask, item, attr); ok; ok = archiver.FindNext(item))
        found.push_back(platform::WideToAnsi(item.StoredPath + item.FileName));
    return found;
}

using Names = std::vector<std::string>;

} // namespace

TEST(ItemSearch, FilesInDirectoryOrderWithoutFolders) {
    OpenArchive archive(BundleLike());
    EXPECT_EQ(Walk(archive.Archiver(), "*.*", 47),
              (Names{"AddressBook\\a.cer", "CA\\b.cer", "CA\\sub\\c.cer", "CA\\d.crl",
                     "ROOT\\README", "top.cer"}));
    const Names all = Walk(archive.Archiver(), "*.*", 10431);
    EXPECT_EQ(all.size(), 9u);
    EXPECT_EQ(all[0], "AddressBook");
    EXPECT_EQ(archive.Archiver().FileCount(), 6);
}

TEST(ItemSearch, RecordFields) {
    Entry e{.name = "dir/sub/file.txt",
            .data = std::string(1000, 'x'),
            .password = "secret",
            .externalAttributes = 0x81A40021,
            .modTime = 0x1111,
            .modDate = 0x2222,
            .comment = "c"};
    Entry empty{.name = "c:empty", .data = ""}; // a drive ends the path as a folder does
    Entry grown{.name = "random", .data = "q", .method = 8, .level = 0};
    OpenArchive archive(BuildZip({e, empty, grown}));
    TZAArchiveItem item;
    ASSERT_TRUE(archive.Archiver().FindFirst("*.*", item, 47));
    EXPECT_EQ(item.FileName, u"file.txt");
    EXPECT_EQ(item.StoredPath, u"dir\\sub\\");
    EXPECT_EQ(item.UncompressedSize, 1000);
    const size_t compressed = RawDeflate(e.data, 6).size() + 12; // with the encryption header
    EXPECT_EQ(item.CompressedSize, static_cast<int64_t>(compressed));
    EXPECT_DOUBLE_EQ(item.CompressionRate, (1.0 - static_cast<double>(compressed) / 1000) * 100);
    EXPECT_TRUE(item.Encrypted);
    EXPECT_EQ(item.ExternalFileAttributes, 0x81A40021u);
    EXPECT_EQ(item.LastModFileDate, 0x2222);
    EXPECT_EQ(item.LastModFileTime, 0x1111);
    EXPECT_EQ(item.CRC, Crc32Of(std::string(1000, 'x')));
    EXPECT_EQ(item.Comment, "c");
    EXPECT_EQ(item.InternalSearchRec.DirItemIndex, 0);
    ASSERT_TRUE(archive.Archiver().FindNext(item));
    EXPECT_EQ(item.FileName, u"empty");
    EXPECT_EQ(item.StoredPath, u"c:");
    EXPECT_EQ(item.CompressionRate, 100.0);
    EXPECT_FALSE(item.Encrypted);
    ASSERT_TRUE(archive.Archiver().FindNext(item));
    EXPECT_EQ(item.CompressionRate, 0.0);
    EXPECT_FALSE(archive.Archiver().FindNext(item));
    EXPECT_FALSE(archive.Archiver().FindNext(item));
    EXPECT_EQ(item.FileName, u"random");                          // the last item's fields stay
    ASSERT_TRUE(archive.Archiver().FindFirst("empty", item, 47)); // by its last component
    EXPECT_EQ(item.InternalSearchRec.DirItemIndex, 1);
}

TEST(ItemSearch, MasksWithAndWithoutRecurse) {
    OpenArchive archive(BundleLike());
    TZipArchiver& a = archive.Archiver();
    EXPECT_EQ(Walk(a, "CA/*.cer", 47), (Names{"CA\\b.cer", "CA\\sub\\c.cer"}));
    EXPECT_EQ(Walk(a, "ca\\*.CER", 47), (Names{"CA\\b.cer", "CA\\sub\\c.cer"}));
    EXPECT_EQ(Walk(a, "b.cer", 47), (Names{"CA\\b.cer"}));
    EXPECT_EQ(Walk(a, "*.", 47), (Names{"ROOT\\README"}));
    EXPECT_EQ(Walk(a, "C:CA\\d.crl", 47), (Names{"CA\\d.crl"}));
    a.Options().Recurse = false;
    EXPECT_EQ(Walk(a, "CA/*.cer", 47), (Names{"CA\\b.cer"}));
    EXPECT_EQ(Walk(a, "b.cer", 47), Names{});
    EXPECT_EQ(Walk(a, "top.cer", 47), (Names{"top.cer"}));
    EXPECT_EQ(Walk(a, "*.*", 47), (Names{"top.cer"}));
    // A folder item lies in the folder that holds it, not in itself.
    EXPECT_EQ(Walk(a, "*.*", 10431), (Names{"AddressBook", "CA", "ROOT", "top.cer"}));
}

TEST(ItemSearch, AttributeFilter) {
    OpenArchive archive(BuildZip({Entry{.name = "hidden", .data = "h", .externalAttributes = 0x22},
                                  Entry{.name = "system", .data = "s", .externalAttributes = 0x24},
                                  Entry{.name = "plain", .data = "p", .externalAttributes = 0x01},
                                  Folder("dir/")}));
    EXPECT_EQ(Walk(archive.Archiver(), "*.*", 0), (Names{"plain"}));
    EXPECT_EQ(Walk(archive.Archiver(), "*.*", 0x02), (Names{"hidden", "plain"}));
    EXPECT_EQ(Walk(archive.Archiver(), "*.*", 16), (Names{"plain", "dir"}));
    EXPECT_EQ(Walk(archive.Archiver(), "*.*", 10431).size(), 4u);
}

TEST(ItemSearch, FileMasksAndExclusions) {
    OpenArchive archive(BundleLike());
    TZipArchiver& a = archive.Archiver();
    a.FileMasks().Add("*.cer");
    a.FileMasks().Add("*.crl");
    a.ExclusionMasks().Add("*\\sub\\*");
    TZAArchiveItem item;
    ASSERT_TRUE(a.FindFirst("nothing-matches-this", item, 10431) == false);
    // The masks decide, whatever mask the walk began with.
    ASSERT_TRUE(a.FindFirst("*.*", item, 10431));
    item.InternalSearchRec.UseFileMasks = true;
    item.InternalSearchRec.DirItemIndex = -1;
    Names found;
    while (a.FindNext(item))
        found.push_back(platform::WideToAnsi(item.StoredPath + item.FileName));
    EXPECT_EQ(found, (Names{"AddressBook\\a.cer", "CA\\b.cer", "CA\\d.crl", "top.cer"}));
}

TEST(ItemSearch, EmptyArchiveAndClosedArchiver) {
    OpenArchive archive(BuildZip({}));
    TZAArchiveItem item;
    EXPECT_FALSE(archive.Archiver().FindFirst("*.*", item, 47));
    TZipArchiver closed(nullptr);
    EXPECT_EQ(NativeErrorOf([&] { closed.FindFirst("*.*", item, 47); }), 13);
    EXPECT_EQ(NativeErrorOf([&] { closed.FindNext(item); }), 13);
}

TEST(ItemSearch, MaskTooLongForTheRecordIsRefused) {
    OpenArchive archive(BundleLike());
    TZAArchiveItem item;
    EXPECT_FALSE(archive.Archiver().FindFirst(std::string(259, 'x'), item, 47));
    try {
        archive.Archiver().FindFirst(std::string(260, 'x'), item, 47);
        FAIL();
    } catch (const EZAException& e) {
        EXPECT_EQ(e.NativeError(), 61);
        EXPECT_EQ(e.Message().rfind("File name is too long: \r\n\"xxx", 0), 0u);
    }
    // A drive in front does not count against the length.
    EXPECT_FALSE(archive.Archiver().FindFirst("C:" + std::string(259, 'x'), item, 47));
}

TEST(ItemSearch, SearchesSideBySide) {
    OpenArchive archive(BundleLike());
    TZAArchiveItem files, crls;
    ASSERT_TRUE(archive.Archiver().FindFirst("*.cer", files, 47));
    ASSERT_TRUE(archive.Archiver().FindFirst("*.crl", crls, 47));
    ASSERT_TRUE(archive.Archiver().FindNext(files));
    EXPECT_EQ(files.FileName, u"b.cer");
    EXPECT_EQ(crls.FileName, u"d.crl");
    EXPECT_FALSE(archive.Archiver().FindNext(crls));
}
