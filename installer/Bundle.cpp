#include "Bundle.h"

#include "Texts.h"
#include "platform/Resources.h"
#include "runtime/Exception.h"

std::string GetRootsBundle() {
    std::string bundle = platform::LoadRawResource("ROOTS");
    if (bundle.empty())
        throw Exception(texts::BundleMissing());
    return bundle;
}
