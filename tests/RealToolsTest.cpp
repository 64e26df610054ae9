// Archives written by real tools at test time, read back with the engine and compared with
// what Info-ZIP's unzip and Python's zipfile make of them.
#include "ArchiveFixture.h"
#include "TestTools.h"
#include "ZipWriter.h"
#include "archive/ZAAesItem.h"
#include "archive/ZADirManager.h"
#include "archive/ZAExcept.h"
#include "archive/ZALittleEndian.h"
#include "archive/ZipArchiver.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace test;

namespace {

const char* kCorpusScript = R"(
import os, random
random.seed(7)
os.makedirs('src/sub/deep', exist_ok=True)
open('src/numbers.txt', 'w').write(''.join('%d line of text\n' % i for i in range(40000)))
open('src/random.bin', 'wb').write(bytes(random.getrandbits(8) for _ in range(150000)))
open('src/empty.txt', 'wb').close()
open('src/sub/zeros.dat', 'wb').write(bytes(1500000))
open('src/sub/deep/mixed.dat', 'wb').write(b''.join(
    (b'abc' * random.randint(1, 300)) + bytes(random.getrandbits(8) for _ in range(50))
    for _ in range(800)))
# Names as a Unix file system holds them: UTF-8, and bytes of the OEM code page.
os.makedirs('names', exist_ok=True)
for name in ('中文.txt'.encode(), 'тест.txt'.encode(), b'plain.txt'):
    open(b'names/' + name, 'wb').write(name)
os.makedirs('oem-names', exist_ok=True)
open(b'oem-names/' + 'Привет.txt'.encode('cp866'), 'wb').write(b'hello')
# A lead byte of UTF-8 followed by a letter: no UTF-8, though it starts like it.
open(b'oem-names/' + 'Straße.txt'.encode('cp437'), 'wb').write(b'street')
# An archive stored inside another, with an item of the same name as the outer one's.
import zipfile
os.makedirs('nest/sub', exist_ok=True)
open('nest/readme.txt', 'w').write('the outer readme\n')
open('nest/empty.txt', 'wb').close()
with zipfile.ZipFile('nest/nested.zip', 'w') as z:
    z.writestr('readme.txt', 'the nested readme\n')
)";

