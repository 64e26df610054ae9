#include "Bundle.h"

#include "platform/Resources.h"

std::string GetRootsBundle() {
    return platform::LoadRawResource("ROOTS");
}
