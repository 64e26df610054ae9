#include "stores/posix/CertificateNames.h"

#include <openssl/x509v3.h>

#include <optional>

namespace platform {
namespace {

// The text of the first entry of that kind in the name, in UTF-8.
std::optional<std::string> EntryText(X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return std::nullopt;
    unsigned char* utf8 = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    if (length < 0)
        return std::nullopt;
    std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

std::optional<std::string> AlternativeName(X509* certificate, int nid) {
    auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, nid, nullptr, nullptr));
    if (!names)
        return std::nullopt;
    std::optional<std::string> text;
    for (int i = 0; i < sk_GENERAL_NAME_num(names) && !text; ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type == GEN_EMAIL || name->type == GEN_DNS || name->type == GEN_URI)
            text = std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.ia5)),
                               static_cast<size_t>(ASN1_STRING_length(name->d.ia5)));
    }
    GENERAL_NAMES_free(names);
    return text;
}

} // namespace

std::string SimpleDisplayName(X509* certificate, bool issuer) {
    X509_NAME* name =
        issuer ? X509_get_issuer_name(certificate) : X509_get_subject_name(certificate);
    for (int nid :
         {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress})
        if (auto text = EntryText(name, nid))
            return *text;
    return AlternativeName(certificate, issuer ? NID_issuer_alt_name : NID_subject_alt_name)
        .value_or("");
}

} // namespace platform
