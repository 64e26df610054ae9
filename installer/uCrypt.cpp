#include "uCrypt.h"

#include <array>
#include <cstring>

namespace ucrypt {
namespace {

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace

platform::PCCERT_CONTEXT DecodeCertificate(platform::ICertStoreService& service,
                                           const std::string& der) {
    return service.CertCreateCertificateContext(kEncoding, Bytes(der),
                                                static_cast<uint32_t>(der.size()));
}

platform::PCCRL_CONTEXT DecodeCrl(platform::ICertStoreService& service, const std::string& der) {
    return service.CertCreateCRLContext(kEncoding, Bytes(der), static_cast<uint32_t>(der.size()));
}

std::string DisplayName(platform::ICertStoreService& service, platform::PCCERT_CONTEXT certificate,
                        bool issuer) {
    std::array<char, 1024> buffer{};
    service.CertGetNameStringA(certificate, platform::CERT_NAME_SIMPLE_DISPLAY_TYPE,
                               issuer ? platform::CERT_NAME_ISSUER_FLAG : 0, buffer.data(),
                               static_cast<uint32_t>(buffer.size()));
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

bool HasBasicConstraints(platform::ICertStoreService& service,
                         platform::PCCERT_CONTEXT certificate) {
    return service.CertFindExtension(platform::szOID_BASIC_CONSTRAINTS2, certificate);
}

EWin32Error LastError(platform::ICertStoreService& service) {
    const uint32_t code = service.GetLastError();
    return EWin32Error(static_cast<int32_t>(code), service.ErrorText(code));
}

} // namespace ucrypt
