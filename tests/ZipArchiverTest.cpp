#include "ArchiveFixture.h"
#include "TestTools.h"
#include "ZipWriter.h"
#include "platform/Dialogs.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

std::string SmallArchive() {
    return BuildZip({Folder("f/"), Entry{.name = "f/one.txt", .data = "one"},
                     Entry{.name = "two.txt", .data = "two"}});
}

} // namespace

TEST(TZipArchiver, Defaults) {
    TZipArchiver archiver(nullptr);
    EXPECT_EQ(archiver.CompressionLevel(), clFastest);
    EXPECT_EQ(archiver.CompressionMode(), 1);
    EXPECT_EQ(archiver.WriteCompressionMethod(), 8);
    EXPECT_FALSE(archiver.ExtractCorruptedFiles);
    EXPECT_FALSE(archiver.InMemory());
    EXPECT_EQ(archiver.SpanningMode(), smNone);
    EXPECT_FALSE(archiver.IsOpen());
    EXPECT_TRUE(archiver.IsZipFormat());
    EXPECT_EQ(archiver.Zip64WriteMode(), 0);
    EXPECT_TRUE(archiver.RebuildDirOnError);
    EXPECT_EQ(archiver.Options().SearchAttr, 10431);
    EXPECT_TRUE(archiver.Options().OEMFileNames);
    EXPECT_TRUE(archiver.Options().Recurse);
    EXPECT_TRUE(archiver.SpanningOptions().AdvancedNaming);
    EXPECT_TRUE(archiver.Name.empty());
    EXPECT_EQ(archiver.CurrentVolume().Kind, TZAVolumeNumberInfo::vkUnknown);
    EXPECT_EQ(archiver.CurrentVersion(), "2.77 ");

    TZABaseArchiver base(nullptr);
    EXPECT_EQ(base.WriteCompressionMethod(), 0xFFFF);
    EXPECT_FALSE(base.IsZipFormat());
    EXPECT_EQ(base.Zip64WriteMode(), 1);
}

TEST(TZipArchiver, PropertySetters) {
    TZipArchiver archiver(nullptr);
    EXPECT_EQ(NativeErrorOf([&] { archiver.SetCompressionMode(10); }), 5);
    EXPECT_EQ(archiver.CompressionMode(), 1);
    archiver.SetCompressionMode(5);
    EXPECT_EQ(archiver.CompressionLevel(), clNormal);
    archiver.SetCompressionMode(0);
    EXPECT_EQ(archiver.CompressionLevel(), clNone);
    EXPECT_EQ(archiver.WriteCompressionMethod(), 0);
    archiver.SetCompressionLevel(clMax);
    EXPECT_EQ(archiver.CompressionMode(), 9);
    EXPECT_EQ(archiver.WriteCompressionMethod(), 8);

    archiver.SpanningOptions().SetCustomVolumeSize(1000);
    EXPECT_EQ(archiver.SpanningOptions().CustomVolumeSize(), 65536);

    TStringList masks;
    masks.Add("*.cer");
    TStringList& owned = archiver.FileMasks();
    archiver.SetFileMasks(masks);
    EXPECT_EQ(&archiver.FileMasks(), &owned);
    EXPECT_EQ(owned[0], "*.cer");

    archiver.SetInMemory(true);
    archiver.ExtractCorruptedFiles = true;
    EXPECT_FALSE(archiver.IsOpen());
    EXPECT_TRUE(archiver.InMemory());
}

TEST(TZipArchiver, OptionsAssignKeepsShareMode) {
    TZAOptions source, target;
    source.Recurse = false;
    source.SearchAttr = 47;
    source.ShareMode = smShareExclusive;
    target.Assign(source);
    EXPECT_FALSE(target.Recurse);
    EXPECT_EQ(target.SearchAttr, 47);
    EXPECT_EQ(target.ShareMode, smShareDenyNone);
    TZASpanningOptions spanning;
    EXPECT_THROW(target.Assign(spanning), Exception);
}

TEST(TZipArchiver, VolumeNumberInfo) {
    TZAVolumeNumberInfo v;
    EXPECT_EQ(v.Number, -1);
    EXPECT_FALSE(v.IsLast());
    v.SetLast(true);
    EXPECT_TRUE(v.IsLast());
    v.LastNumber = 3;
    v.SetNumber(3);
    EXPECT_TRUE(v.IsLast());
    TZAVolumeNumberInfo first;
    first.SetFirst(true);
    EXPECT_TRUE(first.IsFirst());
    EXPECT_FALSE(first.SameVolume(v));
    TZAVolumeNumberInfo other;
    other.LastNumber = 5;
    other.SetNumber(0);
    EXPECT_TRUE(first.SameVolume(other));
}

