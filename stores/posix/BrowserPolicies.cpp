#include "BrowserPolicies.h"

#include "stores/posix/MachineFiles.h"
#include "stores/posix/TrustAnchors.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace platform::machine {
namespace {

using nlohmann::json;

json ReadJson(const fs::path& file) {
    const auto text = ReadFile(file);
    if (!text)
        return json::object();
    try {
        return json::parse(*text);
    } catch (const json::exception&) {
        throw std::runtime_error(file.string() + " holds no JSON; it was left as it is");
    }
}

void WriteJson(const fs::path& file, const json& document) {
    WriteFile(file, document.dump(2) + "\n");
}

bool ListHolds(const json& list, const std::string& value) {
    return list.is_array() && std::find(list.begin(), list.end(), value) != list.end();
}

// Chromium's "CACertificates": the roots' DER bytes in base64, in a file of ours.
class ChromiumPolicy : public BrowserPolicy {
public:
    explicit ChromiumPolicy(fs::path file) : file_(std::move(file)) {}
    std::string Place() const override { return file_.string(); }
    bool Holds(const std::string& der, const fs::path&) const override {
        return ListHolds(Roots(ReadJson(file_)), Base64(der));
    }
    void Add(const std::string& der, const fs::path&) const override {
        json document = ReadJson(file_);
        if (ListHolds(Roots(document), Base64(der)))
            return;
        document["CACertificates"].push_back(Base64(der));
        WriteJson(file_, document);
    }
    void Remove(const std::string& der, const fs::path&) const override {
        json document = ReadJson(file_);
        if (!ListHolds(Roots(document), Base64(der)))
            return;
        json& roots = document["CACertificates"];
        roots.erase(std::find(roots.begin(), roots.end(), Base64(der)));
        if (roots.empty())
            RemoveFile(file_);
        else
            WriteJson(file_, document);
    }

private:
    static json Roots(const json& document) {
        return document.value("CACertificates", json::array());
    }

    fs::path file_;
};

// Firefox's "Certificates.Install": the anchor files' paths, among the administrator's own
// policies.
class FirefoxPolicy : public BrowserPolicy {
public:
    explicit FirefoxPolicy(fs::path file) : file_(std::move(file)) {}
    std::string Place() const override { return file_.string(); }
    bool Holds(const std::string&, const fs::path& anchor) const override {
        return ListHolds(Install(ReadJson(file_)), anchor.string());
    }
    void Add(const std::string&, const fs::path& anchor) const override {
        json document = ReadJson(file_);
        if (ListHolds(Install(document), anchor.string()))
            return;
        document["policies"]["Certificates"]["Install"].push_back(anchor.string());
        WriteJson(file_, document);
    }
    void Remove(const std::string&, const fs::path& anchor) const override {
        json document = ReadJson(file_);
        if (!ListHolds(Install(document), anchor.string()))
            return;
        json& certificates = document["policies"]["Certificates"];
        json& install = certificates["Install"];
        install.erase(std::find(install.begin(), install.end(), anchor.string()));
        // What we added is taken out again, down to the keys we made.
        if (install.empty())
            certificates.erase("Install");
        if (certificates.empty())
            document["policies"].erase("Certificates");
        Put(document);
    }

private:
    static json Install(const json& document) {
        const json policies = document.value("policies", json::object());
        return policies.value("Certificates", json::object()).value("Install", json::array());
    }
    // The administrator's file as it was when nothing of ours is left; ours goes then.
    void Put(const json& document) const {
        const auto original = Original(file_);
        if (original && json::parse(*original, nullptr, false) == document)
            Restore(file_);
        else if (!original && document == json{{"policies", json::object()}})
            RemoveFile(file_);
        else
            WriteJson(file_, document);
    }

    fs::path file_;
};

} // namespace

const std::vector<std::unique_ptr<BrowserPolicy>>& BrowserPolicies() {
    static const auto policies = [] {
        std::vector<std::unique_ptr<BrowserPolicy>> all;
        for (const char* folder : {"/etc/chromium", "/etc/chromium-browser", "/etc/opt/chrome"})
            all.push_back(std::make_unique<ChromiumPolicy>(fs::path(folder) /
                                                           "policies/managed/certinstall.json"));
        for (const char* folder : {"/etc/firefox", "/etc/thunderbird"})
            all.push_back(
                std::make_unique<FirefoxPolicy>(fs::path(folder) / "policies/policies.json"));
        return all;
    }();
    return policies;
}

} // namespace platform::machine
