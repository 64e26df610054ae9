#include "TrustAnchors.h"

#include "platform/posix/Process.h"
#include "stores/posix/MachineFiles.h"

#include <openssl/evp.h>

#include <array>
#include <system_error>

namespace platform::machine {
namespace {

struct Distribution {
    const char* tool;
    std::vector<std::string> arguments;
    const char* folder;
    const char* prefix;
    const char* extension;
    const char* bundle;
};

// Debian's tool takes only "*.crt" files, from a folder of ours; the others share one folder
// with the administrator, so our files carry our name.
const std::array<Distribution, 3> kDistributions{{
    {"update-ca-certificates",
     {},
     "/usr/local/share/ca-certificates/certinstall",
     "",
     ".crt",
     "/etc/ssl/certs/ca-certificates.crt"},
    {"update-ca-trust",
     {"extract"},
     "/etc/pki/ca-trust/source/anchors",
     "certinstall-",
     ".pem",
     "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem"},
    {"trust",
     {"extract-compat"},
     "/etc/ca-certificates/trust-source/anchors",
     "certinstall-",
     ".crt",
     "/etc/ssl/certs/ca-certificates.crt"},
}};

std::string Hex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i)
        hex += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return hex;
}

// The first 16 hexadecimal digits of the SHA-256 of the bytes: a name per certificate.
std::string ShortDigest(const std::string& der) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(der.data(), der.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return Hex(digest.data(), 8);
}

} // namespace

std::string Base64(const std::string& der) {
    std::string text(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(der.data()),
                                       static_cast<int>(der.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Pem(const std::string& der) {
    const std::string text = Base64(der);
    std::string pem = "-----BEGIN CERTIFICATE-----\n";
    for (size_t line = 0; line < text.size(); line += 64)
        pem += text.substr(line, 64) + "\n";
    return pem + "-----END CERTIFICATE-----\n";
}

TrustAnchors::TrustAnchors() {
    for (const Distribution& distribution : kDistributions) {
        const std::string tool = FindProgram(distribution.tool);
        if (tool.empty())
            continue;
        folder_ = distribution.folder;
        prefix_ = distribution.prefix;
        extension_ = distribution.extension;
        tool_ = {tool};
        tool_.insert(tool_.end(), distribution.arguments.begin(), distribution.arguments.end());
        bundle_ = distribution.bundle;
        return;
    }
    throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                            "no tool of the distribution's for the computer's trust anchors "
                            "(update-ca-certificates, update-ca-trust, trust)");
}

std::filesystem::path TrustAnchors::FileOf(const std::string& der) const {
    return folder_ / (prefix_ + ShortDigest(der) + extension_);
}

bool TrustAnchors::Holds(const std::string& der) const {
    return ReadFile(FileOf(der)) == Pem(der);
}

bool TrustAnchors::Trusts(const std::string& der) const {
    return ReadFile(bundle_).value_or("").find(Pem(der)) != std::string::npos;
}

bool TrustAnchors::Add(const std::string& der) const {
    if (Holds(der))
        return false;
    WriteFile(FileOf(der), Pem(der));
    return true;
}

bool TrustAnchors::Remove(const std::string& der) const {
    if (!Holds(der))
        return false;
    RemoveFile(FileOf(der));
    return true;
}

void TrustAnchors::Refresh() const {
    const int status = RunProgram(tool_);
    if (status != 0)
        throw std::system_error(std::make_error_code(std::errc::io_error),
                                tool_.front() + " ended with status " + std::to_string(status));
}

} // namespace platform::machine