TEST(TZipArchiver, OpenReadsAndCloseLeavesTheCallersStreamUntouched) {
    const std::string bytes = SmallArchive();
    TStringStream stream(bytes);
    {
        TZipArchiver archiver(nullptr);
        bool sawOpen = false;
        archiver.AfterOpen = [&](TZABaseArchiver* sender) { sawOpen = sender->IsOpen(); };
        archiver.OpenArchive(stream, false);
        EXPECT_TRUE(sawOpen);
        EXPECT_TRUE(archiver.StreamOwnedByCaller());
        EXPECT_EQ(archiver.ArchiveStream(), &stream);
        EXPECT_EQ(archiver.FileCount(), 2);
        archiver.CloseArchive();
        archiver.CloseArchive();
        EXPECT_FALSE(archiver.IsOpen());
        EXPECT_EQ(archiver.ArchiveStream(), nullptr);
        EXPECT_EQ(archiver.DirManager(), nullptr);
        archiver.OpenArchive(stream, false); // freed while open: closes first
    }
    EXPECT_EQ(stream.DataString(), bytes);
}

TEST(TZipArchiver, StateAfterAFailedOpen) {
    TZipArchiver archiver(nullptr);
    TStringStream good(SmallArchive());
    archiver.OpenArchive(good, false);
    TStringStream bad(std::string(50, 'z'));
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(bad, false); }), 35);
    EXPECT_FALSE(archiver.IsOpen());
    EXPECT_NE(archiver.DirManager(), nullptr);
    archiver.CloseArchive();
    EXPECT_EQ(archiver.DirManager(), nullptr);
    EXPECT_EQ(bad.DataString(), std::string(50, 'z'));
    EXPECT_EQ(NativeErrorOf([&] { archiver.FileCount(); }), 13);
    EXPECT_EQ(NativeErrorOf([&] { archiver.ExtractToString("x"); }), 13);
}

TEST(TZipArchiver, SpanningModeRules) {
    TZipArchiver archiver(nullptr);
    TStringStream stream(SmallArchive());
    archiver.OpenArchive(stream, false);
    try {
        archiver.SetSpanningMode(smSplitting);
        FAIL() << "no error";
    } catch (const EZAException&) {
        FAIL() << "not the general exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot set spanning mode on open archive");
    }
    EXPECT_EQ(archiver.SpanningMode(), smNone);
    archiver.CloseArchive();
    archiver.SetSpanningMode(smSplitting);
    EXPECT_EQ(archiver.SpanningMode(), smSplitting);
}

TEST(TZipArchiver, CustomStreamRefusedWhileSpanningKeepsTheOpenArchive) {
    // The spanning mode cannot change while open, so the check can only be met on a closed
    // archiver; an open archive is never closed by it.
    TZipArchiver archiver(nullptr);
    archiver.SetSpanningMode(smSpanning);
    TStringStream stream(SmallArchive());
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(stream, false); }), 51);
    EXPECT_EQ(EZAException::Create(51).Message(),
              "Multi-volume archive is not allowed for custom stream - Native error: 00051");
}

TEST(TZipArchiver, FileCountRestoresRecurse) {
    OpenArchive archive(SmallArchive());
    archive.Archiver().Options().Recurse = false;
    EXPECT_EQ(archive.Archiver().FileCount(), 2);
    EXPECT_FALSE(archive.Archiver().Options().Recurse);
    OpenArchive folders(BuildZip({Folder("a/"), Folder("a/b/")}));
    EXPECT_EQ(folders.Archiver().FileCount(), 0);
    // Only folders that a search for folders finds are subtracted: a hidden one is not.
    Entry hidden = Folder("h/");
    hidden.externalAttributes = 0x12;
    OpenArchive withHidden(BuildZip({Folder("a/"), hidden}));
    EXPECT_EQ(withHidden.Archiver().FileCount(), 1);
}

TEST(TZipArchiver, CreateOverAnEmptyStreamWritesAnEmptyEndRecord) {
    TStringStream stream;
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(stream, true);
    EXPECT_TRUE(archiver.IsOpen());
    EXPECT_EQ(archiver.FileCount(), 0);
    archiver.CloseArchive();
    const std::string written = stream.DataString();
    EXPECT_EQ(written, BuildZip({}));
    TZipArchiver reader(nullptr);
    reader.OpenArchive(stream, false);
    EXPECT_EQ(reader.FileCount(), 0);
}

