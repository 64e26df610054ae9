#include "platform/Resources.h"

#include <windows.h>

#include <memory>

namespace platform {

std::string LoadRawResource(const std::string& name) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10)); // RCDATA
    if (!found)
        return {};
    // Released however the copy ends.
    const std::unique_ptr<void, decltype(&FreeResource)> loaded(LoadResource(module, found),
                                                                &FreeResource);
    const auto* bytes = static_cast<const char*>(LockResource(loaded.get()));
    return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

} // namespace platform
