#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// The computer's trust anchors as the distribution keeps them: PEM files in a folder its own
// tool reads, and that tool, which makes the bundle every program of the computer reads.
// Errors throw std::filesystem::filesystem_error, or std::system_error for the tool.
namespace platform::machine {

class TrustAnchors {
public:
    // The first of the distributions' tools found: Debian's update-ca-certificates, Fedora's
    // update-ca-trust, p11-kit's trust. Throws when there is none.
    TrustAnchors();

    // The folder the anchors go to, as the user knows it.
    std::string Place() const { return folder_.string(); }
    // The anchor file a certificate gets, by its DER bytes.
    std::filesystem::path FileOf(const std::string& der) const;
    // The certificate's anchor is there, as written here.
    bool Holds(const std::string& der) const;
    // The certificate is in the bundle the tool made last.
    bool Trusts(const std::string& der) const;
    // Each changes nothing when there is nothing to change; true when it changed the folder.
    bool Add(const std::string& der) const;
    bool Remove(const std::string& der) const;
    // Runs the tool, so that the bundle follows the folder, the roots removed from it since
    // the last run included. What the tool's hooks rewrite (Java's keystore) comes back byte
    // for byte once it holds what it held before ours came.
    void Refresh(const std::set<std::string>& removed) const;

private:
    bool HoldsAny() const;

    std::filesystem::path folder_;
    std::string prefix_, extension_; // of the anchor files' names
    std::vector<std::string> tool_;  // its path and arguments
    std::vector<std::string> afterRemoval_;
    std::filesystem::path bundle_; // what it makes
};

// A certificate's DER bytes as PEM, in lines of 64 characters.
std::string Pem(const std::string& der);
// The DER bytes in base64, on one line.
std::string Base64(const std::string& der);

} // namespace platform::machine
