#pragma once

#include <memory>

// An object that a C library made, released by that library's own function when its owner
// goes: Owned<X509, X509_free>.
template <auto Release> struct ReleasedBy {
    template <class T> void operator()(T* object) const { Release(object); }
};
template <class T, auto Release> using Owned = std::unique_ptr<T, ReleasedBy<Release>>;