const char* kPythonArchives = R"(
import io, os, zipfile
files = [os.path.join(d, f) for d, _, fs in sorted(os.walk('src')) for f in sorted(fs)]
with zipfile.ZipFile('py-deflated.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for f in files: z.write(f)
with zipfile.ZipFile('py-stored.zip', 'w', zipfile.ZIP_STORED) as z:
    for f in files: z.write(f)
with zipfile.ZipFile('py-zip64.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    for f in files:
        with open(f, 'rb') as src, z.open(f, 'w', force_zip64=True) as dst: dst.write(src.read())
with zipfile.ZipFile('py-many.zip', 'w', zipfile.ZIP_STORED) as z:
    for i in range(70000): z.writestr('many/%05d' % i, str(i))
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open('py-streamed.zip', 'wb') as out:
    with zipfile.ZipFile(Unseekable(out), 'w', zipfile.ZIP_DEFLATED) as z:
        for f in files: z.write(f)
# Zeros whose deflate output ends where an output area of the decoder fills up.
with zipfile.ZipFile('py-boundaries.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for n in (262165, 524328, 1048676): z.writestr('zeros-%d' % n, bytes(n))
# Names flagged as UTF-8, and names that differ only in letter case.
with zipfile.ZipFile('py-names.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('тест.txt', 'test in Russian')
    z.writestr('日本/名前.txt', 'a name in Japanese')
    z.writestr('中.txt', 'one name the ANSI code page cannot hold')
    z.writestr('文.txt', 'another of the same length')
    z.writestr('A.txt', 'upper case')
    z.writestr('a.txt', 'lower case')
    z.writestr('last\U0010FFFF.txt', 'the last code point')
# The longest archive comment, which puts the end record as far from the end as it goes.
with zipfile.ZipFile('py-long-comment.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('commented.txt', 'x' * 1000)
    z.infolist()[0].comment = b'item comment'
    z.comment = bytes(range(256)) * 255 + bytes(255)
# A name in the OEM code page from a system other than Unix, whose bytes are UTF-8 as well.
class OemName(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode('cp866'), self.flag_bits
with zipfile.ZipFile('py-oem-names.zip', 'w') as z:
    info = OemName('сон.txt')
    info.create_system = 0
    z.writestr(info, 'a dream')
# The directory lists an empty item first whose local header lies after another's data.
with zipfile.ZipFile('py-reordered.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('data.txt', 'data ' * 100)
    z.writestr('empty.txt', '', compress_type=zipfile.ZIP_STORED)
    z.filelist.reverse()
# Exactly as many items as 16 bits count: 0xFFFF in the end record, no Zip64 records.
with zipfile.ZipFile('py-65535.zip', 'w', zipfile.ZIP_STORED) as z:
    for i in range(65535): z.writestr('many/%05d' % i, str(i))
# More items than 16 bits count with the Zip64 records taken out: the count wraps round.
import struct
many = open('py-many.zip', 'rb').read()
end = bytearray(many[many.rfind(b'PK\x05\x06'):])
struct.pack_into('<HH', end, 8, 70000 % 65536, 70000 % 65536)
open('py-wrapped-count.zip', 'wb').write(many[:many.rfind(b'PK\x06\x06')] + end)
# A whole archive as another's comment: the end record nearest the end is the inner one's.
inner = io.BytesIO()
with zipfile.ZipFile(inner, 'w') as z:
    z.writestr('inner.txt', 'the archive in the comment')
with zipfile.ZipFile('py-archive-in-comment.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('outer.txt', 'the archive around it')
    z.comment = inner.getvalue()
# Methods that a library beside zlib decodes.
for name, method in (('py-bzip2.zip', zipfile.ZIP_BZIP2), ('py-lzma.zip', zipfile.ZIP_LZMA)):
    with zipfile.ZipFile(name, 'w', method) as z:
        for f in files: z.write(f)
)";

// Items encrypted with AES by 7-Zip, which writes them as AE-2, of each key length, deflated
// and stored: empty, small, and over a chunk; and one short item of each kind for the damage
// sweep.
const char* kSevenZipAesScript =
    "for bits in 128 192 256; do "
    "7z a -tzip -bd -pSECRET -mem=AES$bits 7z-aes$bits.zip src > /dev/null && "
    "7z a -tzip -bd -pSECRET -mem=AES$bits -mm=Copy 7z-aes$bits-stored.zip src > /dev/null; "
    "done && python3 -c \"open('short.txt', 'w').write('short ' * 8)\" && "
    "7z a -tzip -bd -pSECRET -mem=AES256 7z-aes-short.zip short.txt > /dev/null && "
    "7z a -tzip -bd -pSECRET -mem=AES128 -mm=Copy 7z-aes-short-stored.zip short.txt > /dev/null && "
    "7z a -tzip -bd -pSECRET -mem=AES256 -mm=BZip2 7z-aes256-bzip2.zip src > /dev/null && "
    "7z a -tzip -bd -pSECRET -mem=AES128 -mm=LZMA 7z-aes128-lzma.zip src > /dev/null";
const char* const kSevenZipAes[] = {
    "7z-aes128.zip", "7z-aes128-stored.zip", "7z-aes192.zip",       "7z-aes192-stored.zip",
    "7z-aes256.zip", "7z-aes256-stored.zip", "7z-aes256-bzip2.zip", "7z-aes128-lzma.zip"};

// Every item of an archive as Python's zipfile lists it: name, size, CRC, external attributes.
// A name without the UTF-8 flag is read by Python's codec of the OEM code page.
struct Listed {
    std::string name;
    uint64_t size;
    uint32_t crc;
    uint32_t attributes;
};

// The archives whose every file unzip and Python read, by the tool that wrote them: prefixes
// put in front by cat.
const char* const kInfoZipWritten[] = {"zip-default.zip",
                                       "zip-stored.zip",
                                       "zip-best.zip",
                                       "zip-piped.zip",
                                       "zip-stdin.zip",
                                       "sfx-piped.zip",
                                       "zip-zip64.zip",
                                       "sfx-zip64.zip",
                                       "sh-default.zip",
                                       "sh-folder-off.zip",
                                       "sh-commented-folder-off.zip",
                                       "zip-nested-padded.zip"};
const char* const kPythonWritten[] = {"py-deflated.zip",     "py-stored.zip",
                                      "py-zip64.zip",        "py-streamed.zip",
                                      "py-boundaries.zip",   "py-names.zip",
                                      "py-long-comment.zip", "sfx-py-zip64.zip",
                                      "py-reordered.zip",    "py-archive-in-comment.zip"};

std::vector<Listed> PythonListing(const std::filesystem::path& archive) {
    std::istringstream lines(
        RunCommand("PYTHONIOENCODING=utf-8 python3 -c \"import zipfile,sys\n"
                   "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                   "    name = i.filename\n"
                   "    if not i.flag_bits & 0x800: name = name.encode('cp437').decode('cp866')\n"
                   "    print(name, i.file_size, i.CRC, i.external_attr)\" '" +
                   archive.string() + "'"));
    std::vector<Listed> listed;
    Listed item;
    while (lines >> item.name >> item.size >> item.crc >> item.attributes)
        listed.push_back(item);
    return listed;
}

// The names the engine gives the items of an archive, in directory order.
std::vector<std::string> EngineNames(const std::string& archive) {
    OpenArchive opened(archive);
    std::vector<std::string> names;
    for (int i = 0; i < opened.Items().Count(); ++i)
        names.push_back(platform::WideToUtf8(opened.Item(i).FileName));
    return names;
}

// What Python's zipfile reads of an item, or its reason for refusing it.
std::string PythonRead(const std::string& zip, const std::string& name) {
    TempDir dir;
    WriteFile(dir / "a.zip", zip);
    return RunCommand(
        "python3 -c \"import zipfile,sys\n"
        "try: sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))\n"
        "except Exception as e: print('refused:', e)\" '" +
        (dir / "a.zip").string() + "' '" + name + "'");
}

// The names unzip lists of an archive, in directory order: a name from Unix as the bytes it is.
std::vector<std::string> UnzipNames(const std::filesystem::path& archive) {
    std::vector<std::string> names;
    std::istringstream lines(RunCommand("unzip -Z1 '" + archive.string() + "'"));
    for (std::string line; std::getline(lines, line);)
        names.push_back(line);
    return names;
}

// What unzip prints of an item; its warning about bytes in front of an archive is no failure.
std::string UnzipPrint(const std::string& archive, const std::string& name) {
    return RunCommand("unzip -p " + archive + " '" + name + "' 2>/dev/null; [ $? -le 1 ]");
}

// The tools whose extraction an archive's items are compared with.
enum class Judge { Unzip, SevenZip, Python };

// What the judge extracts of an item.
std::string JudgePrint(Judge judge, const std::filesystem::path& archive, const std::string& name,
                       const std::string& password) {
    const std::string quoted = "'" + archive.string() + "'";
    switch (judge) {
    case Judge::Unzip:
        return UnzipPrint((password.empty() ? "" : "-P " + password + " ") + quoted, name);
    case Judge::SevenZip:
        return RunCommand("7z e -so -p'" + password + "' " + quoted + " '" + name + "'");
    case Judge::Python:
        return PythonRead(ReadFile(archive), name);
    }
    return {};
}

class RealTools : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        const std::string cd = "cd '" + dir_->Path().string() + "' && ";
        WriteFile(dir_->Path() / "corpus.py", kCorpusScript);
        WriteFile(dir_->Path() / "archives.py", kPythonArchives);
        RunCommand(cd + "python3 corpus.py && python3 archives.py");
        // Zstandard and XZ, which neither Python nor Debian's libzip writes: each item
        // compressed by the format's own tool. 7-Zip refuses the XZ form of an empty file.
        const std::string toolZip = "python3 " TOOL_ZIP_PATH " ";
        RunCommand(cd + toolZip +
                   "tool-zstd.zip 93 'zstd -q -c -19' $(find src -type f | sort) && " + toolZip +
                   "tool-xz.zip 95 'xz -c -T1' $(find src -type f -size +0 | sort)");
        RunCommand(cd + "zip -q -r zip-default.zip src && zip -q -r -0 zip-stored.zip src && "
                        "zip -q -r -9 zip-best.zip src && zip -q -r -e -P secret zip-crypt.zip src"
                        " && zip -q -r - src > zip-piped.zip && "
                        "cat src/numbers.txt | zip -q zip-stdin.zip - && "
                        // A program in front of an archive whose offsets do not count it, and
                        // whose first item is followed by a data descriptor.
                        "head -c 30000 src/random.bin | cat - zip-piped.zip > sfx-piped.zip");
        // Zip64 local headers, whose sizes only the extra field holds, behind a program; a
        // script line shorter than the first item's local header.
        RunCommand(cd +
                   "zip -q -r -fz zip-zip64.zip src && "
                   "head -c 5000 src/random.bin | cat - zip-zip64.zip > sfx-zip64.zip && "
                   "head -c 5000 src/random.bin | cat - py-zip64.zip > sfx-py-zip64.zip && "
                   "printf '#!/bin/sh\\nexit 0\\n' | cat - zip-default.zip > sh-default.zip && "
                   "zip -q -r zip-unix-names.zip names && "
                   "zip -q -r zip-unix-oem-names.zip oem-names && "
                   // Passwords that zip on Linux keys the cipher with as typed, in UTF-8.
                   "zip -q -P пароль zip-pw-ru.zip src/numbers.txt && "
                   "zip -q -P pässwörd zip-pw-de.zip src/numbers.txt && "
                   "zip -q -P 密码 zip-pw-zh.zip src/numbers.txt");
        // A folder first that carries a comment; zip stores the nested archive as it is, and
        // one byte after the archive is what a padded download adds.
        RunCommand(
            cd + "zip -q -r zip-commented.zip src && "
                 "printf 'a note on the folder\\n' | zip -q -c zip-commented.zip src/ && "
                 "printf '#!/bin/sh\\nexit 0\\n' | cat - zip-commented.zip > sh-commented.zip && "
                 "(cd nest && zip -q -r ../zip-nested.zip readme.txt nested.zip empty.txt sub) && "
                 "cat zip-nested.zip > zip-nested-padded.zip && "
                 "printf '\\n' >> zip-nested-padded.zip && zip -q -r -Z bzip2 zip-bzip2.zip src");
        // The script line again, the first item's offset one off in the directory: a folder's,
        // which no extraction uses. With a comment on that folder the next central header
        // lies further on.
        for (const auto& [from, to] : {std::pair{"sh-default.zip", "sh-folder-off.zip"},
                                       {"sh-commented.zip", "sh-commented-folder-off.zip"}}) {
            std::string folderOff = ReadFile(Path(from));
            ++folderOff[folderOff.find("PK\x01\x02") + 42];
            WriteFile(Path(to), folderOff);
        }
        if (CommandAvailable("7z"))
            RunCommand(cd +
                       "7z a -tzip -bd -mx=5 7z-deflate.zip src > /dev/null && "
                       "7z a -tzip -bd -mx=0 7z-stored.zip src > /dev/null && "
                       "7z a -tzip -bd -mm=Deflate64 7z-deflate64.zip src > /dev/null && "
                       "7z a -tzip -bd -mm=PPMd 7z-ppmd.zip src/numbers.txt > /dev/null && "
                       "7z a -tzip -bd -mm=BZip2 7z-bzip2.zip src > /dev/null && "
                       "7z a -tzip -bd -mm=LZMA 7z-lzma.zip src > /dev/null && "
                       "7z a -tzip -bd -psecret -mem=AES256 -mm=PPMd 7z-aes-ppmd.zip "
                       "src/numbers.txt > /dev/null && " +
                       kSevenZipAesScript);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::filesystem::path Path(const std::string& name) { return dir_->Path() / name; }

    // Opens the archive, checks its items against Python's listing and every file's bytes
    // against what the judge extracts.
    static void CheckArchive(const std::string& name, const std::string& password = {},
                             Judge judge = Judge::Unzip) {
        SCOPED_TRACE(name);
        const auto path = Path(name);
        TFileStream file(path.string(), fmOpenRead | fmShareDenyNone);
        TZipArchiver archiver(nullptr);
        archiver.Password = password;
        archiver.OpenArchive(file, false);
        const std::vector<Listed> listed = PythonListing(path);
        const TZADirArray& items = archiver.DirManager()->Items;
        ASSERT_EQ(items.Count(), static_cast<int>(listed.size()));
        std::vector<std::string> contents;
        for (int i = 0; i < items.Count(); ++i) {
            const TDirItem& item = items.GetItem(i);
            EXPECT_EQ(platform::WideToUtf8(item.FileName), listed[i].name);
            EXPECT_EQ(item.FullUncompressedSize(), listed[i].size);
            EXPECT_EQ(item.Crc32, listed[i].crc);
            EXPECT_EQ(item.ExternalAttributes, listed[i].attributes);
            if (listed[i].name.back() == '/')
                continue;
            const std::string& expected =
                contents.emplace_back(JudgePrint(judge, path, listed[i].name, password));
            EXPECT_EQ(archiver.ExtractItemToString(i), expected) << listed[i].name;
            // By name, where the ANSI code page can hold the name.
            const std::string ansiName = platform::Utf8ToAnsi(listed[i].name);
            if (platform::AnsiToUtf8(ansiName) == listed[i].name) {
                EXPECT_EQ(archiver.ExtractToString(ansiName), expected) << listed[i].name;
            }
        }
        EXPECT_EQ(archiver.FileCount(), static_cast<int32_t>(contents.size()));
        if (password.empty())
            CheckFacade(ReadFile(path), contents);
    }

    // The facade gives each file entry, in order, the bytes unzip printed for it.
    static void CheckFacade(const std::string& bytes, const std::vector<std::string>& expected) {
        TUnZip unzip;
        unzip.LoadFromString(bytes, false);
        ASSERT_EQ(unzip.Count(), static_cast<int32_t>(expected.size()));
        for (int32_t i = 0; i < unzip.Count(); ++i) {
            std::string name, contents;
            unzip.GetEntry(i, name, contents);
            EXPECT_EQ(contents, expected[static_cast<size_t>(i)]) << name;
        }
    }

    static TempDir* dir_;
};

TempDir* RealTools::dir_ = nullptr;

std::string Zaread(const std::string& arguments) {
    return RunCommand(std::string(ZAREAD_PATH) + " " + arguments);
}

// What a command printed, then its exit status on a line of its own.
std::string OutputAndStatus(const std::string& command) {
    return RunCommand(command + " 2>/dev/null; echo \"[exit $?]\"");
}

} // namespace

TEST_F(RealTools, InfoZip) {
    for (const char* name : kInfoZipWritten)
        CheckArchive(name);
}

TEST_F(RealTools, InfoZipEncrypted) {
    CheckArchive("zip-crypt.zip", "secret");
    TFileStream file(Path("zip-crypt.zip").string(), fmOpenRead);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(file, false);
    archiver.Password = "wrong";
    std::string got = "unset";
    // A wrong password is skipped for want of anyone to ask, or, passing the one-byte check
    // by chance, fails its CRC.
    const bool failed = [&] {
        try {
            got = archiver.ExtractToString("src/numbers.txt");
            return false;
        } catch (const EZAException& e) {
            return e.NativeError() == 8;
        }
    }();
    EXPECT_TRUE(failed || got.empty());
}

TEST_F(RealTools, PythonZipfile) {
    for (const char* name : kPythonWritten)
        CheckArchive(name);
}

// Names without the UTF-8 flag: Info-ZIP's zip on Unix stores them as the file system holds
// them, UTF-8 or not; a name from another system is in the OEM code page whatever its bytes.
TEST_F(RealTools, NamesWithoutTheUtf8Flag) {
    const std::string quoted = "'" + Path("zip-unix-names.zip").string() + "'";
    // unzip shows a name from Unix as the bytes it is, here UTF-8; Python's codec of the OEM
    // code page reads the others.
    EXPECT_EQ(EngineNames(ReadFile(Path("zip-unix-names.zip"))),
              UnzipNames(Path("zip-unix-names.zip")));
    for (const char* name : {"zip-unix-oem-names.zip", "py-oem-names.zip"}) {
        std::vector<std::string> oemNames;
        for (const Listed& item : PythonListing(Path(name)))
            oemNames.push_back(item.name);
        EXPECT_EQ(EngineNames(ReadFile(Path(name))), oemNames) << name;
    }
    EXPECT_NE(Zaread("-l " + quoted).find("names\\中文.txt\t"), std::string::npos);
    EXPECT_EQ(Zaread("-p " + quoted + " names/中文.txt"), UnzipPrint(quoted, "names/中文.txt"));
}

// An end record whose directory offset is one off misleads the account of the bytes in front
// that the records give; the search for the first item's local header, whose sizes only its
// Zip64 extra field holds, still finds them. unzip judges the archive before the damage.
TEST_F(RealTools, PrefixFoundWhereTheEndRecordMisplacesTheDirectory) {
    const auto path = Path("sfx-py-zip64.zip");
    std::string bytes = ReadFile(path);
    const size_t offsetField = bytes.rfind("PK\x05\x06") + 16;
    bytes[offsetField] = static_cast<char>(bytes[offsetField] + 1);
    OpenArchive archive(bytes);
    const std::vector<Listed> listed = PythonListing(path);
    ASSERT_EQ(archive.Items().Count(), static_cast<int>(listed.size()));
    for (int i = 0; i < archive.Items().Count(); ++i)
        EXPECT_EQ(archive.Archiver().ExtractItemToString(i),
                  UnzipPrint("'" + path.string() + "'", listed[i].name))
            << listed[i].name;
}

// Every stored byte of the comment is where the end record search must still reach: a missed
// end record would fall back to the rebuild, which lists the same items without comments.
TEST_F(RealTools, EndRecordBehindTheLongestComment) {
    TFileStream file(Path("py-long-comment.zip").string(), fmOpenRead);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(file, false);
    EXPECT_EQ(archiver.DirManager()->ArchiveComment.size(), 65535u);
    EXPECT_EQ(archiver.DirManager()->Items.GetItem(0).Comment, "item comment");
}

TEST_F(RealTools, PythonZipfileWithMoreItemsThanSixteenBitsCount) {
    TFileStream file(Path("py-many.zip").string(), fmOpenRead);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(file, false);
    EXPECT_TRUE(archiver.DirManager()->IsZip64);
    EXPECT_EQ(archiver.FileCount(), 70000);
    EXPECT_EQ(archiver.ExtractToString("many/69999"), "69999");
    EXPECT_EQ(archiver.ExtractToString("MANY/12345"), "12345");
}

// A 16-bit count of exactly 65,535 items, and one that wrapped round past it where no Zip64
// records say more: Python takes every header that the directory's size holds.
TEST_F(RealTools, SixteenBitCountsAtAndPastTheirLimit) {
    for (const char* name : {"py-65535.zip", "py-wrapped-count.zip"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadFile(Path(name));
        const std::vector<Listed> listed = PythonListing(Path(name));
        OpenArchive archive(bytes);
        EXPECT_FALSE(archive.Dir().IsZip64);
        ASSERT_EQ(archive.Items().Count(), static_cast<int>(listed.size()));
        for (int i = 0; i < archive.Items().Count(); ++i) {
            ASSERT_EQ(platform::WideToUtf8(archive.Item(i).FileName), listed[i].name);
            ASSERT_EQ(archive.Item(i).ExternalAttributes, listed[i].attributes);
        }
        // The CRC that Python lists is the one extraction checks the bytes against.
        for (const int i : {65534, archive.Items().Count() - 1})
            EXPECT_EQ(Crc32Of(archive.Archiver().ExtractItemToString(i)), listed[i].crc);
    }
}

// Without an end record the directory is rebuilt from the local headers: the items unzip lists
// of the whole archive, folders and empty files told apart, names from Unix read as UTF-8, and
// the items of an archive stored inside left inside it, its end record the last one there.
TEST_F(RealTools, RebuiltDirectoryHasTheItemsUnzipListsOfTheWhole) {
    for (const char* name : {"zip-nested.zip", "zip-unix-names.zip"}) {
        const std::string quoted = "'" + Path(name).string() + "'";
        const std::vector<std::string> listed = UnzipNames(Path(name));
        const std::string whole = ReadFile(Path(name));
        const size_t directory = whole.find("PK\x01\x02", whole.rfind("PK\x03\x04"));
        // The end record cut short, and the archive cut inside its directory.
        for (const std::string& cut :
             {whole.substr(0, whole.size() - 1), whole.substr(0, directory + 10)}) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(cut.size()));
            OpenArchive rebuilt(cut);
            ASSERT_EQ(rebuilt.Dir().CentralDirStart, static_cast<int64_t>(cut.size()));
            ASSERT_EQ(EngineNames(cut), listed);
            for (int i = 0; i < rebuilt.Items().Count(); ++i) {
                const bool folder = listed[i].back() == '/';
                EXPECT_EQ((rebuilt.Item(i).ExternalAttributes & za::faDirectory) != 0, folder)
                    << listed[i];
                if (!folder) {
                    EXPECT_EQ(rebuilt.Archiver().ExtractItemToString(i),
                              UnzipPrint(quoted, listed[i]))
                        << listed[i];
                }
            }
        }
    }
    const std::string nested = ReadFile(Path("zip-nested.zip"));
    WriteFile(Path("cut-nested.zip"), nested.substr(0, nested.size() - 1));
    EXPECT_EQ(Zaread("-p '" + Path("cut-nested.zip").string() + "' readme.txt"),
              UnzipPrint("'" + Path("zip-nested.zip").string() + "'", "readme.txt"));
}

TEST_F(RealTools, SevenZip) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    CheckArchive("7z-deflate.zip");
    CheckArchive("7z-stored.zip");
    TFileStream file(Path("7z-deflate64.zip").string(), fmOpenRead);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(file, false);
    archiver.ExtractCorruptedFiles = true;
    try {
        archiver.ExtractToString("src/numbers.txt");
        FAIL() << "Deflate64 extracted";
    } catch (const EZAException& e) {
        EXPECT_EQ(e.NativeError(), 55);
    }
}

// Items of methods without a decoder here, which the tools that wrote them read back: each is
// refused by its method's name, not taken for a damaged item, through zaread and the facade.
TEST_F(RealTools, UnsupportedMethodsAreNamed) {
    struct Refused {
        const char* archive;
        const char* judge; // the writer's own test of the archive
        const char* method;
    };
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    const Refused rows[] = {{"7z-ppmd.zip", "7z t", "98 (PPMd)"},
                            {"7z-aes-ppmd.zip", "7z t -psecret", "98 (PPMd)"}};
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.archive);
        const std::string path = "'" + Path(row.archive).string() + "'";
        RunCommand(std::string(row.judge) + " " + path + " > /dev/null");
        const std::string message =
            std::string("Compression method ") + row.method + " is not supported";
        EXPECT_EQ(OutputAndStatus(ZAREAD_PATH + (" -t " + path)),
                  "BAD src\\numbers.txt: " + message +
                      " - Native error: 00063\n"
                      "0 items OK, 1 bad\n[exit 1]\n");
        TUnZip unzip;
        EXPECT_EQ(NativeErrorOf([&] { unzip.LoadFromString(ReadFile(Path(row.archive)), false); }),
                  63);
    }
}

// Methods that a library beside zlib decodes, in archives of the tools that read them back:
// every item as that tool extracts it, by index, by name and through the facade.
TEST_F(RealTools, LibraryMethods) {
    CheckArchive("py-bzip2.zip", {}, Judge::Python);
    CheckArchive("py-lzma.zip", {}, Judge::Python);
    CheckArchive("zip-bzip2.zip");
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    for (const char* name : {"7z-bzip2.zip", "7z-lzma.zip", "tool-zstd.zip", "tool-xz.zip"})
        CheckArchive(name, {}, Judge::SevenZip);
    const std::string listing = Zaread("-l '" + Path("tool-zstd.zip").string() + "'");
    EXPECT_NE(listing.find("\t93 (Zstandard)\n"), std::string::npos) << listing;
}

uint16_t Le16At(const std::string& bytes, size_t at) {
    return za::Le16(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

// What 7-Zip extracts of an item encrypted with the test's password.
std::string SevenZipPrint(const std::filesystem::path& archive, const std::string& name) {
    return RunCommand("7z e -so -pSECRET '" + archive.string() + "' '" + name + "' 2>/dev/null");
}

// Whether 7-Zip finds every item of the archive sound with the test's password.
bool SevenZipAccepts(const std::filesystem::path& archive) {
    return std::system(("7z t -pSECRET '" + archive.string() + "' > /dev/null 2>&1").c_str()) == 0;
}

// Every item encrypted with AES reads as 7-Zip extracts it, through the engine and zaread.
TEST_F(RealTools, SevenZipAes) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    for (const char* name : kSevenZipAes) {
        SCOPED_TRACE(name);
        const auto path = Path(name);
        const std::string quoted = "'" + path.string() + "'";
        TFileStream file(path.string(), fmOpenRead | fmShareDenyNone);
        TZipArchiver archiver(nullptr);
        archiver.Password = "SECRET";
        archiver.OpenArchive(file, false);
        const std::vector<Listed> listed = PythonListing(path);
        ASSERT_EQ(archiver.DirManager()->Items.Count(), static_cast<int>(listed.size()));
        for (int i = 0; i < static_cast<int>(listed.size()); ++i) {
            if (listed[i].name.back() == '/')
                continue;
            const std::string expected = SevenZipPrint(path, listed[i].name);
            EXPECT_EQ(archiver.ExtractItemToString(i), expected) << listed[i].name;
            EXPECT_EQ(Zaread("-P SECRET -p " + quoted + " '" + listed[i].name + "'"), expected)
                << listed[i].name;
        }
        EXPECT_EQ(Zaread("-P SECRET -t " + quoted).find("BAD"), std::string::npos);
    }
}

// A password missing or wrong, which 7-Zip refuses, is not accepted, as for the traditional
// cipher: zaread answers with unzip's status for it, and the engine without anyone to ask
// gives nothing.
TEST_F(RealTools, SevenZipAesRefusesAWrongPassword) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    const std::string aes = "'" + Path("7z-aes256.zip").string() + "'";
    const std::string crypt = (dir_->Path() / "refused-crypt.zip").string();
    WriteFile(crypt, BuildZip({Entry{.name = "a.txt", .data = "locked", .password = "SECRET"}}));
    for (const std::string password : {"", "wrong"}) {
        SCOPED_TRACE(password);
        EXPECT_EQ(OutputAndStatus("7z t -p'" + password + "' " + aes + " < /dev/null > /dev/null"),
                  "[exit 2]\n");
        EXPECT_EQ(
            OutputAndStatus(ZAREAD_PATH +
                            (" -P '" + password + "' -p " + aes + " src/numbers.txt")),
            OutputAndStatus(ZAREAD_PATH + (" -P '" + password + "' -p '" + crypt + "' a.txt")));
        EXPECT_NE(Zaread("-P '" + password + "' -t " + aes + "; true")
                      .find("BAD src\\numbers.txt: password not accepted"),
                  std::string::npos);
        TFileStream file(Path("7z-aes256.zip").string(), fmOpenRead);
        TZipArchiver archiver(nullptr);
        archiver.OpenArchive(file, false);
        archiver.Password = password;
        EXPECT_EQ(archiver.ExtractToString("src/numbers.txt"), "");
    }
}

// AE-1 keeps the CRC-32 and is judged by it as well as by the authentication code; AE-2,
// which 7-Zip writes, has a CRC field of 0 that says nothing. The engine reads each version
// with a CRC-32 right and wrong as 7-Zip does.
TEST_F(RealTools, SevenZipAesVersionsAndTheirCrc) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    const std::string written = ReadFile(Path("7z-aes-short.zip").string());
    const std::string contents = ReadFile(Path("short.txt"));
    const auto versioned = [&](char version, uint32_t crc) {
        std::string zip = written;
        // The extra field in the local and the central header: its id, size, version, "AE".
        const std::string extra("\x01\x99\x07\x00\x02\x00"
                                "AE",
                                8);
        for (size_t at = zip.find(extra); at != std::string::npos; at = zip.find(extra, at + 1))
            zip[at + 4] = version;
        std::string local;
        Put32(local, crc);
        zip.replace(14, 4, local);
        PatchCentral32(zip, 0, 16, crc);
        return zip;
    };
    ASSERT_EQ(EngineNames(written), std::vector<std::string>{"short.txt"});
    const std::pair<const char*, std::string> rows[] = {
        {"AE-2 as written", written},
        {"AE-2 with a CRC-32", versioned(2, Crc32Of(contents) ^ 1)},
        {"AE-1", versioned(1, Crc32Of(contents))},
        {"AE-1 with a wrong CRC-32", versioned(1, Crc32Of(contents) ^ 1)}};
    for (const auto& [name, zip] : rows) {
        SCOPED_TRACE(name);
        const auto path = dir_->Path() / "versioned.zip";
        WriteFile(path, zip);
        OpenArchive archive(zip, [](TZipArchiver& a) { a.Password = "SECRET"; });
        if (SevenZipAccepts(path)) {
            EXPECT_EQ(archive.Archiver().ExtractItemToString(0), contents);
        } else {
            EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractItemToString(0); }), 8);
        }
    }
}

