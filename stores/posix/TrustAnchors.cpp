#include "TrustAnchors.h"

#include "platform/posix/Process.h"
#include "stores/posix/MachineFiles.h"

#include <openssl/evp.h>

#include <array>
#include <set>
#include <stdexcept>
#include <system_error>

namespace platform::machine {
namespace {

struct Distribution {
    const char* tool;
    std::vector<std::string> arguments;
    std::vector<std::string> afterRemoval; // more arguments, for a tool that only adds else
    const char* folder;
    const char* prefix;
    const char* extension;
    const char* bundle;
};

// Debian's tool takes only "*.crt" files, from a folder of ours, and sees an anchor gone only
// when it starts afresh; the others share one folder with the administrator, so our files
// carry our name.
// clang-format off
const std::array<Distribution, 3> kDistributions{{
    {"update-ca-certificates", {}, {"--fresh"}, "/usr/local/share/ca-certificates/certinstall",
     "", ".crt", "/etc/ssl/certs/ca-certificates.crt"},
    {"update-ca-trust", {"extract"}, {}, "/etc/pki/ca-trust/source/anchors", "certinstall-",
     ".pem", "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem"},
    {"trust", {"extract-compat"}, {}, "/etc/ca-certificates/trust-source/anchors",
     "certinstall-", ".crt", "/etc/ssl/certs/ca-certificates.crt"},
}};
// clang-format on

// Written again by the hooks of Debian's tool, each entry with the time it was added, so equal
// contents do not make equal bytes.
const std::array<const char*, 1> kRewrittenByHooks{"/etc/ssl/certs/java/cacerts"};

// Reads a Java keystore's big-endian fields; a read past the end throws.
class KeystoreReader {
public:
    explicit KeystoreReader(const std::string& bytes) : bytes_(bytes) {}
    uint64_t Number(size_t size) {
        uint64_t value = 0;
        for (const char byte : Bytes(size))
            value = value << 8 | static_cast<unsigned char>(byte);
        return value;
    }
    std::string Bytes(size_t size) {
        if (size > bytes_.size() - offset_)
            throw std::out_of_range("keystore");
        offset_ += size;
        return bytes_.substr(offset_ - size, size);
    }

private:
    const std::string& bytes_;
    size_t offset_ = 0;
};

// The trusted certificates of a Java keystore (JKS, as Debian's hook writes it); none for
// bytes that are no such keystore, or one that holds anything else.
std::set<std::string> KeystoreCertificates(const std::string& keystore) {
    constexpr uint64_t kMagic = 0xFEEDFEED, kTrustedCertificate = 2;
    std::set<std::string> certificates;
    try {
        KeystoreReader reader(keystore);
        if (reader.Number(4) != kMagic || reader.Number(4) != 2)
            return {};
        for (uint64_t entries = reader.Number(4); entries > 0; --entries) {
            if (reader.Number(4) != kTrustedCertificate)
                return {};
            reader.Bytes(reader.Number(2)); // the alias
            reader.Number(8);               // when it was added
            reader.Bytes(reader.Number(2)); // the certificate's type
            certificates.insert(reader.Bytes(reader.Number(4)));
        }
    } catch (const std::out_of_range&) {
        return {};
    }
    return certificates;
}

// After our last anchor went: the file as it was, when it holds what it held then, the roots
// just removed aside, which a hook may have left in it.
void PutBackUnchanged(const fs::path& file, const std::set<std::string>& removed) {
    const auto original = Original(file);
    if (!original)
        return;
    const auto without = [&removed](std::set<std::string> certificates) {
        std::erase_if(certificates, [&](const std::string& c) { return removed.count(c) > 0; });
        return certificates;
    };
    const auto now = without(KeystoreCertificates(ReadFile(file).value_or("")));
    if (!now.empty() && now == without(KeystoreCertificates(*original)))
        Restore(file);
    else
        ForgetOriginal(file);
}

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
        afterRemoval_ = distribution.afterRemoval;
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

void TrustAnchors::Refresh(const std::set<std::string>& removed) const {
    for (const char* file : kRewrittenByHooks)
        KeepOriginal(file);
    std::vector<std::string> command = tool_;
    if (!removed.empty())
        command.insert(command.end(), afterRemoval_.begin(), afterRemoval_.end());
    const int status = RunProgram(command);
    if (status != 0)
        throw std::system_error(std::make_error_code(std::errc::io_error),
                                tool_.front() + " ended with status " + std::to_string(status));
    if (HoldsAny())
        return;
    for (const char* file : kRewrittenByHooks)
        PutBackUnchanged(file, removed);
}

bool TrustAnchors::HoldsAny() const {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix_) && name.ends_with(extension_))
            return true;
    }
    return false;
}

} // namespace platform::machine
