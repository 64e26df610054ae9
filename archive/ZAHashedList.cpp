#include "ZAHashedList.h"

#include "platform/CodePages.h"

#include <algorithm>
#include <bit>

TZAStringHash::TZAStringHash(uint32_t size) : size_(size), buckets_(size, kNone) {}

uint32_t TZAStringHash::HashOf(const std::string& key) const {
    uint32_t h = 0;
    for (unsigned char b : key)
        h = std::rotl(h, 2) ^ b;
    return h;
}

void TZAStringHash::Add(const std::string& key, int32_t value) {
    int32_t& head = buckets_[static_cast<size_t>(Bucket(key))];
    int32_t entry;
    if (freeEntries_.empty()) {
        entry = static_cast<int32_t>(pool_.size());
        pool_.push_back({head, key, value});
    } else {
        entry = freeEntries_.back();
        freeEntries_.pop_back();
        pool_[static_cast<size_t>(entry)] = {head, key, value};
    }
    head = entry;
}

void TZAStringHash::Remove(const std::string& key) {
    int32_t* link = Find(key);
    if (*link == kNone)
        return;
    const int32_t entry = *link;
    THashItem& item = pool_[static_cast<size_t>(entry)];
    *link = item.Next;
    item.Key.clear();
    freeEntries_.push_back(entry);
}

int32_t TZAStringHash::ValueOf(const std::string& key) const {
    const int32_t entry = *LinkTo(*this, key);
    return entry == kNone ? -1 : pool_[static_cast<size_t>(entry)].Value;
}

void TZAStringHash::Clear() {
    std::fill(buckets_.begin(), buckets_.end(), kNone);
    pool_.clear();
    freeEntries_.clear();
}

int32_t TZAHashedStringList::Add(std::string s) {
    const int32_t position = TStringList::Add(std::move(s));
    if (valueHash_ && hashValid_) {
        valueHash_->Add((*this)[position], position);
        if (static_cast<uint64_t>(Count()) > uint64_t{kMaxStringsPerBucket} * valueHash_->Size()) {
            valueHash_.reset();
            hashValid_ = false;
        }
    }
    return position;
}

void TZAHashedStringList::Delete(int32_t index) {
    TStringList::Delete(index);
    hashValid_ = false;
}

void TZAHashedStringList::Clear() {
    TStringList::Clear();
    if (valueHash_)
        valueHash_->Clear();
}

void TZAHashedStringList::RebuildHash() {
    bool justMade = false;
    if (!valueHash_) {
        valueHash_ =
            std::make_unique<TZAStringHash>(std::max(static_cast<uint32_t>(Count()), kMinBuckets));
        justMade = true;
    }
    if (hashValid_ && !justMade)
        return;
    valueHash_->Clear();
    for (int32_t i = 0; i < Count(); ++i)
        valueHash_->Add((*this)[i], i);
    hashValid_ = true;
}

int32_t TZAHashedStringList::IndexOf(const std::string& s) {
    RebuildHash();
    return valueHash_->ValueOf(s);
}

void TZAHashedStringList::Replace(int32_t index, const std::string& s) {
    const std::string old = (*this)[index];
    if (valueHash_)
        valueHash_->Remove(old);
    Put(index, s);
    if (valueHash_)
        valueHash_->Add(platform::AnsiLowerCase(s), index);
}