// Every byte of a short item's data changed in turn, the salt, the verifier, the encrypted
// data and the authentication code: where 7-Zip refuses the item, zaread prints nothing and
// fails; where 7-Zip reads it, zaread prints the same.
TEST_F(RealTools, SevenZipAesDamageSweep) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    for (const char* name : {"7z-aes-short.zip", "7z-aes-short-stored.zip"}) {
        const std::string written = ReadFile(Path(name).string());
        const auto data = static_cast<size_t>(30 + Le16At(written, 26) + Le16At(written, 28));
        const size_t end = written.find("PK\x01\x02");
        for (size_t at = data; at < end; ++at) {
            SCOPED_TRACE(std::string(name) + ", byte " + std::to_string(at - data));
            std::string zip = written;
            zip[at] = static_cast<char>(zip[at] ^ 0x20);
            const auto path = dir_->Path() / "changed.zip";
            WriteFile(path, zip);
            const std::string printed =
                OutputAndStatus(ZAREAD_PATH + (" -P SECRET -p '" + path.string() + "' short.txt"));
            if (SevenZipAccepts(path)) {
                EXPECT_EQ(printed, SevenZipPrint(path, "short.txt") + "[exit 0]\n");
            } else {
                EXPECT_TRUE(printed.starts_with("[exit ") && printed != "[exit 0]\n") << printed;
            }
        }
    }
}

