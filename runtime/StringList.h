#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An ordered list of byte strings: appended at the end, never sorted, duplicates allowed.
class TStringList {
public:
    virtual ~TStringList() = default;

    int32_t Count() const { return static_cast<int32_t>(strings_.size()); }
    const std::string& operator[](int32_t index) const;
    void Put(int32_t index, std::string s);
    void SetCapacity(int32_t capacity) { strings_.reserve(static_cast<size_t>(capacity)); }

    virtual int32_t Add(std::string s);
    virtual void Delete(int32_t index);
    virtual void Clear() { strings_.clear(); }
    virtual int32_t IndexOf(const std::string& s);

    // Copies the other list's strings into this one.
    void Assign(const TStringList& source);

private:
    void CheckIndex(int32_t index) const;
    std::vector<std::string> strings_;
};
