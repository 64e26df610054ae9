// zaread: lists, tests and prints the items of a ZIP archive with the archive engine.
#include "archive/ZAConst.h"
#include "archive/ZADirManager.h"
#include "archive/ZAExcept.h"
#include "archive/ZAMethods.h"
#include "archive/ZAScopedValue.h"
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

constexpr int32_t kFilesOnly = za::kAllItemsAttr & ~za::faDirectory;

// Whether the item being extracted was offered the other form of the password already.
bool otherFormOffered = false;

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

// A line an item: name, sizes, CRC, attributes, method with its name. Built by hand: with many
// small items, parsing a format for every line is a fair share of the listing's time.
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
        line += '\t';
        line += za::MethodShown(entry.CompressionMethod);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

// The item's contents; a password of the item is asked for anew.
std::string Extracted(TZipArchiver& archiver, int32_t index) {
    otherFormOffered = false;
    return archiver.ExtractItemToString(index);
}

int Test(TZipArchiver& archiver) {
    int good = 0, bad = 0;
    TZAArchiveItem item;
    for (bool found = archiver.FindFirst("*.*", item, kFilesOnly); found;
         found = archiver.FindNext(item)) {
        const std::string name = FullName(item);
        try {
            // Into memory, as a caller extracting to a string gets it.
            Extracted(archiver, item.InternalSearchRec.DirItemIndex);
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

// Every file item a mask matches, in directory order.
std::vector<int32_t> MatchesOf(TZipArchiver& archiver, const std::string& mask) {
    std::vector<int32_t> matches;
    TZAArchiveItem item;
    for (bool found = archiver.FindFirst(mask, item, kFilesOnly); found;
         found = archiver.FindNext(item))
        matches.push_back(item.InternalSearchRec.DirItemIndex);
    return matches;
}

// The item the engine's own lookup finds for a name in the name's folder, in another letter
// case too. A folder is named with its final "/", as unzip has it: without, no item is.
std::vector<int32_t> LookedUp(TZipArchiver& archiver, const std::string& name) {
    int32_t index = -1;
    {
        za::ScopedValue<bool> sameFolderOnly(archiver.Options().Recurse, false);
        if (!archiver.FindItemByName(name, index))
            return {};
    }
    const bool folder =
        (archiver.DirManager()->Items.GetItem(index).ExternalAttributes & za::faDirectory) != 0;
    if (folder && !name.ends_with('/') && !name.ends_with('\\'))
        return {};
    return {index};
}

// The items a name means: the one stored under exactly that name, which reaches names that
// the ANSI code page cannot hold whole; else every file item it matches as a mask, in
// directory order, as unzip prints them; else the one the engine's lookup finds. A name the
// ANSI code page cannot hold whole goes no further: its lost characters would become "?",
// which matches others.
std::vector<int32_t> ItemsNamed(TZipArchiver& archiver, const std::string& name) {
    if (const int32_t stored = IndexOfStoredName(archiver, name); stored >= 0)
        return {stored};
    const std::string ansiName = platform::Utf8ToAnsi(name);
    if (platform::AnsiToUtf8(ansiName) != name)
        return {};
    if (ansiName.find_first_of("*?") != std::string::npos)
        return MatchesOf(archiver, ansiName);
    return LookedUp(archiver, ansiName);
}

int Print(TZipArchiver& archiver, const std::string& name) {
    const std::vector<int32_t> items = ItemsNamed(archiver, name);
    if (items.empty()) {
        std::cerr << name << ": not in the archive\n";
        return kNameNotFound;
    }
    bool refused = false;
    for (const int32_t index : items) {
        const std::string contents = Extracted(archiver, index);
        refused = refused || archiver.SkipCurrentFile;
        std::fwrite(contents.data(), 1, contents.size(), stdout);
    }
    if (refused) {
        std::cerr << name << ": password not accepted\n";
        return kPasswordNotAccepted;
    }
    return 0;
}

// The password as typed, UTF-8, as zip on Linux and macOS keys the cipher with it; where an
// item refuses that, its form in the ANSI code page, as Windows tools key it. Each item is
// offered the other form once, whichever passed for the item before it coming first.
void OfferPassword(TZipArchiver& archiver, const std::string& typed) {
    archiver.Password = typed;
    archiver.OnPassword = [typed,
                           ansi = platform::Utf8ToAnsi(typed)](TZABaseArchiver*, const std::string&,
                                                               std::string& password, bool& skip) {
        skip = ansi == typed || otherFormOffered;
        otherFormOffered = true;
        password = password == typed ? ansi : typed;
    };
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
        OfferPassword(archiver, password);
        archiver.OpenArchive(file, false);
        if (printing)
            return Print(archiver, args[2]);
        return args[0] == "-l" ? List(archiver) : Test(archiver);
    } catch (const std::exception& e) {
        std::cerr << platform::AnsiToUtf8(e.what()) << "\n";
        return kUsageError;
    }
}
