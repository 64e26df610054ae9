#include "OpenBundle.h"

#include "ShownMessage.h"
#include "Texts.h"
#include "unzip/uzip.h"

EBundleError::EBundleError(const std::exception& cause)
    : Exception(cause.what(), ShownMessage(cause)) {}

std::unique_ptr<TUnZip> OpenBundle(const TBundleSource& source) {
    const std::string bundle = source();
    if (bundle.empty())
        throw EBundleError(texts::BundleMissing());
    auto unzip = std::make_unique<TUnZip>();
    try {
        unzip->LoadFromString(bundle, false);
    } catch (const std::exception& e) {
        throw EBundleError(e);
    }
    return unzip;
}
