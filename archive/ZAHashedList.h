#pragma once

#include "runtime/StringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A chained hash table from strings to list positions. Equal keys may be added more than
// once; the one added last is found first.
class TZAStringHash {
public:
    explicit TZAStringHash(uint32_t size);
    virtual ~TZAStringHash() = default;

    virtual uint32_t HashOf(const std::string& key) const;

    void Add(const std::string& key, int32_t value);
    void Remove(const std::string& key);
    int32_t ValueOf(const std::string& key) const;
    // Visits every value added under the key, the one added last first, until visit says
    // true; whether it did.
    bool AnyValueOf(const std::string& key, const std::function<bool(int32_t)>& visit) const;
    void Clear();

    uint32_t Size() const { return size_; }

private:
    static constexpr int32_t kNone = -1;

    // One entry of a chain. Entries live in one pool and are linked by pool index, so that
    // neither long chains nor a large table need one allocation or one stack frame an entry.
    struct THashItem {
        int32_t Next;
        std::string Key;
        int32_t Value;
    };

    // The link that refers to the first entry of the key's chain with that key, or the
    // empty link at the end of the chain.
    template <class Self> static auto* LinkTo(Self& self, const std::string& key) {
        auto* link = &self.buckets_[static_cast<size_t>(self.Bucket(key))];
        while (*link != kNone && self.pool_[static_cast<size_t>(*link)].Key != key)
            link = &self.pool_[static_cast<size_t>(*link)].Next;
        return link;
    }
    int32_t* Find(const std::string& key) { return LinkTo(*this, key); }
    int32_t Bucket(const std::string& key) const {
        return static_cast<int32_t>(HashOf(key) % size_);
    }

    uint32_t size_;
    std::vector<int32_t> buckets_;
    std::vector<THashItem> pool_;
    std::vector<int32_t> freeEntries_;
};

// A table for keys chosen by whoever wrote an archive: buckets follow a hash keyed with a
// secret drawn once per process, so names crafted to share one chain cannot make lookups
// quadratic.
class TZAKeyedStringHash : public TZAStringHash {
public:
    using TZAStringHash::TZAStringHash;
    uint32_t HashOf(const std::string& key) const override;
};

// An ordered string list whose IndexOf is answered by a hash table, made at the first
// lookup and rebuilt whenever positions may have moved or the table has grown too full.
class TZAHashedStringList : public TStringList {
public:
    int32_t Add(std::string s) override;
    void Delete(int32_t index) override;
    void Clear() override;
    int32_t IndexOf(const std::string& s) override;
    // Visits the positions that hold the string until visit says true; whether it did.
    bool AnyIndexOf(const std::string& s, const std::function<bool(int32_t)>& visit);

    // Puts a new string at an existing position.
    void Replace(int32_t index, const std::string& s);
    void RebuildHash();

    const TZAStringHash* ValueHash() const { return valueHash_.get(); }
    bool HashValid() const { return hashValid_; }

private:
    static constexpr uint32_t kMinBuckets = 1000;
    static constexpr uint32_t kMaxStringsPerBucket = 5;

    std::unique_ptr<TZAStringHash> valueHash_;
    bool hashValid_ = true;
};
