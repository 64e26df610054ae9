#include "archive/ZAExcept.h"
#include "runtime/Component.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Every message of the error table with the native error codes that map to it, written out
// here as the table reads, not taken from the engine.
struct MessageRow {
    int index;
    const char* text;
    std::vector<int> codes;
};

const std::vector<MessageRow>& MessageTable() {
    static const std::vector<MessageRow> rows = {
        {0, "Unknown error", {0}},
        {1, "Index out of bounds", {1, 2, 3, 4, 7, 16, 21, 24}},
        {2, "Invalid compression mode. Mode must be in [0-9] range", {5}},
        {3, "Unexpected nil pointer", {6}},
        {4, "Invalid size or check sum of file or unsupported compression format", {8}},
        {5, "File name is blank. Specify appropriate file name", {9, 10, 29}},
        {6, "File \"%s\" not found", {11, 12, 15, 18, 30, 31, 38, 42, 53, 54}},
        {7, "Archive is not open", {13, 14}},
        {8, "SFXStub property is not specified", {17}},
        {9, "Cannot create file \"%s\"", {19, 23}},
        {10, "Cannot create directory \"%s\"", {20}},
        {11, "Internal error. Update is not started", {22, 25}},
        {12, "Cannot open file \"%s\"", {33}},
        {13,
         "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
         {26}},
        {14, "Cannot delete file \"%s\"", {27}},
        {15, "In-memory archive can be created only", {28}},
        {16, "File is open in read-only mode", {32}},
        {17, "Invalid compressed size, rfs.size = %d, count = %d", {34}},
        {18, "Invalid archive file.", {35}},
        {19,
         "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
         {36}},
        {20, "Archive is open. You should close it beore performing this operation.", {37}},
        {21, "Unable to create directory", {39}},
        {22, "Cannot find Zip64 directory end record", {40}},
        {23, "Cannot compress file '%s'. Zip64 mode is not enabled", {41, 43}},
        {24, "Cannot open archive file. Opening aborted or invalid file", {44, 45}},
        {25, "Write to stream error", {46}},
        {26, "Cannot place SFX stub on volume. Volume size limit is too small", {47}},
        {27, "Archive is damaged. Open failed", {48, 57}},
        {28,
         "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
         "creation instead of MakeSFX",
         {49}},
        {29, "Archive already has SFX stub", {50}},
        {30, "Multi-volume archive is not allowed for custom stream", {51}},
        {31,
         "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods "
         "to add files several times",
         {52}},
        {32, "Deflate64 compression method is not supported", {55}},
        {33, "MakeSFX error", {56}},
        {34, "Hashed list of file names is invalid", {58, 59}},
        {35, "Cannot delete folder \"%s\"", {60}},
        {36, "File name is too long: \r\n\"%s\"", {61}},
        {37, "Multiple transactions are not supported for multi-volume archives", {62}},
        {38, "Compression method %s is not supported", {63}},
        {39, "Item \"%s\" overlaps another item's data (possible zip bomb)", {64}},
        {40, "Item \"%s\" has another name in its local header", {65}},
    };
    return rows;
}

struct Named : TComponent {
    explicit Named(std::string name) : TComponent(nullptr) { Name = std::move(name); }
};

} // namespace

TEST(EZAException, EveryNativeCodeHasItsMessage) {
    size_t codes = 0;
    for (const MessageRow& row : MessageTable()) {
        EXPECT_EQ(EZAException::MessageText(row.index), std::string(row.text));
        for (int code : row.codes) {
            const auto e = EZAException::Create(code);
            EXPECT_EQ(e.ErrorCode(), row.index) << code;
            EXPECT_EQ(e.NativeError(), code);
            char digits[8];
            std::snprintf(digits, sizeof digits, "%05d", code);
            EXPECT_EQ(e.Message(), std::string(row.text) + " - Native error: " + digits);
            ++codes;
        }
    }
    EXPECT_EQ(codes, 66u);
}

TEST(EZAException, MessagesReadExactlyAsWritten) {
    EXPECT_EQ(EZAException::Create(13).Message(), "Archive is not open - Native error: 00013");
    EXPECT_EQ(EZAException::Create(8).Message(),
              "Invalid size or check sum of file or unsupported compression format - Native "
              "error: 00008");
    EXPECT_EQ(EZAException::Create(61).Message(),
              "File name is too long: \r\n\"%s\" - Native error: 00061");
    EXPECT_EQ(EZAException::Create(37).Message(),
              "Archive is open. You should close it beore performing this operation. - Native "
              "error: 00037");
    EXPECT_EQ(EZAException::Create(35).Message(), "Invalid archive file. - Native error: 00035");
    EXPECT_EQ(EZAException::Create(62).Message(),
              "Multiple transactions are not supported for multi-volume archives - Native error: "
              "00062");
}

TEST(EZAException, UnknownCodesAndArguments) {
    const auto unknown = EZAException::Create(1234567);
    EXPECT_EQ(unknown.ErrorCode(), 0);
    EXPECT_EQ(unknown.Message(), "Unknown error - Native error: 1234567");
    EXPECT_EQ(EZAException::Create(-7).Message(), "Unknown error - Native error: 000-7");
    EXPECT_EQ(EZAException::Create(0).Message(), "Unknown error - Native error: 00000");

    EXPECT_EQ(EZAException::CreateWithArgs(15, nullptr, {std::string("CA/x.cer")}).Message(),
              "File \"CA/x.cer\" not found - Native error: 00015");
    EXPECT_EQ(
        EZAException::CreateWithArgs(34, nullptr, {int64_t{10}, int64_t{-2}, "extra"}).Message(),
        "Invalid compressed size, rfs.size = 10, count = -2 - Native error: 00034");
    EXPECT_EQ(EZAException::Create(15).Message(), "File \"%s\" not found - Native error: 00015");
}

TEST(EZAException, NamedComponentPrefixesTheMessage) {
    Named archiver1("Archiver1");
    Named unnamed("");
    EXPECT_EQ(EZAException::Create(13, &archiver1).Message(),
              "Archiver1: Archive is not open - Native error: 00013");
    EXPECT_EQ(EZAException::Create(13, &unnamed).Message(),
              "Archive is not open - Native error: 00013");
}