// The compressed size cut short, down to less than the salt, the verifier and the code take,
// and the data itself cut short before the directory: where 7-Zip refuses the item, it is
// damaged, not a password to ask for again.
TEST_F(RealTools, SevenZipAesCutShort) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    const std::string written = ReadFile(Path("7z-aes-short.zip").string());
    const auto size = static_cast<uint32_t>(Le16At(written, 18) | Le16At(written, 20) << 16);
    std::vector<std::string> rows;
    for (const uint32_t cut : {0u, 20u, 27u, 28u, size - 1}) {
        std::string& zip = rows.emplace_back(written);
        std::string local;
        Put32(local, cut);
        zip.replace(18, 4, local);
        PatchCentral32(zip, 0, 20, cut);
    }
    const size_t data = 30 + Le16At(written, 26) + Le16At(written, 28);
    const size_t directory = written.find("PK\x01\x02");
    std::string& dataCut =
        rows.emplace_back(written.substr(0, data + 10) + written.substr(directory));
    std::string offset;
    Put32(offset, static_cast<uint32_t>(data + 10));
    dataCut.replace(dataCut.rfind("PK\x05\x06") + 16, 4, offset);
    for (const std::string& zip : rows) {
        SCOPED_TRACE(&zip - rows.data());
        const auto path = dir_->Path() / "cut.zip";
        WriteFile(path, zip);
        EXPECT_FALSE(SevenZipAccepts(path));
        EXPECT_EQ(Zaread("-P SECRET -t '" + path.string() + "'; true"),
                  "BAD short.txt: Invalid size or check sum of file or unsupported compression "
                  "format - Native error: 00008\n0 items OK, 1 bad\n");
    }
}

