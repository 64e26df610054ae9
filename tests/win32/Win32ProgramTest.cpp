// The built program's resources as Windows reads them: the manifest through an activation
// context, the version through the version functions, the icons through the icon functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kProgram[] = L"" CERTINSTALL_PATH;

// The activation context that the loader makes from the program's manifest.
class ProgramContext : public ::testing::Test {
protected:
    void SetUp() override {
        ACTCTXW request{};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = kProgram;
        request.lpResourceName = MAKEINTRESOURCEW(1); // the manifest of a program
        context_ = CreateActCtxW(&request);
        ASSERT_NE(context_, INVALID_HANDLE_VALUE)
            << "no manifest that Windows takes, error " << GetLastError();
    }
    void TearDown() override {
        if (context_ != INVALID_HANDLE_VALUE)
            ReleaseActCtx(context_);
    }

    std::vector<char> Query(ULONG infoClass, PVOID subInstance = nullptr) {
        SIZE_T size = 0;
        QueryActCtxW(0, context_, subInstance, infoClass, nullptr, 0, &size);
        std::vector<char> info(size);
        EXPECT_TRUE(QueryActCtxW(0, context_, subInstance, infoClass, info.data(), size, &size));
        return info;
    }

    HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ProgramContext, RunsAsTheUserWhoStartsIt) {
    const auto info = Query(RunlevelInformationInActivationContext);
    const auto* runLevel =
        reinterpret_cast<const ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION*>(info.data());
    EXPECT_EQ(runLevel->RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel->UiAccess, 0u);
}

TEST_F(ProgramContext, NamesTheSystemsItRunsOnFromVistaToEleven) {
    const auto info = Query(CompatibilityInformationInActivationContext);
    const std::string bytes(info.begin(), info.end());
    for (const char* id :
         {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        GUID guid;
        const std::wstring wide(id, id + std::char_traits<char>::length(id));
        ASSERT_EQ(CLSIDFromString(wide.c_str(), &guid), NOERROR);
        EXPECT_NE(bytes.find(std::string(reinterpret_cast<const char*>(&guid), sizeof(guid))),
                  std::string::npos)
            << id;
    }
}

TEST_F(ProgramContext, ScalesWithTheSystemsResolution) {
    wchar_t value[16] = {};
    SIZE_T written = 0;
    ASSERT_TRUE(
        QueryActCtxSettingsW(0, context_, nullptr, L"dpiAware", value, std::size(value), &written));
    EXPECT_STREQ(value, L"true");
}

TEST_F(ProgramContext, UsesCommonControlsSix) {
    const auto detail = Query(ActivationContextDetailedInformation);
    const auto* context =
        reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(detail.data());
    bool found = false;
    for (DWORD index = 1; index <= context->ulAssemblyCount; ++index) {
        const auto info = Query(AssemblyDetailedInformationInActivationContext, &index);
        const auto* assembly =
            reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(info.data());
        const std::wstring identity = assembly->lpAssemblyEncodedAssemblyIdentity;
        found |= identity.find(L"Microsoft.Windows.Common-Controls,") == 0 &&
                 identity.find(L"version=\"6.") != std::wstring::npos;
    }
    EXPECT_TRUE(found);
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        return L"(none)";
    return std::wstring(value, length && !value[length - 1] ? length - 1 : length);
}

TEST(Win32Program, CarriesItsDescriptionProductAndVersion) {
    std::vector<char> info(GetFileVersionInfoSizeW(kProgram, nullptr));
    ASSERT_FALSE(info.empty()) << "no version resource";
    ASSERT_TRUE(GetFileVersionInfoW(kProgram, 0, static_cast<DWORD>(info.size()), info.data()));
    EXPECT_EQ(VersionString(info, L"FileDescription"),
              L"Установка корневых сертификатов в хранилище Windows");
    EXPECT_EQ(VersionString(info, L"ProductName"),
              L"Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"");
    EXPECT_EQ(VersionString(info, L"CompanyName"), L"ЗАО \"ЛАРКОН\"");
    EXPECT_EQ(VersionString(info, L"LegalCopyright"), L"© 2026 ЗАО \"ЛАРКОН\"");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.0");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;

Module ProgramAsData() {
    return Module(LoadLibraryExW(kProgram, nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
}

// The main icon's image for that size, as the icon functions pick it; empty when there is none.
std::string MainIconImage(HMODULE program, int size) {
    const HRSRC group = FindResourceA(program, MAKEINTRESOURCEA(1), RT_GROUP_ICON);
    if (!group)
        return {};
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(program, group)));
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    const HRSRC image = FindResourceA(program, MAKEINTRESOURCEA(id), RT_ICON);
    if (!image)
        return {};
    return std::string(static_cast<const char*>(LockResource(LoadResource(program, image))),
                       SizeofResource(program, image));
}

// The width and height of the image as the icon functions decode it; none when they cannot.
SIZE DecodedSize(std::string image) {
    const HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                                static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                                0, 0, LR_DEFAULTCOLOR);
    if (!icon)
        return {};
    ICONINFO info{};
    GetIconInfo(icon, &info);
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    return {bitmap.bmWidth, bitmap.bmHeight};
}

TEST(Win32Program, MainIconComesAtSixteenThirtyTwoAndFortyEightPixels) {
    const Module program = ProgramAsData();
    ASSERT_TRUE(program);
    for (int size : {16, 32, 48}) {
        const SIZE decoded = DecodedSize(MainIconImage(program.get(), size));
        EXPECT_EQ(decoded.cx, size);
        EXPECT_EQ(decoded.cy, size);
    }
}

// Windows keeps its large icon images as PNG files.
TEST(Win32Program, MainIconComesAtTwoHundredFiftySixPixelsAsPng) {
    const Module program = ProgramAsData();
    ASSERT_TRUE(program);
    const std::string image = MainIconImage(program.get(), 256);
    EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
    const SIZE decoded = DecodedSize(image);
    EXPECT_EQ(decoded.cx, 256);
    EXPECT_EQ(decoded.cy, 256);
}

} // namespace
