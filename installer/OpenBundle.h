#pragma once

#include "runtime/Exception.h"

#include <functional>
#include <memory>
#include <string>

class TUnZip;

// Where a run takes the bundle's bytes from.
using TBundleSource = std::function<std::string()>;

// A bundle that is missing or cannot be read: the program's own fault, not a store's, so that
// the exit status tells the two apart.
class EBundleError : public Exception {
public:
    using Exception::Exception;
    // The engine's error, shown as it would be shown itself.
    explicit EBundleError(const std::exception& cause);
};

// The bundle unpacked; throws EBundleError when it is missing or unreadable.
std::unique_ptr<TUnZip> OpenBundle(const TBundleSource& source);