// The cipher decrypts pieces of any length, not only whole blocks, and its authentication
// code is that of 7-Zip's encrypted bytes.
TEST_F(RealTools, SevenZipAesDecryptsInPiecesOfAnyLength) {
    if (!CommandAvailable("7z"))
        GTEST_SKIP() << "7z is not installed";
    const std::string zip = ReadFile(Path("7z-aes256-stored.zip").string());
    OpenArchive archive(zip);
    int32_t index = -1;
    ASSERT_TRUE(archive.Archiver().FindItemByName("src/random.bin", index));
    const TDirItem& item = archive.Item(index);
    const size_t header = item.LocalHeaderOffset;
    const std::string_view data = std::string_view(zip).substr(
        header + 30 + Le16At(zip, header + 26) + Le16At(zip, header + 28), item.CompressedSize);
    const std::string_view salt = data.substr(0, 16);
    const auto* verifier = reinterpret_cast<const unsigned char*>(data.data() + 16);
    std::string encrypted(data.substr(18, data.size() - 28));
    const auto* code = reinterpret_cast<const unsigned char*>(data.data() + data.size() - 10);
    za::TZAAesDecryptor decryptor("SECRET", salt, 32);
    ASSERT_TRUE(decryptor.Verifies(verifier));
    auto* bytes = reinterpret_cast<unsigned char*>(encrypted.data());
    for (size_t at = 0, piece = 1; at < encrypted.size(); at += piece, piece = piece * 3 + 1)
        decryptor.Decrypt(bytes + at, std::min(piece, encrypted.size() - at));
    EXPECT_EQ(encrypted, ReadFile(Path("src/random.bin")));
    EXPECT_TRUE(decryptor.Authenticates(code));
}

TEST_F(RealTools, ZareadTestsListsAndPrintsLikeUnzip) {
    std::vector<std::string> archives(std::begin(kInfoZipWritten), std::end(kInfoZipWritten));
    archives.insert(archives.end(), std::begin(kPythonWritten), std::end(kPythonWritten));
    if (CommandAvailable("7z"))
        archives.insert(archives.end(), {"7z-deflate.zip", "7z-stored.zip"});
    for (const std::string& name : archives) {
        SCOPED_TRACE(name);
        const std::string path = "'" + Path(name).string() + "'";
        const std::string report = Zaread("-t " + path);
        EXPECT_EQ(report.find("BAD"), std::string::npos) << report;
        for (const Listed& item : PythonListing(Path(name))) {
            if (item.name.back() == '/')
                continue;
            EXPECT_EQ(Zaread("-p " + path + " '" + item.name + "'"), UnzipPrint(path, item.name))
                << item.name;
        }
    }
    const std::string crypt = "'" + Path("zip-crypt.zip").string() + "'";
    EXPECT_EQ(Zaread("-P secret -t " + crypt).find("BAD"), std::string::npos);
    EXPECT_EQ(Zaread("-P secret -p " + crypt + " src/numbers.txt"),
              ReadFile(Path("src/numbers.txt")));
    const std::string listing = Zaread("-l '" + Path("zip-stored.zip").string() + "'");
    EXPECT_NE(listing.find("src\\numbers.txt\t"), std::string::npos);
    EXPECT_NE(listing.find("\t0 (Stored)\n"), std::string::npos);
    const std::string names = Zaread("-l '" + Path("py-names.zip").string() + "'");
    EXPECT_NE(names.find("\n日本\\名前.txt\t"), std::string::npos) << names;
}

