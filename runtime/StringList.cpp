#include "StringList.h"

#include "Exception.h"

void TStringList::CheckIndex(int32_t index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStringList::operator[](int32_t index) const {
    CheckIndex(index);
    return strings_[static_cast<size_t>(index)];
}

void TStringList::Put(int32_t index, std::string s) {
    CheckIndex(index);
    strings_[static_cast<size_t>(index)] = std::move(s);
}

int32_t TStringList::Add(std::string s) {
    strings_.push_back(std::move(s));
    return Count() - 1;
}

void TStringList::Delete(int32_t index) {
    CheckIndex(index);
    strings_.erase(strings_.begin() + index);
}

int32_t TStringList::IndexOf(const std::string& s) {
    for (int32_t i = 0; i < Count(); ++i)
        if (strings_[static_cast<size_t>(i)] == s)
            return i;
    return -1;
}

void TStringList::Assign(const TStringList& source) {
    if (&source == this)
        return;
    Clear();
    for (const auto& s : source.strings_)
        Add(s);
}
