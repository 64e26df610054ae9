#include "uzip.h"

#include "archive/ZAConst.h"
#include "archive/ZipArchiver.h"
#include "platform/CodePages.h"
#include "runtime/Exception.h"

#include <algorithm>

namespace {

// Every item but folders.
constexpr auto kFileItems = static_cast<int32_t>(za::faReadOnly | za::faHidden | za::faSysFile |
                                                 za::faVolumeID | za::faArchive);

void CreateOrClear(std::unique_ptr<TStringList>& list, int32_t capacity) {
    if (list)
        list->Clear();
    else
        list = std::make_unique<TStringList>();
    list->SetCapacity(capacity);
}

} // namespace

void TReadMemoryStream::AttachMemory(const void* memory, int64_t size) {
    SetPointer(static_cast<const char*>(memory), size);
    Seek(0, TSeekOrigin::soBeginning);
}

int64_t TReadMemoryStream::Write(const void*, int64_t) {
    return 0;
}

// The memory belongs to the caller; its size is not ours to change.
void TReadMemoryStream::SetSize(int64_t) {
    throw EWriteError();
}

TUnZip::TUnZip() = default;
TUnZip::~TUnZip() = default;

void TUnZip::LoadFromString(const std::string& bytes, bool namesOnly) {
    archiver_.reset();
    stream_.reset();
    stream_ = std::make_unique<TReadMemoryStream>();
    stream_->AttachMemory(bytes.data(), static_cast<int64_t>(bytes.size()));
    archiver_ = std::make_unique<TZipArchiver>(nullptr);
    archiver_->SetInMemory(true);
    archiver_->ExtractCorruptedFiles = true;
    archiver_->OpenArchive(*stream_, false);
    const int32_t n = archiver_->FileCount();
    CreateOrClear(names_, n);
    CreateOrClear(contents_, n);
    TZAArchiveItem item;
    std::u16string path; // one buffer for every item's path
    for (bool found = archiver_->FindFirst("*.*", item, kFileItems); found;
         found = archiver_->FindNext(item)) {
        // By the item itself: a name lookup could answer for another item whose name
        // differs only in letter case, or in letters the ANSI code page lacks.
        if (!namesOnly)
            contents_->Add(archiver_->ExtractItemToString(item.InternalSearchRec.DirItemIndex));
        names_->Add(platform::WideToAnsi(path.assign(item.StoredPath).append(item.FileName)));
    }
    archiver_->CloseArchive();
    archiver_.reset();
    stream_.reset();
}

int32_t TUnZip::Count() const {
    return names_ ? names_->Count() : 0;
}

void TUnZip::GetEntry(int32_t index, std::string& name, std::string& contents) const {
    if (!contents_ || index < 0 || index >= contents_->Count())
        return;
    name = (*names_)[index];
    contents = (*contents_)[index];
}
