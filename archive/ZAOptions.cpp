#include "ZAOptions.h"

void TZAOptions::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TZAOptions*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    const TZAFileShareMode keptShareMode = ShareMode;
    *this = *other;
    ShareMode = keptShareMode;
}

void TZASpanningOptions::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TZASpanningOptions*>(&source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    *this = *other;
}
