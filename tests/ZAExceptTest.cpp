#include "archive/ZAExcept.h"
#include "runtime/Component.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The message index of every native error code, grouped by message as the error table
// lists them.
std::map<int, int> ExpectedMessageIndex() {
    const std::map<int, std::vector<int>> codesByMessage = {
        {0, {0}},
        {1, {1, 2, 3, 4, 7, 16, 21, 24}},
        {2, {5}},
        {3, {6}},
        {4, {8}},
        {5, {9, 10, 29}},
        {6, {11, 12, 15, 18, 30, 31, 38, 42, 53, 54}},
        {7, {13, 14}},
        {8, {17}},
        {9, {19, 23}},
        {10, {20}},
        {11, {22, 25}},
        {12, {33}},
        {13, {26}},
        {14, {27}},
        {15, {28}},
        {16, {32}},
        {17, {34}},
        {18, {35}},
        {19, {36}},
        {20, {37}},
        {21, {39}},
        {22, {40}},
        {23, {41, 43}},
        {24, {44, 45}},
        {25, {46}},
        {26, {47}},
        {27, {48, 57}},
        {28, {49}},
        {29, {50}},
        {30, {51}},
        {31, {52}},
        {32, {55}},
        {33, {56}},
        {34, {58, 59}},
        {35, {60}},
        {36, {61}},
        {37, {62}},
    };
    std::map<int, int> indexByCode;
    for (const auto& [message, codes] : codesByMessage)
        for (int code : codes)
            indexByCode[code] = message;
    return indexByCode;
}

struct Named : TComponent {
    explicit Named(std::string name) : TComponent(nullptr) { Name = std::move(name); }
};

} // namespace

TEST(EZAException, EveryNativeCodeHasItsMessage) {
    const auto expected = ExpectedMessageIndex();
    ASSERT_EQ(expected.size(), 63u);
    for (const auto& [code, index] : expected) {
        const auto e = EZAException::Create(code);
        EXPECT_EQ(e.ErrorCode(), index) << code;
        EXPECT_EQ(e.NativeError(), code);
        char digits[8];
        std::snprintf(digits, sizeof digits, "%05d", code);
        EXPECT_EQ(e.Message(),
                  std::string(EZAException::MessageText(index)) + " - Native error: " + digits);
    }
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