TEST_F(RealTools, ZareadReportsFailuresInItsExitStatus) {
    const std::string damaged = (dir_->Path() / "damaged.zip").string();
    std::string bytes = ReadFile(Path("zip-stored.zip"));
    const size_t at = bytes.find("17 line of text");
    bytes[at] = 'X';
    WriteFile(damaged, bytes);
    EXPECT_NE(std::system((std::string(ZAREAD_PATH) + " -t '" + damaged + "' > /dev/null").c_str()),
              0);
    EXPECT_NE(std::system((std::string(ZAREAD_PATH) + " -l /nonexistent 2>/dev/null").c_str()), 0);
    // A name no item has, names the ANSI code page cannot hold whole, a password missing or
    // wrong: unzip refuses each with its status, and zaread prints nothing and exits alike. The
    // archive's encryption header is fixed, and neither password passes its check byte.
    const std::string names = "'" + Path("py-names.zip").string() + "' ";
    const std::string crypt = (dir_->Path() / "fixed-crypt.zip").string();
    WriteFile(crypt, BuildZip({Entry{.name = "a.txt", .data = "locked", .password = "secret"}}));
    const std::pair<std::string, int> refusals[] = {{"-p " + names + "missing.txt", 11},
                                                    {"-p " + names + "'字.txt'", 11},
                                                    {"-p " + names + "'ä.txt'", 11},
                                                    {"-P '' -p '" + crypt + "' a.txt", 82},
                                                    {"-P wrong -p '" + crypt + "' a.txt", 82}};
    for (const auto& [arguments, status] : refusals) {
        SCOPED_TRACE(arguments);
        const std::string judged = OutputAndStatus("unzip " + arguments);
        EXPECT_EQ(judged, "[exit " + std::to_string(status) + "]\n");
        EXPECT_EQ(OutputAndStatus(ZAREAD_PATH + (" " + arguments)), judged);
    }
}

// What zaread -p prints and answers, as unzip does: a folder named without its final "/" is
// no item, a mask prints every file item it matches in directory order, and a password typed
// in UTF-8 opens an item keyed with those bytes, as zip on Linux keys it, or with its ANSI
// form, as Windows tools key it.
TEST_F(RealTools, ZareadPrintsWhatUnzipPrints) {
    const std::string stored = "'" + Path("zip-stored.zip").string() + "' ";
    const std::string ansiKeyed = (dir_->Path() / "ansi-keyed.zip").string();
    const std::string ansiPassword = platform::Utf8ToAnsi("пароль");
    WriteFile(ansiKeyed,
              BuildZip({Entry{.name = "a.txt", .data = "locked", .password = ansiPassword}}));
    const std::pair<std::string, std::string> rows[] = {
        {"-p " + stored + "src", ""},
        {"-p " + stored + "src/sub", ""},
        {"-p " + stored + "src/", ""},
        {"-p " + stored + "'src/*.txt'", ""},
        {"-p " + stored + "'*.dat'", ""},
        {"-p " + stored + "'src/*/*'", ""},
        {"-P пароль -p '" + Path("zip-pw-ru.zip").string() + "' src/numbers.txt", ""},
        {"-P pässwörd -p '" + Path("zip-pw-de.zip").string() + "' src/numbers.txt", ""},
        {"-P 密码 -p '" + Path("zip-pw-zh.zip").string() + "' src/numbers.txt", ""},
        {"-P пароль -p '" + ansiKeyed + "' a.txt",
         "-P '" + ansiPassword + "' -p '" + ansiKeyed + "' a.txt"}};
    for (const auto& [arguments, unzipArguments] : rows) {
        SCOPED_TRACE(arguments);
        const std::string judged =
            OutputAndStatus("unzip " + (unzipArguments.empty() ? arguments : unzipArguments));
        EXPECT_EQ(OutputAndStatus(ZAREAD_PATH + (" " + arguments)), judged);
    }
}

// Archives built byte by byte for what the tools do not write, each checked with unzip or
// Python first.
namespace {

// Whether unzip finds the archive sound; a warning about bytes in front of it is no failure.
bool UnzipAccepts(const std::string& zip) {
    TempDir dir;
    WriteFile(dir / "a.zip", zip);
    return std::system(
               ("unzip -tq '" + (dir / "a.zip").string() + "' >/dev/null 2>&1; [ $? -le 1 ]")
                   .c_str()) == 0;
}

} // namespace

TEST(CraftedArchives, EmptyZip64ArchiveOpens) {
    const std::string zip = BuildZip({}, {.zip64EndRecords = true});
    ASSERT_EQ(zip.size(), 56u + 20 + 22);
    TempDir dir;
    WriteFile(dir / "a.zip", zip);
    EXPECT_EQ(RunCommand("python3 -c \"import zipfile,sys; print(len(zipfile.ZipFile(sys.argv[1])."
                         "infolist()))\" '" +
                         (dir / "a.zip").string() + "'"),
              "0\n");
    OpenArchive archive(zip);
    EXPECT_TRUE(archive.Dir().IsZip64);
    EXPECT_EQ(archive.Items().Count(), 0);
}

// Zip64 end records behind a stub that the offsets do not count. With an end record that
// defers both disk numbers to them, the one volume is number 0, so the stub is looked for;
// with one that counts no items, the Zip64 record's count holds. Python reads both.
// Items with empty names take no name from each other and leave the rest readable, as Python's
// zipfile reads them; the rebuild from the local headers alone meets the same names.
TEST(CraftedArchives, EmptyNamesLeaveEveryItemReadable) {
    const std::string bytes =
        BuildZip({Entry{.name = "", .data = "one"}, Entry{.name = "", .data = "two"},
                  Entry{.name = "a.txt", .data = "three"}});
    TempDir dir;
    WriteFile(dir / "empty-names.zip", bytes);
    const std::string python =
        RunCommand("python3 -c \"import zipfile,sys\nz = zipfile.ZipFile(sys.argv[1])\n"
                   "print(*(z.read(i).decode() for i in z.infolist()))\" '" +
                   (dir / "empty-names.zip").string() + "'");
    for (const std::string& archive : {bytes, bytes.substr(0, bytes.find("PK\x01\x02"))}) {
        OpenArchive opened(archive);
        std::string contents;
        for (int32_t i = 0; i < opened.Items().Count(); ++i)
            contents += (i ? " " : "") + opened.Archiver().ExtractItemToString(i);
        EXPECT_EQ(contents + "\n", python) << archive.size();
    }
}

// Bytes between the items and the directory that its offset does not count: the records then
// tell of bytes in front, and the local header they put a.txt at is b.txt's, which Python
// refuses to take for a.txt. A header under another name confirms nothing; each item is read
// where its offset says.
TEST(CraftedArchives, AnotherItemsHeaderConfirmsNoPrefix) {
    std::string zip = BuildZip({Entry{.name = "a.txt", .data = "first", .method = 0},
                                Entry{.name = "b.txt", .data = "second", .method = 0}});
    const size_t firstRecord = zip.find("PK\x03\x04", 1);
    zip.insert(zip.find("PK\x01\x02"), std::string(firstRecord, 'J'));
    EXPECT_NE(PythonRead(zip, "a.txt").find("differ"), std::string::npos);
    OpenArchive archive(zip);
    EXPECT_EQ(archive.Archiver().ExtractToString("a.txt"), "first");
    EXPECT_EQ(archive.Archiver().ExtractToString("b.txt"), "second");
}

// Bytes in front of the archive are found and every item read, however the end records and
// the items' offsets count them: the first item's header offset then counts them too. Python
// and unzip judge the archive where the offsets agree on the bytes in front; where they do
// not, both read at the wrong place.
struct StubbedArchive {
    const char* name;
    std::vector<Entry> entries;
    Layout layout;
    bool zip64 = false;
    bool pythonReads = true;
    bool unzipReads = true; // unzip takes no Zip64 end record with a count of 0 in the other
};

