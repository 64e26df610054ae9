#include "ArchiveFixture.h"
#include "ZipWriter.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

std::string Archive() {
    Entry broken{.name = "CA/broken.cer", .data = "damaged contents"};
    broken.centralCrc = 1;
    return BuildZip({Folder("CA/"), Entry{.name = "CA/a.cer", .data = "A"}, broken,
                     Entry{.name = "root.crl", .data = "R"}, Entry{.name = "dup", .data = "first"},
                     Entry{.name = "dup", .data = "second"}});
}

} // namespace

TEST(TUnZip, LoadsFileEntriesInArchiveOrder) {
    TUnZip unzip;
    EXPECT_EQ(unzip.Count(), 0);
    const std::string bytes = Archive();
    unzip.LoadFromString(bytes, false);
    ASSERT_EQ(unzip.Count(), 5);
    std::string name, contents;
    unzip.GetEntry(0, name, contents);
    EXPECT_EQ(name, "CA\\a.cer");
    EXPECT_EQ(contents, "A");
    unzip.GetEntry(1, name, contents);
    EXPECT_EQ(contents, "damaged contents"); // only the CRC differs: delivered whole
    unzip.GetEntry(2, name, contents);
    EXPECT_EQ(name, "root.crl");
    unzip.GetEntry(3, name, contents);
    EXPECT_EQ(contents, "first"); // two items of one name: each keeps its own bytes
    unzip.GetEntry(4, name, contents);
    EXPECT_EQ(contents, "second");

    name = "kept";
    contents = "kept too";
    unzip.GetEntry(-1, name, contents);
    unzip.GetEntry(5, name, contents);
    EXPECT_EQ(name, "kept");
    EXPECT_EQ(contents, "kept too");

    unzip.LoadFromString(BuildZip({Entry{.name = "only", .data = "1"}}), false);
    EXPECT_EQ(unzip.Count(), 1);
}

TEST(TUnZip, NamesOnlyDeliversNoEntries) {
    TUnZip unzip;
    unzip.LoadFromString(Archive(), true);
    EXPECT_EQ(unzip.Count(), 5);
    std::string name = "n", contents = "c";
    unzip.GetEntry(0, name, contents);
    EXPECT_EQ(name, "n");
}

TEST(TUnZip, BytesThatAreNoArchiveRaiseTheEngineError) {
    auto unzip = std::make_unique<TUnZip>();
    EXPECT_EQ(NativeErrorOf([&] { unzip->LoadFromString(std::string(64, 'x'), false); }), 35);
    unzip.reset(); // releases the archiver and the stream
    TUnZip empty;
    EXPECT_EQ(NativeErrorOf([&] { empty.LoadFromString("", false); }), 35);
}
