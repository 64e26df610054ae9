#pragma once

#include "stores/CertStore.h"

namespace platform {

// The computer's stores on Linux: "ROOT" is the distribution's trust anchors (see
// TrustAnchors.h) and the browsers' policies (see BrowserPolicies.h); the other stores and
// the CRLs have no place there that every program reads, so they hold nothing. Certificates
// and CRLs are decoded by the user's service, which writes nothing for that.
ICertStoreService& MachineCertStoreService(ICertStoreService& decoder);

} // namespace platform