TEST(CraftedArchives, StubInFrontIsFound) {
    const std::vector<Entry> two = {{.name = "a.txt", .data = "first"},
                                    {.name = "b.txt", .data = "second"}};
    // A first item followed by a data descriptor has zeros for its CRC and sizes in the local
    // header.
    const std::vector<Entry> described = {
        {.name = "a.txt", .data = "described", .dataDescriptor = true},
        {.name = "b.txt", .data = "plain"}};
    const std::string stub(5000, 'S');
    const StubbedArchive rows[] = {
        {"offsets that count a stub with a header in it",
         two,
         {.stub = "MZ..." + std::string("PK\x03\x04", 4) + " fake header in the stub",
          .offsetsIncludeStub = true}},
        {"Zip64, 0xFFFF disk numbers",
         two,
         {.stub = stub, .zip64EndRecords = true, .zip64DiskNumbers = true},
         true},
        {"Zip64, no count in the end record",
         two,
         {.stub = stub, .zip64EndRecords = true, .totalEntries = 0},
         true,
         true,
         false},
        {"a data descriptor", described, {.stub = stub}},
        // the search for the first item's header
        {"a data descriptor, the directory offset counting the stub",
         described,
         {.stub = stub, .directoryOffsetIncludesStub = true},
         false,
         false,
         false},
    };
    for (const StubbedArchive& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string zip = BuildZip(row.entries, row.layout);
        OpenArchive archive(zip);
        EXPECT_EQ(archive.Dir().IsZip64, row.zip64);
        EXPECT_EQ(archive.Dir().StubSize, static_cast<int64_t>(row.layout.stub.size()));
        EXPECT_EQ(archive.Item(0).LocalHeaderOffset, row.layout.stub.size());
        EXPECT_TRUE(!row.unzipReads || UnzipAccepts(zip));
        for (const Entry& entry : row.entries) {
            EXPECT_EQ(archive.Archiver().ExtractToString(entry.name), entry.data);
            if (row.pythonReads) {
                EXPECT_EQ(PythonRead(zip, entry.name), entry.data) << entry.name;
            }
        }
    }
}

// A writer may saturate one size alone in a Zip64 local header, the extra field holding it:
// the first item's header is still known for its own where the end record misplaces the
// directory, and the bytes in front are found. Python reads the archive whose end record
// places the directory right.
TEST(CraftedArchives, FirstLocalHeaderSaturatingOneSizeShowsTheBytesInFront) {
    const std::string data = "the first item, its size in the Zip64 extra field";
    std::string zip64;
    Put16(zip64, 0x0001);
    Put16(zip64, 8);
    Put64(zip64, data.size());
    const std::vector<Entry> entries = {{.name = "a.txt", .data = data, .localExtra = zip64},
                                        {.name = "b.txt", .data = "second"}};
    const std::string stub(5000, 'S');
    const auto built = [&](bool misplaced) {
        std::string zip =
            BuildZip(entries, {.stub = stub, .directoryOffsetIncludesStub = misplaced});
        zip.replace(stub.size() + 22, 4, "\xFF\xFF\xFF\xFF"); // the uncompressed size
        return zip;
    };
    const std::string placed = built(false);
    OpenArchive archive(built(true));
    EXPECT_EQ(archive.Dir().StubSize, static_cast<int64_t>(stub.size()));
    for (const Entry& entry : entries)
        EXPECT_EQ(archive.Archiver().ExtractToString(entry.name), PythonRead(placed, entry.name));
}

// A Unicode path entry names the item when it is of version 1 and was written for exactly the
// stored name bytes; unzip, which reads such entries too, is the judge.
struct UnicodePathCase {
    bool crcMatches;
    char version;
    bool behindATimeStamp = false; // another entry first, as zip writes one
};

class UnicodePathEntry : public ::testing::TestWithParam<UnicodePathCase> {};

TEST_P(UnicodePathEntry, NamesTheItemWhenItsVersionAndCrcMatch) {
    const std::string stored = "old.txt";
    const std::string unicode = "новый.txt";
    std::string extra;
    if (GetParam().behindATimeStamp) {
        Put16(extra, 0x5455);
        Put16(extra, 5);
        extra += std::string("\x01\x00\x00\x00\x00", 5);
    }
    Put16(extra, 0x7075);
    Put16(extra, static_cast<uint16_t>(5 + unicode.size()));
    extra += GetParam().version;
    Put32(extra, Crc32Of(GetParam().crcMatches ? stored : stored + "!"));
    extra += unicode;
    const std::string zip = BuildZip(
        {Entry{.name = stored, .data = "renamed", .localExtra = extra, .centralExtra = extra}});
    TempDir dir;
    WriteFile(dir / "a.zip", zip);
    const std::string expected =
        GetParam().crcMatches && GetParam().version == 1 ? unicode : stored;
    // unzip spells out a name it cannot print in the locale, as in a bare environment.
    EXPECT_EQ(RunCommand("LC_ALL=C.UTF-8 unzip -Z1 '" + (dir / "a.zip").string() + "'"),
              expected + "\n");
    OpenArchive archive(zip);
    EXPECT_EQ(platform::WideToUtf8(archive.Item(0).FileName), expected);
    EXPECT_EQ(archive.Archiver().ExtractToString(platform::Utf8ToAnsi(expected)), "renamed");
    // A directory rebuilt from the local header names the item the same way.
    OpenArchive rebuilt(zip.substr(0, zip.size() - 1));
    EXPECT_EQ(platform::WideToUtf8(rebuilt.Item(0).FileName), expected);
}

INSTANTIATE_TEST_SUITE_P(CrcAndVersion, UnicodePathEntry,
                         ::testing::Values(UnicodePathCase{true, 1}, UnicodePathCase{false, 1},
                                           UnicodePathCase{true, 2},
                                           UnicodePathCase{true, 1, true}));

// Overlapping items, judged by unzip's test and Python's reading.
namespace {

// One item and `count` - 1 more central headers that point at its local header under names
// of the same length; `sameName` keeps the first item's name for all of them.
std::string SharedHeaderArchive(int count, bool sameName) {
    const Entry first{.name = "b0000", .data = std::string(1 << 20, '\0')};
    std::string zip = BuildZip({first});
    const size_t central = zip.find("PK\x01\x02");
    const size_t end = zip.rfind("PK\x05\x06");
    const std::string header = zip.substr(central, end - central);
    std::string record = zip.substr(end);
    zip.resize(end);
    for (int i = 1; i < count; ++i) {
        std::string copy = header;
        if (!sameName)
            copy.replace(46, 5,
                         "b" + std::string(4 - std::to_string(i).size(), '0') + std::to_string(i));
        zip += copy;
    }
    std::string counts;
    Put16(counts, static_cast<uint16_t>(count));
    Put16(counts, static_cast<uint16_t>(count));
    Put32(counts, static_cast<uint32_t>(header.size() * static_cast<size_t>(count)));
    record.replace(8, 8, counts);
    return zip + record;
}

int UnzipTestStatus(const std::string& zip) {
    TempDir dir;
    WriteFile(dir / "a.zip", zip);
    const int status =
        std::system(("unzip -tq '" + (dir / "a.zip").string() + "' >/dev/null 2>&1").c_str());
    return WEXITSTATUS(status);
}

} // namespace

// Central headers that share one local header decode its few bytes again for each of them:
// 1,000 of them over 1 KiB made the facade keep a gigabyte. unzip refuses such an archive
// (status 12, "overlapped components"), Python an item whose local header names another. The
// first item stays readable; the others are refused, whatever ExtractCorruptedFiles says.
TEST(EngineFaults, ItemsSharingALocalHeaderAreRefused) {
    for (bool sameName : {false, true}) {
        SCOPED_TRACE(sameName ? "one name" : "names of their own");
        const std::string zip = SharedHeaderArchive(1000, sameName);
        EXPECT_EQ(UnzipTestStatus(zip), 12);
        OpenArchive archive(zip, [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
        ASSERT_EQ(archive.Items().Count(), 1000);
        EXPECT_EQ(archive.Archiver().ExtractItemToString(0), std::string(1 << 20, '\0'));
        EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractItemToString(999); }),
                  sameName ? 64 : 65);
        TUnZip unzip;
        EXPECT_EQ(NativeErrorOf([&] { unzip.LoadFromString(zip, false); }), sameName ? 64 : 65);
    }
    TempDir dir;
    WriteFile(dir / "a.zip", SharedHeaderArchive(2, false));
    EXPECT_NE(RunCommand("python3 -c \"import zipfile,sys\n"
                         "try: zipfile.ZipFile(sys.argv[1]).read('b0001')\n"
                         "except Exception as e: print('refused:', e)\" '" +
                         (dir / "a.zip").string() + "'")
                  .find("refused: File name in directory 'b0001' and header b'b0000' differ"),
              std::string::npos);
}

