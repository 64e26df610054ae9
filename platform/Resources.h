#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The bytes of the program's own raw-data resource of that name; empty when the program
// carries none.
std::string LoadRawResource(const std::string& name);

// How a program carries its raw-data resources where the system has no resources in
// executables: a table that the build links in.
struct TEmbeddedResource {
    const char* name;
    const unsigned char* bytes;
    size_t size;
};
extern const TEmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;

} // namespace platform
