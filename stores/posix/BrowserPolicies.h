#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The browsers' and mail programs' own enterprise policies, which make them trust a root for
// every account and every profile, new ones too: the computer's anchors reach none of them.
// Errors throw std::filesystem::filesystem_error, or std::runtime_error for a policy file
// that is no JSON, which is then left as it is.
namespace platform::machine {

class BrowserPolicy {
public:
    virtual ~BrowserPolicy() = default;
    // The policy file, as the user knows it.
    virtual std::string Place() const = 0;
    // Whether the policy names the root: by its bytes, or by its anchor file.
    virtual bool Holds(const std::string& der, const std::filesystem::path& anchor) const = 0;
    virtual void Add(const std::string& der, const std::filesystem::path& anchor) const = 0;
    // Takes out only what Add put in; a file the administrator had comes back byte for byte
    // once nothing of ours is left in it.
    virtual void Remove(const std::string& der, const std::filesystem::path& anchor) const = 0;
};

// Chromium's (Debian's, and Ubuntu's snap's) and Chrome's managed policies, each in a file of
// ours, and Firefox's and Thunderbird's policies.json, which they share with the
// administrator.
const std::vector<std::unique_ptr<BrowserPolicy>>& BrowserPolicies();

} // namespace platform::machine
