#include "platform/Resources.h"

#include <string_view>

namespace platform {

std::string LoadRawResource(const std::string& name) {
    for (size_t i = 0; i < kEmbeddedResourceCount; ++i) {
        const TEmbeddedResource& resource = kEmbeddedResources[i];
        if (name == resource.name)
            return std::string(reinterpret_cast<const char*>(resource.bytes), resource.size);
    }
    return {};
}

} // namespace platform
