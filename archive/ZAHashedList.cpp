#include "ZAHashedList.h"

#include <algorithm>
#include <array>
#include <bit>
#include <random>

// A table needs one bucket at least.
TZAStringHash::TZAStringHash(uint32_t size) : size_(std::max(size, 1u)), buckets_(size_, kNone) {}

uint32_t TZAStringHash::HashOf(const std::string& key) const {
    uint32_t h = 0;
    for (unsigned char b : key)
        h = std::rotl(h, 2) ^ b;
    return h;
}

namespace {

// SipHash-2-4 (Aumasson and Bernstein), the usual defence against chosen hash collisions.
class SipHash {
public:
    SipHash(uint64_t k0, uint64_t k1)
        : v_{k0 ^ 0x736F6D6570736575ull, k1 ^ 0x646F72616E646F6Dull, k0 ^ 0x6C7967656E657261ull,
             k1 ^ 0x7465646279746573ull} {}

    uint64_t Of(const std::string& key) {
        const size_t whole = key.size() / 8 * 8;
        for (size_t at = 0; at < whole; at += 8)
            Absorb(Word(key.data() + at, 8));
        Absorb(Word(key.data() + whole, key.size() - whole) | uint64_t(key.size()) << 56);
        v_[2] ^= 0xFF;
        for (int i = 0; i < 4; ++i)
            Round();
        return v_[0] ^ v_[1] ^ v_[2] ^ v_[3];
    }

private:
    static uint64_t Word(const char* bytes, size_t count) {
        uint64_t word = 0;
        for (size_t i = 0; i < count; ++i)
            word |= uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
        return word;
    }
    void Absorb(uint64_t m) {
        v_[3] ^= m;
        Round();
        Round();
        v_[0] ^= m;
    }
    void Round() {
        auto& [v0, v1, v2, v3] = v_;
        v0 += v1, v1 = std::rotl(v1, 13), v1 ^= v0, v0 = std::rotl(v0, 32);
        v2 += v3, v3 = std::rotl(v3, 16), v3 ^= v2;
        v0 += v3, v3 = std::rotl(v3, 21), v3 ^= v0;
        v2 += v1, v1 = std::rotl(v1, 17), v1 ^= v2, v2 = std::rotl(v2, 32);
    }
    std::array<uint64_t, 4> v_;
};

const std::array<uint64_t, 2>& ProcessSecret() {
    static const std::array<uint64_t, 2> secret = [] {
        std::random_device device;
        const auto draw = [&] { return uint64_t(device()) << 32 | device(); };
        return std::array<uint64_t, 2>{draw(), draw()};
    }();
    return secret;
}

} // namespace

uint32_t TZAKeyedStringHash::HashOf(const std::string& key) const {
    const auto& [k0, k1] = ProcessSecret();
    return static_cast<uint32_t>(SipHash(k0, k1).Of(key));
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

bool TZAStringHash::AnyValueOf(const std::string& key,
                               const std::function<bool(int32_t)>& visit) const {
    for (int32_t entry = *LinkTo(*this, key); entry != kNone;) {
        const THashItem& item = pool_[static_cast<size_t>(entry)];
        if (item.Key == key && visit(item.Value))
            return true;
        entry = item.Next;
    }
    return false;
}

void TZAStringHash::Clear() {
    // Entries come only through Add, which pools them: with none pooled every chain is
    // empty already, and a table made for a thousand names need not be walked again.
    if (pool_.empty())
        return;
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
        valueHash_ = std::make_unique<TZAKeyedStringHash>(
            std::max(static_cast<uint32_t>(Count()), kMinBuckets));
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

bool TZAHashedStringList::AnyIndexOf(const std::string& s,
                                     const std::function<bool(int32_t)>& visit) {
    RebuildHash();
    return valueHash_->AnyValueOf(s, visit);
}

// The table is made again at the next lookup: removing the old string's entry by its name
// could unlink another position's, and an entry added now would stand before entries of
// later positions with the same string.
void TZAHashedStringList::Replace(int32_t index, const std::string& s) {
    Put(index, s);
    hashValid_ = false;
}
