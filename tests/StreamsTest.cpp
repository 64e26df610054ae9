#include "runtime/Streams.h"
#include "TestTools.h"
#include "runtime/Cp1251Literal.h"
#include "runtime/Exception.h"
#include "unzip/uzip.h"

#include <gtest/gtest.h>

TEST(Streams, MemoryStreamGrowsSeeksAndReadsBack) {
    TMemoryStream stream;
    stream.WriteBuffer("hello", 5);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Seek(-2, TSeekOrigin::soEnd), 3);
    stream.WriteBuffer("p!", 2);
    EXPECT_EQ(std::string(stream.Memory(), 5), "help!");
    stream.SetPosition(7);
    stream.WriteBuffer("x", 1); // a gap is filled with zero bytes
    EXPECT_EQ(std::string(stream.Memory(), 8), std::string("help!\0\0x", 8));
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 2);
    char buffer[4] = {};
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(buffer, 4), 2);
}

TEST(Streams, ExactReadShortOfBytesRaisesTheStreamReadError) {
    TStringStream stream("abc");
    char buffer[8];
    try {
        stream.ReadBuffer(buffer, 4);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), CP1251("Ошибка чтения потока"));
    }
    stream.SetPosition(-5);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
    stream.SetPosition(10);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
}

TEST(Streams, StringStreamHandsItsContentsOver) {
    TStringStream stream;
    stream.WriteBuffer("data", 4);
    EXPECT_EQ(stream.DataString(), "data");
    EXPECT_EQ(stream.TakeDataString(), "data");
    EXPECT_EQ(stream.Size(), 0);
}

TEST(Streams, ReadMemoryStreamReadsInPlaceAndRefusesWrites) {
    const std::string bytes = "0123456789";
    TReadMemoryStream stream;
    stream.AttachMemory(bytes.data(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(stream.Memory(), bytes.data());
    EXPECT_EQ(stream.Write("x", 1), 0);
    EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
    EXPECT_EQ(stream.Seek(4, TSeekOrigin::soBeginning), 4);
    EXPECT_EQ(stream.Seek(2, TSeekOrigin::soCurrent), 6);
    char buffer[8];
    EXPECT_EQ(stream.Read(buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(stream.Seek(-20, TSeekOrigin::soEnd), -10);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
    EXPECT_EQ(bytes, "0123456789");
}

TEST(Streams, FileStreamOpenModes) {
    test::TempDir dir;
    const std::string name = (dir / "a.bin").string();
    test::WriteFile(name, "a longer file that creating empties");
    {
        TFileStream created(name, fmCreate);
        EXPECT_EQ(test::ReadFile(name), "");
        created.WriteBuffer("abcdef", 6);
        created.SetSize(4);
        EXPECT_EQ(created.Size(), 4);
    }
    {
        TFileStream readOnly(name, fmOpenRead | fmShareDenyNone);
        EXPECT_EQ(readOnly.Write("z", 1), 0);
        char buffer[8];
        EXPECT_EQ(readOnly.Read(buffer, 8), 4);
        EXPECT_EQ(std::string(buffer, 4), "abcd");
    }
    {
        TFileStream readWrite(name, fmOpenReadWrite | fmShareDenyWrite);
        // A write over bytes read before: reading them again gives what the file now holds.
        char buffer[4];
        readWrite.ReadBuffer(buffer, 1);
        readWrite.SetPosition(0);
        readWrite.WriteBuffer("A", 1);
        readWrite.SetPosition(0);
        readWrite.ReadBuffer(buffer, 4);
        EXPECT_EQ(std::string(buffer, 4), test::ReadFile(name));
        readWrite.Seek(0, TSeekOrigin::soEnd);
        readWrite.WriteBuffer("Z", 1);
    }
    EXPECT_EQ(test::ReadFile(name), "AbcdZ");
    EXPECT_THROW(TFileStream((dir / "missing").string(), fmOpenRead), EFOpenError);
}

// A file stays the one that was opened when the name is taken by another file, or when a
// relative name would now lead elsewhere.
TEST(Streams, FileStreamKeepsToTheFileItOpened) {
    test::TempDir dir;
    const auto here = std::filesystem::current_path();
    std::filesystem::create_directory(dir / "elsewhere");
    test::WriteFile(dir / "a.bin", "opened file");
    test::WriteFile(dir / "elsewhere" / "a.bin", "x");
    std::filesystem::current_path(dir.Path());
    TFileStream stream("a.bin", fmOpenReadWrite);
    std::filesystem::current_path(dir / "elsewhere");
    EXPECT_EQ(stream.Size(), 11);
    std::filesystem::current_path(here);
    std::filesystem::rename(dir / "a.bin", dir / "moved.bin");
    test::WriteFile(dir / "a.bin", "a newcomer with another size");
    EXPECT_EQ(stream.Size(), 11);
    stream.SetSize(6);
    EXPECT_EQ(test::ReadFile(dir / "moved.bin"), "opened");
    EXPECT_EQ(test::ReadFile(dir / "a.bin"), "a newcomer with another size");
    EXPECT_EQ(test::ReadFile(dir / "elsewhere" / "a.bin"), "x");
}

TEST(Streams, CopyFromCopiesTheWholeSource) {
    TStringStream source(std::string(200000, 'q'));
    TMemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 200000);
    EXPECT_EQ(target.Size(), 200000);
}
