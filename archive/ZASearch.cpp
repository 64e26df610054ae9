#include "ZAConst.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZAMasks.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"
#include "platform/CodePages.h"

#include <algorithm>

using namespace za;

namespace {

bool AttributesAdmitted(uint32_t itemAttributes, int32_t searchAttr) {
    return (itemAttributes & kExcludingAttributes & ~static_cast<uint32_t>(searchAttr)) == 0;
}

// Where the last component of a stored name starts, in its ANSI or its wide form: after its
// last "/", "\" or ":".
template <class Char> size_t LastComponentStart(std::basic_string_view<Char> name) {
    constexpr Char kDelimiters[] = {'/', '\\', ':'};
    const size_t last = name.find_last_of(kDelimiters, std::basic_string_view<Char>::npos, 3);
    return last == std::basic_string_view<Char>::npos ? 0 : last + 1;
}

// The folder part of a name, "\"-separated and lower-cased; a final "/" does not count.
// Cut first and copied once, as the walk of a name lookup does it for every item.
std::string LowerFolderOf(std::string_view name) {
    if (!name.empty() && name.back() == '/')
        name.remove_suffix(1);
    std::string folder(name.substr(0, LastComponentStart(name)));
    ReplaceAll(folder, '/', '\\');
    return platform::AnsiLowerCase(std::move(folder));
}

// The record's strings are assigned in place, so that a walk reuses their room.
void FillRecord(TZAArchiveItem& record, const TDirItem& item) {
    std::u16string_view name = item.FileName;
    if (!name.empty() && (name.back() == u'/' || name.back() == u'\\'))
        name.remove_suffix(1);
    const size_t nameStart = LastComponentStart(name);
    record.FileName.assign(name.substr(nameStart));
    record.StoredPath.assign(name.substr(0, nameStart));
    ReplaceAll(record.StoredPath, u'/', u'\\');
    record.CompressedSize = static_cast<int64_t>(item.FullCompressedSize());
    record.UncompressedSize = static_cast<int64_t>(item.FullUncompressedSize());
    record.CompressionRate =
        record.UncompressedSize > 0
            ? std::max(0.0, (1.0 - static_cast<double>(record.CompressedSize) /
                                       static_cast<double>(record.UncompressedSize)) *
                                100.0)
            : 100.0;
    record.Encrypted = (item.Flags & kFlagEncrypted) != 0;
    record.LastModFileDate = item.ModDate;
    record.LastModFileTime = item.ModTime;
    record.CRC = item.Crc32;
    record.ExternalFileAttributes = item.ExternalAttributes;
    record.Comment = item.Comment;
}

} // namespace

// The mask as the search holds it: without a drive unless paths keep their drives, with "/"
// between folders.
std::string TZABaseArchiver::MaskAsHeld(const std::string& mask) const {
    std::string held = mask;
    const std::string drive = ExtractFileDrive(mask);
    if (!drive.empty() && options_.StorePath != spFullPathWithDrive)
        held.erase(0, drive.size());
    ReplaceAll(held, '\\', '/');
    return held;
}

// Refused when it does not fit the record.
std::string TZABaseArchiver::PreparedMask(const std::string& mask) const {
    std::string prepared = MaskAsHeld(mask);
    if (prepared.size() >= TInternalSearchRec::kMaskCapacity)
        throw EZAException::CreateWithArgs(neFileNameTooLong, this, {prepared});
    return prepared;
}

bool TZABaseArchiver::FindFirst(const std::string& mask, TZAArchiveItem& item, int32_t searchAttr,
                                const std::string& searchTag) {
    CheckOpen();
    const std::string prepared = PreparedMask(mask);
    TInternalSearchRec& search = item.InternalSearchRec;
    std::fill(std::begin(search.FileMask), std::end(search.FileMask), '\0');
    std::copy(prepared.begin(), prepared.end(), search.FileMask);
    search.SearchTag = searchTag;
    search.UseFileMasks = false;
    search.HasWildcards = prepared.find_first_of("*?") != std::string::npos;
    search.SearchAttr = searchAttr;
    search.DirItemIndex = 0;
    return ScanForItem(item);
}

bool TZABaseArchiver::FindNext(TZAArchiveItem& item) {
    CheckOpen();
    ++item.InternalSearchRec.DirItemIndex;
    return ScanForItem(item);
}

bool TZABaseArchiver::ScanForItem(TZAArchiveItem& item) {
    const TInternalSearchRec& search = item.InternalSearchRec;
    const TZADirArray& items = dirManager_->Items;
    const bool sameFolderOnly = !options_.Recurse;
    const std::string maskFolder = sameFolderOnly ? LowerFolderOf(search.FileMask) : std::string();
    // The walk over every item by attributes alone, as a count or a listing makes it, needs
    // no name converted.
    const bool everyName =
        !sameFolderOnly && !search.UseFileMasks && MatchesEveryName(search.FileMask);
    for (int32_t i = std::max(search.DirItemIndex, 0); i < items.Count(); ++i) {
        const TDirItem& candidate = items.GetItem(i);
        if (!AttributesAdmitted(candidate.ExternalAttributes, search.SearchAttr))
            continue;
        if (!everyName) {
            const std::string storedName = platform::WideToAnsi(candidate.FileName);
            if ((sameFolderOnly && LowerFolderOf(storedName) != maskFolder) ||
                !ItemMatchesSearch(storedName, item))
                continue;
        }
        item.InternalSearchRec.DirItemIndex = i;
        FillRecord(item, candidate);
        return true;
    }
    return false;
}

// Items less the folders that a walk over every name in every folder with the directory
// attribute finds; a folder that other attributes keep from that walk counts as an item.
// Counted from the attributes alone, without filling a record for each item.
int32_t TZABaseArchiver::FileCount() {
    CheckOpen();
    const TZADirArray& items = dirManager_->Items;
    int32_t folders = 0;
    for (int32_t i = 0; i < items.Count(); ++i) {
        const uint32_t attributes = items.GetItem(i).ExternalAttributes;
        folders += AttributesAdmitted(attributes, faDirectory) && (attributes & faDirectory) != 0;
    }
    return items.Count() - folders;
}

bool TZABaseArchiver::ItemMatchesSearch(const std::string& storedName, const TZAArchiveItem& item) {
    if (item.InternalSearchRec.UseFileMasks) {
        std::string name = storedName;
        ReplaceAll(name, '/', '\\');
        bool matched = false;
        for (int32_t i = 0; i < fileMasks_.Count(); ++i) {
            if (!MatchesMask(name, fileMasks_[i]))
                continue;
            matched = true;
            for (int32_t j = 0; j < exclusionMasks_.Count(); ++j)
                if (MatchesMask(name, exclusionMasks_[j]))
                    return false;
        }
        return matched;
    }
    std::string_view name = storedName;
    if (!name.empty() && (name.back() == '\\' || name.back() == '/'))
        name.remove_suffix(1);
    const std::string_view mask = item.InternalSearchRec.FileMask;
    if (MatchesMask(name, mask))
        return true;
    // A mask without a folder matches an item in any folder by its last name component.
    return MatchesMask(name.substr(LastComponentStart(name)), mask);
}