// An item whose compressed size, in both its headers, runs over the next item's local header:
// unzip refuses the archive, and the item is refused while the next one stays readable.
TEST(EngineFaults, ItemRunningIntoTheNextIsRefused) {
    std::string zip = BuildZip({Entry{.name = "a.txt", .data = "first", .method = 0},
                                Entry{.name = "b.txt", .data = "second", .method = 0}});
    const uint32_t intoTheNext = 5 + 30 + 5 + 1;
    PatchCentral32(zip, 0, 20, intoTheNext);
    std::string local;
    Put32(local, intoTheNext);
    zip.replace(18, 4, local);
    EXPECT_EQ(UnzipTestStatus(zip), 12);
    OpenArchive archive(zip, [](TZipArchiver& a) { a.ExtractCorruptedFiles = true; });
    EXPECT_EQ(NativeErrorOf([&] { archive.Archiver().ExtractToString("a.txt"); }), 64);
    EXPECT_EQ(archive.Archiver().ExtractToString("b.txt"), "second");
}

namespace {

// A method that a library beside zlib decodes, and the outside tool that compresses data as
// ZIP stores it in that method: LZMA with ZIP's header before it, as Python's zipfile writes.
struct LibraryMethod {
    const char* name;
    uint16_t method;
    const char* compressor; // reads standard input, writes standard output
};

const LibraryMethod kLibraryMethods[] = {
    {"bzip2", 12, "bzip2 -c"},
    {"LZMA", 14,
     "python3 -c \"import lzma, struct, sys\n"
     "props = lzma._encode_filter_properties({'id': lzma.FILTER_LZMA1})\n"
     "filters = [lzma._decode_filter_properties(lzma.FILTER_LZMA1, props)]\n"
     "packer = lzma.LZMACompressor(lzma.FORMAT_RAW, filters=filters)\n"
     "data = sys.stdin.buffer.read()\n"
     "sys.stdout.buffer.write(struct.pack('<BBH', 9, 4, len(props)) + props +"
     " packer.compress(data) + packer.flush())\""},
    {"XZ", 95, "xz -c -T1"},
    {"Zstandard", 93, "zstd -q -c"},
};

void PrintTo(const LibraryMethod& method, std::ostream* out) {
    *out << method.name;
}

// Text with some randomness in it, so that every method finds something to do.
std::string Sample() {
    std::string text;
    for (uint32_t line = 0; text.size() < 300000; ++line)
        text += std::to_string(line * 2654435761u % 1000003) + " entry of a revocation list\n";
    return text;
}

// The item as a string result gets it, from the archive in memory a chunk at a time and whole
// where the decoder may, and as a stream outside memory gets it, from the archive in a file:
// the error, and the bytes of a sound result.
std::pair<std::string, std::string> ExtractedEveryWay(const std::string& zip,
                                                      const std::filesystem::path& file) {
    OpenArchive memory(zip);
    const ExtractionOutcome inMemory = ExtractedWithRoom(memory.Archiver(), 0, false);
    const ExtractionOutcome whole = ExtractedWithRoom(memory.Archiver(), 0, true);
    EXPECT_TRUE(whole == inMemory) << "whole: " << whole.error << ", " << whole.bytes.size()
                                   << " bytes; a chunk at a time: " << inMemory.error << ", "
                                   << inMemory.bytes.size() << " bytes";
    WriteFile(file, zip);
    TFileStream archive(file.string(), fmOpenRead);
    TZipArchiver archiver(nullptr);
    archiver.OpenArchive(archive, false);
    AppendingStream appended;
    std::string error;
    try {
        archiver.ExtractItemToStream(0, appended);
    } catch (const Exception& e) {
        error = e.Message();
    }
    // What a failed item left in a stream is not taken back; a memory stream's result goes.
    EXPECT_EQ(error, inMemory.error);
    if (error.empty()) {
        EXPECT_TRUE(appended.bytes == inMemory.bytes)
            << appended.bytes.size() << " bytes appended, " << inMemory.bytes.size()
            << " in memory";
    }
    return {inMemory.error, inMemory.bytes};
}

class LibraryMethodDamage : public ::testing::TestWithParam<LibraryMethod> {};

} // namespace

// Truncations, single-byte changes and lies about the size or CRC of an item in each method:
// a clean failure, or the right bytes, and the same on every path; never other bytes as
// success.
TEST_P(LibraryMethodDamage, CleanFailureOrTheRightBytes) {
    const LibraryMethod& method = GetParam();
    TempDir dir;
    const std::string data = Sample();
    const auto compressed = [&](const std::string& bytes) {
        WriteFile(dir / "data", bytes);
        return RunCommand(std::string(method.compressor) + " < '" + (dir / "data").string() + "'");
    };
    const std::string packed = compressed(data);
    const Entry sound{.name = "item", .data = data, .method = method.method, .payload = packed};
    std::vector<std::pair<std::string, Entry>> damaged;
    for (const size_t length :
         {size_t{0}, size_t{1}, size_t{5}, size_t{9}, size_t{13}, packed.size() / 3,
          packed.size() / 2, packed.size() - 10, packed.size() - 1}) {
        Entry cut = sound;
        cut.payload = packed.substr(0, length);
        damaged.emplace_back("cut to " + std::to_string(length), cut);
    }
    for (const size_t at : {size_t{0}, size_t{2}, size_t{4}, size_t{6}, size_t{8}, size_t{12},
                            size_t{20}, packed.size() / 4, packed.size() / 2, packed.size() * 3 / 4,
                            packed.size() - 12, packed.size() - 4, packed.size() - 1}) {
        for (const char change : {'\x01', '\x80'}) {
            Entry changed = sound;
            (*changed.payload)[at] ^= change;
            damaged.emplace_back(
                "byte " + std::to_string(at) + " ^ " + std::to_string(change & 0xFF), changed);
        }
    }
    Entry shortSize = sound, longSize = sound, wrongCrc = sound;
    shortSize.centralUncompressed = static_cast<uint32_t>(data.size() - 1);
    longSize.centralUncompressed = static_cast<uint32_t>(data.size() + 1);
    wrongCrc.centralCrc = Crc32Of(data) ^ 1;
    damaged.insert(damaged.end(), {{"declared one byte short", shortSize},
                                   {"declared one byte more", longSize},
                                   {"wrong CRC", wrongCrc}});
    // Data after the stream's end is not read; a second stream with the rest of the item is
    // such data, whole or a chunk at a time.
    Entry trailing = sound, twoStreams = sound;
    trailing.payload = packed + "trailing bytes";
    twoStreams.payload =
        compressed(data.substr(0, data.size() / 2)) + compressed(data.substr(data.size() / 2));
    damaged.insert(damaged.end(),
                   {{"bytes after the stream's end", trailing}, {"two streams", twoStreams}});

    const auto [error, bytes] = ExtractedEveryWay(BuildZip({sound}), dir / "a.zip");
    EXPECT_EQ(error, "");
    EXPECT_EQ(bytes, data);
    // Zstandard decodes whole, the others a chunk at a time, where their libraries are fastest.
    OpenArchive whole(BuildZip({sound}));
    ExtractedWithRoom(whole.Archiver(), 0, true);
    EXPECT_EQ(whole.Archiver().ItemsDecodedWhole, method.method == 93 ? 1 : 0);
    for (const auto& [what, entry] : damaged) {
        SCOPED_TRACE(what);
        const auto [damageError, damageBytes] = ExtractedEveryWay(BuildZip({entry}), dir / "a.zip");
        if (damageError.empty())
            EXPECT_TRUE(damageBytes == data) << damageBytes.size() << " bytes";
        else
            EXPECT_TRUE(damageError.ends_with("Native error: 00008")) << damageError;
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, LibraryMethodDamage, ::testing::ValuesIn(kLibraryMethods),
                         [](const auto& info) { return std::string(info.param.name); });