TEST(TZipArchiver, FileBasedOpen) {
    TempDir dir;
    TZipArchiver archiver(nullptr);
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(); }), 9);
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(uint16_t{0x40}); }), 10);
    archiver.FileName = (dir / "missing.zip").string();
    try {
        archiver.OpenArchive(uint16_t{0x40});
        FAIL();
    } catch (const EZAException& e) {
        EXPECT_EQ(e.NativeError(), 12);
        EXPECT_NE(e.Message().find("missing.zip"), std::string::npos);
    }

    const std::string bytes = SmallArchive();
    WriteFile(dir / "a.zip", bytes);
    archiver.FileName = (dir / "a.zip").string();
    archiver.OpenArchive();
    EXPECT_TRUE(archiver.IsOpen());
    EXPECT_FALSE(archiver.StreamOwnedByCaller());
    EXPECT_EQ(archiver.FileCount(), 2);
    EXPECT_EQ(archiver.ExtractToString("two.txt"), "two");
    archiver.CloseArchive();
    EXPECT_EQ(ReadFile(dir / "a.zip"), bytes); // only read: not one byte written

    archiver.SetInMemory(true);
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(uint16_t{0x40}); }), 28);
}

TEST(TZipArchiver, FileBasedOpenOfADamagedFile) {
    TempDir dir;
    WriteFile(dir / "junk.zip", std::string(300, 'j'));
    TZipArchiver archiver(nullptr);
    archiver.FileName = (dir / "junk.zip").string();
    archiver.RebuildDirOnError = false;
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(); }), 48);
    EXPECT_FALSE(archiver.IsOpen());
    EXPECT_EQ(archiver.ArchiveStream(), nullptr);
    archiver.RebuildDirOnError = true;
    EXPECT_EQ(NativeErrorOf([&] { archiver.OpenArchive(); }), 35);
}

TEST(TZipArchiver, InMemorySwitchesWhileOpen) {
    TempDir dir;
    TZipArchiver archiver(nullptr);
    archiver.SetInMemory(true);
    archiver.OpenArchive();
    EXPECT_TRUE(archiver.IsOpen());
    EXPECT_EQ(NativeErrorOf([&] { archiver.SetInMemory(false); }), 29);
    EXPECT_TRUE(archiver.InMemory());
    EXPECT_TRUE(archiver.IsOpen());
    archiver.FileName = (dir / "saved.zip").string();
    archiver.SetInMemory(false);
    EXPECT_FALSE(archiver.InMemory());
    EXPECT_TRUE(archiver.IsOpen());
    archiver.CloseArchive();
    EXPECT_EQ(ReadFile(dir / "saved.zip"), BuildZip({}));
}

namespace {

class ScriptedDialogs : public platform::IDialogs {
public:
    std::vector<std::string> answers;
    std::vector<std::string> captions;
    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override {
        captions.push_back(caption + "|" + prompt);
        if (answers.empty())
            return false;
        value = answers.front();
        answers.erase(answers.begin());
        return true;
    }
    platform::TDialogResult Ask(const std::string&, const std::string&,
                                platform::TDialogButtons) override {
        return platform::TDialogResult::Ok;
    }
};

} // namespace

TEST(TZipArchiver, DefaultDispatchersWithAndWithoutAShell) {
    TZipArchiver archiver(nullptr);
    std::string password = "old";
    bool skip = false;
    archiver.DoPassword("a.txt", password, skip);
    EXPECT_TRUE(skip); // nobody to ask
    bool cancel = true;
    archiver.DoFileProgress("a/b", 10, poExtract, ppProcess, cancel);
    EXPECT_FALSE(cancel);
    std::string volume;
    archiver.DoRequestLastVolume(volume, cancel);
    EXPECT_TRUE(cancel);
    bool confirm = false;
    archiver.DoConfirmProcessFile("x", poExtract, confirm);
    EXPECT_TRUE(confirm);

    ScriptedDialogs dialogs;
    dialogs.answers = {"secret"};
    platform::InstallDialogs(&dialogs);
    skip = false;
    archiver.DoPassword("a.txt", password, skip);
    platform::InstallDialogs(nullptr);
    EXPECT_FALSE(skip);
    EXPECT_EQ(password, "secret");
    EXPECT_EQ(dialogs.captions.at(0), "Password for \"a.txt\"|Enter password: ");

    std::string shown;
    archiver.OnFileProgress = [&](TZABaseArchiver*, const std::string& name, double,
                                  TZAProcessOperation, TZAProgressPhase, bool&) { shown = name; };
    archiver.DoFileProgress("a/b/c", 1, poExtract, ppProcess, cancel);
    EXPECT_EQ(shown, "a\\b\\c");
}
