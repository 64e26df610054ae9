// zaread: lists, tests and prints the items of a ZIP archive with the archive engine.
#include "archive/ZAConst.h"
#include "archive/ZADirManager.h"
#include "archive/ZAExcept.h"
#include "archive/ZAStrFunc.h"
#include "archive/ZipArchiver.h"
#include "platform/CodePages.h"
#include "runtime/Streams.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// Exit statuses: an item that failed, a usage or archive error and, as unzip has them, a name
// that matches no item and a password not accepted.
constexpr int kItemFailed = 1;
constexpr int kUsageError = 2;
constexpr int kNameNotFound = 11;
constexpr int kPasswordNotAccepted = 82;

int Usage() {
    std::cerr << "usage: zaread [-P PASSWORD] -l ARCHIVE\n"
                 "       zaread [-P PASSWORD] -t ARCHIVE\n"
                 "       zaread [-P PASSWORD] -p ARCHIVE NAME\n";
    return kUsageError;
}

std::string Shown(const std::u16string& name) {
    return platform::WideToUtf8(name);
}

std::string FullName(const TZAArchiveItem& item) {
    return Shown(item.StoredPath + item.FileName);
}

// A number and the tab before it, in the base given, zeros in front up to the width.
template <class Number>
void AppendField(std::string& line, Number value, int base = 10, size_t width = 0) {
    char digits[24];
    const auto length = static_cast<size_t>(
        std::to_chars(digits, digits + sizeof digits, value, base).ptr - digits);
    line += '\t';
    line.append(width > length ? width - length : 0, '0');
    line.append(digits, length);
}

// A line an item: name, sizes, CRC, attributes, method. Built by hand: with many small
// items, parsing a format for every line is a fair share of the listing's time.
int List(TZipArchiver& archiver) {
    TZAArchiveItem item;
    std::string line;
    for (bool found = archiver.FindFirst("*.*", item, za::kAllItemsAttr); found;
         found = archiver.FindNext(item)) {
        const TDirItem& entry =
            archiver.DirManager()->Items.GetItem(item.InternalSearchRec.DirItemIndex);
        line = FullName(item);
        AppendField(line, item.UncompressedSize);
        AppendField(line, item.CompressedSize);
        AppendField(line, item.CRC, 16, 8);
        AppendField(line, item.ExternalFileAttributes, 16);
        AppendField(line, entry.CompressionMethod);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

int Test(TZipArchiver& archiver) {
    int good = 0, bad = 0;
    TZAArchiveItem item;
    constexpr int32_t kFilesOnly = za::kAllItemsAttr & ~za::faDirectory;
    for (bool found = archiver.FindFirst("*.*", item, kFilesOnly); found;
         found = archiver.FindNext(item)) {
        const std::string name = FullName(item);
        try {
            // Into memory, as a caller extracting to a string gets it.
            archiver.ExtractItemToString(item.InternalSearchRec.DirItemIndex);
            if (archiver.SkipCurrentFile) {
                std::printf("BAD %s: password not accepted\n", name.c_str());
                ++bad;
                continue;
            }
            std::printf("OK %s\n", name.c_str());
            ++good;
        } catch (const std::exception& e) {
            // One item's failure, even out of memory, is that item's alone.
            std::printf("BAD %s: %s\n", name.c_str(), platform::AnsiToUtf8(e.what()).c_str());
            ++bad;
        }
    }
    std::printf("%d items OK, %d bad\n", good, bad);
    return bad == 0 ? 0 : kItemFailed;
}

// The item stored under exactly the name, "\\" or "/" between folders; -1 when none is.
int32_t IndexOfStoredName(TZipArchiver& archiver, const std::string& utf8Name) {
    std::u16string wanted = platform::Utf8ToWide(utf8Name);
    za::ReplaceAll(wanted, u'\\', u'/');
    const TZADirArray& items = archiver.DirManager()->Items;
    for (int32_t i = items.Count() - 1; i >= 0; --i)
        if (items.GetItem(i).FileName == wanted)
            return i;
    return -1;
}

// The contents of the item a name means: the one stored under exactly that name, which
// reaches names that the ANSI code page cannot hold whole, else the one the engine's own
// lookup finds, in another letter case or by wildcards too. A name the ANSI code page cannot
// hold whole goes no further: its lost characters would become "?", which matches others.
std::optional<std::string> ContentsOf(TZipArchiver& archiver, const std::string& name) {
    if (const int32_t stored = IndexOfStoredName(archiver, name); stored >= 0)
        return archiver.ExtractItemToString(stored);
    const std::string ansiName = platform::Utf8ToAnsi(name);
    if (platform::AnsiToUtf8(ansiName) != name)
        return std::nullopt;
    try {
        return archiver.ExtractToString(ansiName);
    } catch (const EZAException& e) {
        if (e.NativeError() != za::neEntryNotFound)
            throw;
    }
    return std::nullopt;
}

int Print(TZipArchiver& archiver, const std::string& name) {
    const auto contents = ContentsOf(archiver, name);
    if (!contents) {
        std::cerr << name << ": not in the archive\n";
        return kNameNotFound;
    }
    if (archiver.SkipCurrentFile) {
        std::cerr << name << ": password not accepted\n";
        return kPasswordNotAccepted;
    }
    std::fwrite(contents->data(), 1, contents->size(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string password;
    if (args.size() >= 2 && args[0] == "-P") {
        password = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    const bool printing = args.size() == 3 && args[0] == "-p";
    if (!printing && !(args.size() == 2 && (args[0] == "-l" || args[0] == "-t")))
        return Usage();
    try {
        TFileStream file(args[1], fmOpenRead | fmShareDenyNone);
        TZipArchiver archiver(nullptr);
        archiver.Password = platform::Utf8ToAnsi(password);
        archiver.OpenArchive(file, false);
        if (printing)
            return Print(archiver, args[2]);
        return args[0] == "-l" ? List(archiver) : Test(archiver);
    } catch (const std::exception& e) {
        std::cerr << platform::AnsiToUtf8(e.what()) << "\n";
        return kUsageError;
    }
}
