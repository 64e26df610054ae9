// The install routine against a test double of the store service: the placement rules, the
// failure rules and what the user is shown.
#include "TestTools.h"
#include "ZipWriter.h"
#include "archive/ZAExcept.h"
#include "installer/CommandLine.h"
#include "installer/Options.h"
#include "installer/Shell.h"
#include "installer/ShownMessage.h"
#include "installer/Texts.h"
#include "installer/UPwd.h"
#include "platform/CodePages.h"
#include "runtime/Cp1251Literal.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>

using namespace platform;
using namespace test;

namespace {

// Certificates are written as "CERT subject|issuer|bc" and CRLs as "CRL name"; anything else
// does not decode.
class FakeStores : public ICertStoreService {
public:
    std::vector<std::string> calls;
    std::map<std::string, std::set<std::string>> contents; // store → certificates and CRLs
    std::map<std::string, uint32_t> failWith;              // store → error code of every add
    std::map<uintptr_t, std::string> objects;
    uint32_t lastError = 0;
    std::map<std::string, uint32_t> failDeleteWith; // store → error code of every delete
    std::map<std::string, uint32_t> failCommitWith; // store → error code of its commit
    std::set<std::string> untrusted;                // certificates found but not trusted
    std::string throwOnOpen;                        // the next open of that store throws
    bool crlAddThrows = false;

    HCERTSTORE CertOpenSystemStoreA(const std::string& name) override {
        calls.push_back("open " + name);
        if (name == throwOnOpen) {
            throwOnOpen.clear();
            throw std::runtime_error("the store service is not running");
        }
        // A store stays locked while it is open: a second open would wait for ever.
        EXPECT_TRUE(open_.insert(name).second) << name << " opened while still open";
        return Keep(name);
    }
    PCCERT_CONTEXT CertCreateCertificateContext(uint32_t encoding, const unsigned char* data,
                                                uint32_t length) override {
        EXPECT_EQ(encoding, 0x00010001u);
        const std::string bytes(reinterpret_cast<const char*>(data), length);
        return bytes.rfind("CERT ", 0) == 0 ? Keep(bytes.substr(5)) : 0;
    }
    PCCRL_CONTEXT CertCreateCRLContext(uint32_t, const unsigned char* data,
                                       uint32_t length) override {
        const std::string bytes(reinterpret_cast<const char*>(data), length);
        return bytes.rfind("CRL ", 0) == 0 ? Keep(bytes) : 0;
    }
    uint32_t CertGetNameStringA(PCCERT_CONTEXT cert, uint32_t type, uint32_t flags, char* buffer,
                                uint32_t size) override {
        EXPECT_EQ(type, 4u);
        EXPECT_EQ(size, 1024u);
        std::string name = Field(cert, flags == 1 ? 1 : 0).substr(0, size - 1);
        std::copy(name.begin(), name.end(), buffer);
        buffer[name.size()] = '\0';
        return static_cast<uint32_t>(name.size() + 1);
    }
    bool CertFindExtension(const std::string& oid, PCCERT_CONTEXT cert) override {
        EXPECT_EQ(oid, "2.5.29.19");
        return Field(cert, 2) == "bc";
    }
    bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT cert,
                                          uint32_t disposition) override {
        EXPECT_EQ(disposition, 1u);
        return Add(objects.at(store), objects.at(cert));
    }
    bool CertAddCRLContextToStore(HCERTSTORE store, PCCRL_CONTEXT crl,
                                  uint32_t disposition) override {
        EXPECT_EQ(disposition, 3u);
        calls.push_back("crl " + objects.at(store));
        if (crlAddThrows)
            throw std::invalid_argument("stoi");
        if (failWith.count(objects.at(store))) {
            lastError = failWith[objects.at(store)];
            return false;
        }
        contents[objects.at(store)].insert(objects.at(crl));
        return true;
    }
    bool CertControlStoreCommit(HCERTSTORE store) override {
        calls.push_back("commit " + objects.at(store));
        return Failed(objects.at(store), failCommitWith);
    }
    // One place a store, named after it; a root is trusted unless listed as untrusted.
    std::vector<TStorePlace> CertFindInStore(HCERTSTORE store, PCCERT_CONTEXT cert) override {
        const bool present = contents[objects.at(store)].count(objects.at(cert)) > 0;
        return {
            {"fake " + objects.at(store), present, present && !untrusted.count(objects.at(cert))}};
    }
    std::vector<TStorePlace> CrlFindInStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        return {{"fake " + objects.at(store),
                 contents[objects.at(store)].count(objects.at(crl)) > 0, false}};
    }
    bool CertDeleteFromStore(HCERTSTORE store, PCCERT_CONTEXT cert) override {
        return Delete(objects.at(store), objects.at(cert));
    }
    bool CrlDeleteFromStore(HCERTSTORE store, PCCRL_CONTEXT crl) override {
        return Delete(objects.at(store), objects.at(crl));
    }
    uint32_t GetLastError() override { return lastError; }
    void CertFreeCertificateContext(PCCERT_CONTEXT cert) override { Free(cert); }
    void CertFreeCRLContext(PCCRL_CONTEXT crl) override { Free(crl); }
    void CertCloseStore(HCERTSTORE store, uint32_t flags) override {
        EXPECT_EQ(flags, 0u);
        calls.push_back("close " + objects.at(store));
        open_.erase(objects.at(store));
        Free(store);
    }
    std::u16string ErrorText(uint32_t code) override {
        return code == 5 ? u"Access is denied. \r\n" : u"Some error";
    }

private:
    uintptr_t Keep(const std::string& object) {
        objects[++next_] = object;
        return next_;
    }
    void Free(uintptr_t handle) { EXPECT_EQ(objects.erase(handle), 1u) << "freed twice"; }
    std::string Field(uintptr_t cert, int index) {
        std::string rest = objects.at(cert);
        for (int i = 0; i < index; ++i)
            rest = rest.substr(rest.find('|') + 1);
        return rest.substr(0, rest.find('|'));
    }
    bool Add(const std::string& store, const std::string& cert) {
        calls.push_back("add " + store + " " + cert);
        if (failWith.count(store)) {
            lastError = failWith[store];
            return false;
        }
        if (!contents[store].insert(cert).second) {
            lastError = CRYPT_E_EXISTS;
            return false;
        }
        return true;
    }
    // True, or false with the store's error code left for GetLastError.
    bool Failed(const std::string& store, const std::map<std::string, uint32_t>& failures) {
        const auto failure = failures.find(store);
        if (failure == failures.end())
            return true;
        lastError = failure->second;
        return false;
    }
    bool Delete(const std::string& store, const std::string& object) {
        calls.push_back("delete " + store + " " + object);
        if (!Failed(store, failDeleteWith))
            return false;
        contents[store].erase(object);
        return true;
    }
    uintptr_t next_ = 0;
    std::set<std::string> open_;
};

class RecordingShell : public IFormShell {
public:
    std::vector<std::string> errors, infos;
    bool closed = false;
    void ShowErrorDialog(const std::u16string& text) override {
        errors.push_back(WideToAnsi(text));
    }
    void ShowInfoMessage(const std::string& text) override { infos.push_back(text); }
    void CloseMainWindow() override { closed = true; }
};

std::string Bundle(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<Entry> entries = {Folder("ROOT/")};
    for (const auto& [name, data] : files)
        entries.push_back(Entry{.name = name, .data = data});
    return BuildZip(entries);
}

struct InstallRun {
    FakeStores stores;
    RecordingShell shell;
    void Install(const std::string& bundle) {
        TForm1 form(shell, stores, [bundle] { return bundle; });
        form.Button1Click(nullptr);
    }
    const std::set<std::string>& In(const std::string& store) { return stores.contents[store]; }
};

using Set = std::set<std::string>;

} // namespace

TEST(Placement, DecisionTable) {
    InstallRun run;
    run.Install(Bundle({{"ROOT/root.cer", "CERT Root|Root|bc"},
                        {"ROOT/plain-root.cer", "CERT Self|Self|"},
                        {"AddressBook/ca.cer", "CERT Sub CA|Root|bc"},
                        {"CA/user.cer", "CERT User|Sub CA|"},
                        {"noext", "CERT ||"},
                        {"x.txt", "CERT ||bc"}}));
    // Empty display names on both sides count as self-issued.
    EXPECT_EQ(run.In("ROOT"), (Set{"Root|Root|bc", "Self|Self|", "||", "||bc"}));
    EXPECT_EQ(run.In("CA"), (Set{"Root|Root|bc", "Self|Self|", "Sub CA|Root|bc", "||", "||bc"}));
    EXPECT_EQ(run.In("AddressBook"), (Set{"User|Sub CA|"}));
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_EQ(run.shell.infos, std::vector<std::string>{CP1251("Установка произведена !")});
    EXPECT_TRUE(run.stores.objects.empty()); // every context and store released
}

TEST(Placement, OrderOfCallsAndCrlsToEveryStore) {
    InstallRun run;
    run.Install(Bundle({{"ROOT/r.cer", "CERT R|R|"}, {"CA/x.CRL", "CRL x"}, {"y.Crl", "CRL y"}}));
    EXPECT_EQ(run.stores.calls,
              (std::vector<std::string>{"open AddressBook", "open CA", "open ROOT", "add ROOT R|R|",
                                        "add CA R|R|", "crl AddressBook", "crl CA", "crl ROOT",
                                        "crl AddressBook", "crl CA", "crl ROOT",
                                        "commit AddressBook", "commit CA", "commit ROOT",
                                        "close CA", "close ROOT", "close AddressBook"}));
    for (const char* store : {"AddressBook", "CA", "ROOT"})
        EXPECT_TRUE(run.In(store).count("CRL x") && run.In(store).count("CRL y"));
}

TEST(Placement, SecondRunIsSilent) {
    InstallRun run;
    const std::string bundle = Bundle({{"a.cer", "CERT A|A|"}, {"b.cer", "CERT B|A|bc"}});
    run.Install(bundle);
    run.Install(bundle);
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_EQ(run.shell.infos.size(), 2u);
}

TEST(Placement, AFailedAddStopsThatCertificatesLaterAddsOnly) {
    InstallRun run;
    run.stores.failWith["ROOT"] = 5;
    run.Install(Bundle({{"a.cer", "CERT A|A|"}, {"b.cer", "CERT B|A|bc"}, {"c.crl", "CRL c"}}));
    EXPECT_TRUE(run.In("ROOT").empty());
    EXPECT_EQ(run.In("CA"), (Set{"B|A|bc", "CRL c"})); // A was not tried in "CA"
    ASSERT_EQ(run.shell.errors.size(), 1u);
    EXPECT_EQ(run.shell.errors[0], CP1251("Ошибка Win32.  Код: 5.\nAccess is denied"));
    EXPECT_EQ(run.shell.infos.size(), 1u);
    EXPECT_TRUE(run.stores.objects.empty());
}

TEST(Placement, UndecodableEntriesAndEmptyContentsPassSilently) {
    InstallRun run;
    run.Install(Bundle({{"bad.cer", "garbage"}, {"bad.crl", "CERT A|A|"}, {"empty.cer", ""}}));
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_TRUE(run.In("ROOT").empty());
    EXPECT_EQ(run.shell.infos.size(), 1u);
}

TEST(Placement, OnlyFoldersStillOpensClosesAndReports) {
    InstallRun run;
    run.Install(BuildZip({Folder("A/"), Folder("B/")}));
    EXPECT_EQ(run.stores.calls,
              (std::vector<std::string>{"open AddressBook", "open CA", "open ROOT",
                                        "commit AddressBook", "commit CA", "commit ROOT",
                                        "close CA", "close ROOT", "close AddressBook"}));
    EXPECT_EQ(run.shell.infos.size(), 1u);
}

TEST(Placement, ACrlAddThatThrowsIsPassedOverSilently) {
    InstallRun run;
    run.stores.crlAddThrows = true;
    run.Install(Bundle({{"x.crl", "CRL x"}, {"r.cer", "CERT R|R|"}}));
    EXPECT_EQ(run.In("ROOT"), Set{"R|R|"});
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_EQ(run.shell.infos, std::vector<std::string>{texts::InstallationDone()});
    EXPECT_EQ(std::count(run.stores.calls.begin(), run.stores.calls.end(), "crl ROOT"), 1);
    EXPECT_TRUE(run.stores.objects.empty());
}

TEST(Placement, MissingBundleAndArchiveErrorsLeaveBeforeAnyStoreOpens) {
    InstallRun run;
    TForm1 form(run.shell, run.stores, [] { return std::string(); });
    try {
        form.FormActivate(nullptr);
        ADD_FAILURE() << "no error";
    } catch (const EZAException& e) {
        ADD_FAILURE() << "an archive error instead of the missing bundle: " << e.what();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), texts::BundleMissing());
    }
    EXPECT_FALSE(run.shell.closed);
    TForm1 broken(run.shell, run.stores, [] { return std::string(100, 'x'); });
    // The engine's error, shown as the engine words it, tells the bundle from the stores.
    try {
        broken.Button1Click(nullptr);
        ADD_FAILURE() << "no error";
    } catch (const EBundleError& e) {
        EXPECT_NE(ShownMessage(e).find(u"archive"), std::u16string::npos)
            << WideToAnsi(ShownMessage(e));
    }
    EXPECT_TRUE(run.stores.calls.empty());
    EXPECT_TRUE(run.shell.infos.empty());

    TForm1 good(run.shell, run.stores, [] { return Bundle({}); });
    good.FormActivate(nullptr);
    EXPECT_TRUE(run.shell.closed);
}

TEST(Win32Error, MessageRules) {
    EXPECT_EQ(EWin32Error(0, u"ignored").Message(), CP1251("Ошибка функции Win32 API"));
    EXPECT_EQ(EWin32Error(static_cast<int32_t>(0x80070005), u"Access denied...\r\n").Message(),
              CP1251("Ошибка Win32.  Код: -2147024891.\nAccess denied"));
    EXPECT_EQ(EWin32Error(28, u"No space left on device").ErrorCode(), 28);
}

// The system's words in a language the program's code page does not hold stay as they came.
TEST(ShownMessage, EachPartFromItsOwnCodePage) {
    EXPECT_EQ(ShownMessage(EWin32Error(5, u"Accès refusé.\r\n")),
              u"Ошибка Win32.  Код: 5.\nAccès refusé");
    EXPECT_EQ(ShownMessage(EWin32Error(0, u"ignored")), u"Ошибка функции Win32 API");
    EXPECT_EQ(ShownMessage(Exception(texts::BundleMissing())),
              u"Не найдена информация о корневых сертификатах");
    EXPECT_EQ(ShownMessage(std::bad_alloc()), u"std::bad_alloc");
}

TEST(Shell, UnhandledErrorTextGetsAFullStopAfterALetter) {
    EXPECT_EQ(UnhandledErrorText(u"Не найдена информация о корневых сертификатах"),
              u"Не найдена информация о корневых сертификатах.");
    EXPECT_EQ(UnhandledErrorText(u"Done!"), u"Done!");
    EXPECT_EQ(UnhandledErrorText(u"End."), u"End.");
    EXPECT_EQ(UnhandledErrorText(u"code 00035"), u"code 00035.");
    EXPECT_EQ(UnhandledErrorText(u""), u"");
}

namespace {

class ScriptedApplication : public IApplication {
public:
    std::vector<std::string> shown;
    int clicks = 0;
    void Run(const TMainWindow& window) override {
        EXPECT_EQ(window.caption, texts::WindowCaption());
        EXPECT_EQ(window.clientWidth, 327);
        EXPECT_EQ(window.buttonHeight, 45);
        window.onActivate();
        for (int i = 0; i < clicks; ++i)
            window.onButtonClick();
    }
    void CloseMainWindow() override { shown.push_back("closed"); }
    void ShowErrorDialog(const std::u16string& text) override {
        shown.push_back("error " + WideToAnsi(text));
    }
    void ShowInfoMessage(const std::string& text) override { shown.push_back("info " + text); }
    void ShowUnhandledError(const std::u16string& text) override {
        shown.push_back("box " + WideToAnsi(text));
    }
};

} // namespace

TEST(Shell, MissingBundleIsShownOnEveryRunAndTheWindowStays) {
    ScriptedApplication application;
    application.clicks = 2;
    FakeStores stores;
    EXPECT_EQ(RunInstaller(application, stores, [] { return std::string(); }), 2);
    const std::string box = "box " + texts::BundleMissing() + ".";
    EXPECT_EQ(application.shown, (std::vector<std::string>{box, box, box}));
}

TEST(Shell, AfterAnErrorLeavesTheRunTheButtonInstallsEverythingAgain) {
    ScriptedApplication application;
    application.clicks = 1;
    FakeStores stores;
    stores.throwOnOpen = "ROOT";
    EXPECT_EQ(RunInstaller(application, stores,
                           [] {
                               return Bundle({{"a.cer", "CERT A|A|"}, {"c.crl", "CRL c"}});
                           }),
              0);
    EXPECT_EQ(application.shown, (std::vector<std::string>{"box the store service is not running.",
                                                           "info " + texts::InstallationDone()}));
    EXPECT_EQ(stores.contents["ROOT"], (Set{"A|A|", "CRL c"}));
    EXPECT_EQ(stores.contents["CA"], (Set{"A|A|", "CRL c"}));
    EXPECT_TRUE(stores.objects.empty()); // the first run's stores were closed too
}

TEST(Shell, AFinishedRunClosesTheWindow) {
    ScriptedApplication application;
    FakeStores stores;
    EXPECT_EQ(RunInstaller(application, stores,
                           [] {
                               return Bundle({{"a.cer", "CERT A|A|"}});
                           }),
              0);
    EXPECT_EQ(application.shown,
              (std::vector<std::string>{"info " + texts::InstallationDone(), "closed"}));
}

// A failed certificate fails the run's exit status, in a window as on the console, though the
// run finishes and closes the window as always.
TEST(Shell, AFailedCertificateFailsTheStatus) {
    ScriptedApplication application;
    FakeStores stores;
    stores.failWith["ROOT"] = 5;
    EXPECT_EQ(RunInstaller(application, stores,
                           [] {
                               return Bundle({{"a.cer", "CERT A|A|"}, {"b.cer", "CERT B|A|"}});
                           }),
              1);
    EXPECT_EQ(application.shown.back(), "closed");
}

// What the system does after the adds fails like an add: said, and the run goes on.
TEST(Placement, AFailedCommitIsShownAndTheOtherStoresCommit) {
    InstallRun run;
    run.stores.failCommitWith["CA"] = 5;
    run.Install(Bundle({{"a.cer", "CERT A|A|"}}));
    EXPECT_EQ(run.shell.errors,
              std::vector<std::string>{CP1251("Ошибка Win32.  Код: 5.\nAccess is denied")});
    EXPECT_EQ(std::count(run.stores.calls.begin(), run.stores.calls.end(), "commit ROOT"), 1);
}

TEST(Options, Table) {
    struct Row {
        std::vector<std::string> arguments;
        TAction action;
        bool machine, quiet;
        std::optional<std::string> log;
    };
    const std::vector<Row> rows{
        {{}, TAction::Install, false, false, {}},
        {{"--machine"}, TAction::Install, true, false, {}},
        {{"--status", "--machine"}, TAction::Status, true, false, {}},
        {{"--remove", "--quiet", "--log", "x.log"}, TAction::Remove, false, true, "x.log"},
        {{"--status", "--status"}, TAction::Status, false, false, {}},
        {{"--remove", "--help"}, TAction::Help, false, false, {}},
        {{"--version", "--status"}, TAction::Version, false, false, {}},
#ifdef _WIN32
        {{"/machine", "/remove", "/quiet"}, TAction::Remove, true, true, {}},
        {{"/?"}, TAction::Help, false, false, {}},
#endif
    };
    for (const Row& row : rows) {
        const TOptions options = ParseOptions(row.arguments);
        EXPECT_EQ(options.action, row.action) << row.arguments.size();
        EXPECT_EQ(options.machine, row.machine);
        EXPECT_EQ(options.quiet, row.quiet);
        EXPECT_EQ(options.logFile, row.log);
    }
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--status", "--remove"},
                                               {"--log"},
                                               {"--log", ""},
                                               {"--machines"},
                                               {"machine"},
                                               {"-q"}})
        EXPECT_THROW(ParseOptions(wrong), EUsageError) << wrong.front();
#ifndef _WIN32
    EXPECT_THROW(ParseOptions({"/machine"}), EUsageError);
#endif
}

namespace {

// The command line against the fake stores: which scope and presentation it asked for, and
// what it wrote.
struct CommandLineRun {
    FakeStores stores;
    std::vector<TStoreScope> scopes;
    std::vector<TPresentation> presentations;
    ScriptedApplication application;
    bool administrator = true;
    std::string bundle =
        Bundle({{"ROOT/a.cer", "CERT A|A|"}, {"CA/b.cer", "CERT B|A|bc"}, {"CA/c.crl", "CRL c"}});
    std::ostringstream out, err;

    int Run(const std::vector<std::string>& arguments) {
        out.str("");
        err.str("");
        const TSystem system{[this](TStoreScope scope) -> ICertStoreService& {
                                 scopes.push_back(scope);
                                 return stores;
                             },
                             [this] { return administrator; },
                             [this](TPresentation presentation) -> std::unique_ptr<IApplication> {
                                 presentations.push_back(presentation);
                                 return std::make_unique<Forwarding>(application);
                             },
                             [this] { return bundle; },
                             out,
                             err};
        return RunCommandLine(arguments, system);
    }

    // The scripted application, kept by the run for its checks.
    class Forwarding : public IApplication {
    public:
        explicit Forwarding(IApplication& to) : to_(to) {}
        void Run(const TMainWindow& window) override { to_.Run(window); }
        void CloseMainWindow() override { to_.CloseMainWindow(); }
        void ShowErrorDialog(const std::u16string& text) override { to_.ShowErrorDialog(text); }
        void ShowInfoMessage(const std::string& text) override { to_.ShowInfoMessage(text); }
        void ShowUnhandledError(const std::u16string& text) override {
            to_.ShowUnhandledError(text);
        }

    private:
        IApplication& to_;
    };
};

} // namespace

TEST(CommandLine, HelpVersionAndUsageErrors) {
    CommandLineRun run;
    EXPECT_EQ(run.Run({"--help"}), 0);
    EXPECT_EQ(run.out.str(), UsageText());
    EXPECT_EQ(run.Run({"--version"}), 0);
    EXPECT_EQ(run.out.str(), "certinstall 1.0.0\n");
    EXPECT_EQ(run.Run({"--bogus"}), 2);
    EXPECT_EQ(run.err.str(), "certinstall: unknown option: --bogus\n" + UsageText());
    EXPECT_TRUE(run.out.str().empty());
    EXPECT_TRUE(run.stores.calls.empty());
    EXPECT_TRUE(run.presentations.empty());
}

// Without the rights the computer's stores are not even opened; the status needs none.
TEST(CommandLine, TheComputersStoresNeedAdministratorRights) {
    CommandLineRun run;
    run.administrator = false;
    const TempDir folder;
    const auto log = folder / "run.log";
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--machine"}, {"--machine", "--remove", "--log", log.string()}}) {
        EXPECT_EQ(run.Run(arguments), 3);
        EXPECT_EQ(run.err.str(),
                  "certinstall: --machine needs administrator rights (root); nothing was "
                  "changed\n");
    }
    EXPECT_TRUE(run.stores.calls.empty());
    EXPECT_EQ(ReadFile(log), run.err.str());
    EXPECT_EQ(run.Run({"--status", "--machine"}), 1);
    EXPECT_EQ(run.scopes, std::vector<TStoreScope>{TStoreScope::LocalMachine});
    EXPECT_EQ(run.Run({"--status"}), 1);
    EXPECT_EQ(run.scopes.back(), TStoreScope::CurrentUser);
}

TEST(CommandLine, StatusSaysEachPlaceAndPassesOnlyWhenAllIsThere) {
    CommandLineRun run;
    EXPECT_EQ(run.Run({"--status"}), 1);
    EXPECT_EQ(run.out.str(), "ROOT\tfake ROOT\tA\tmissing\n"
                             "CA\tfake CA\tA\tmissing\n"
                             "CA\tfake CA\tB\tmissing\n"
                             "AddressBook\tfake AddressBook\tCA\\c.crl\tmissing\n"
                             "CA\tfake CA\tCA\\c.crl\tmissing\n"
                             "ROOT\tfake ROOT\tCA\\c.crl\tmissing\n");
    EXPECT_EQ(run.Run({"--quiet"}), 0);
    const auto shown = run.application.shown;
    EXPECT_EQ(run.Run({"--status"}), 0);
    EXPECT_EQ(run.out.str().find("missing"), std::string::npos) << run.out.str();
    EXPECT_NE(run.out.str().find("ROOT\tfake ROOT\tA\ttrusted\n"), std::string::npos);
    EXPECT_NE(run.out.str().find("CA\tfake CA\tCA\\c.crl\tpresent\n"), std::string::npos);
    // A root that is there but not trusted is not in place; an authority needs no trust.
    run.stores.untrusted = {"A|A|"};
    EXPECT_EQ(run.Run({"--status"}), 1);
    run.stores.untrusted = {"B|A|bc"};
    EXPECT_EQ(run.Run({"--status"}), 0);
    run.stores.contents["CA"].erase("CRL c");
    EXPECT_EQ(run.Run({"--status"}), 1);
    EXPECT_EQ(run.application.shown, shown);
    EXPECT_TRUE(run.stores.objects.empty());
}

TEST(CommandLine, RemoveTakesOutExactlyTheBundleFromEveryStore) {
    CommandLineRun run;
    run.stores.contents["ROOT"] = {"Own|Own|"};
    EXPECT_EQ(run.Run({"--quiet"}), 0);
    run.stores.contents["AddressBook"].insert("A|A|"); // put there by hand
    EXPECT_EQ(run.Run({"--remove"}), 0);
    for (const char* store : {"AddressBook", "CA"})
        EXPECT_TRUE(run.stores.contents[store].empty()) << store;
    EXPECT_EQ(run.stores.contents["ROOT"], Set{"Own|Own|"});
    EXPECT_EQ(std::count(run.stores.calls.begin(), run.stores.calls.end(), "commit ROOT"), 2);
    EXPECT_EQ(run.application.shown.back(), "info " + texts::RemovalDone());
    // A second removal finds nothing and is done all the same.
    EXPECT_EQ(run.Run({"--remove"}), 0);
    EXPECT_EQ(run.application.shown.back(), "info " + texts::RemovalDone());
    EXPECT_EQ(run.presentations,
              (std::vector<TPresentation>{TPresentation::Quiet, TPresentation::Console,
                                          TPresentation::Console}));
    EXPECT_TRUE(run.stores.objects.empty());
}

// A store that fails its deletes is said, once for each object, and the others still go.
TEST(CommandLine, AFailedDeleteFailsTheRemovalButNotTheRest) {
    CommandLineRun run;
    EXPECT_EQ(run.Run({}), 0);
    run.stores.failDeleteWith["CA"] = 5;
    EXPECT_EQ(run.Run({"--remove", "--quiet"}), 1);
    EXPECT_TRUE(run.stores.contents["ROOT"].empty());
    EXPECT_EQ(run.stores.contents["CA"], (Set{"A|A|", "B|A|bc", "CRL c"}));
    EXPECT_EQ(std::count(run.application.shown.begin(), run.application.shown.end(),
                         "error " + CP1251("Ошибка Win32.  Код: 5.\nAccess is denied")),
              3);
    EXPECT_NE(run.application.shown.back(), "info " + texts::RemovalDone());
}

// A missing or unreadable bundle is a status of its own, whatever the run; its message goes to
// the log as the window shows it.
TEST(CommandLine, ABundleErrorExitsWithTwoAndIsLogged) {
    CommandLineRun run;
    const TempDir folder;
    const auto log = folder / "run.log";
    for (const std::string& bundle : {std::string(), std::string(100, 'x')}) {
        run.bundle = bundle;
        for (const auto& action : {"--status", "--remove"})
            EXPECT_EQ(run.Run({action, "--log", log.string()}), 2) << action;
        EXPECT_EQ(run.Run({"--log", log.string()}), 2);
    }
    EXPECT_TRUE(run.stores.calls.empty());
    const std::string missing =
        "[" + AnsiToUtf8(texts::ErrorCaption()) + "] " + AnsiToUtf8(texts::BundleMissing()) + "\n";
    EXPECT_EQ(ReadFile(log).rfind(missing + missing + "[", 0), 0u) << ReadFile(log);
}

// Each message of the run goes to the log as well, appended, as the console prints it.
TEST(CommandLine, TheLogGetsEachMessageAppended) {
    CommandLineRun run;
    const TempDir folder;
    const auto log = folder / "run.log";
    WriteFile(log, "earlier\n");
    run.stores.failWith["ROOT"] = 5;
    EXPECT_EQ(run.Run({"--log", log.string()}), 1);
    EXPECT_EQ(run.presentations, std::vector<TPresentation>{TPresentation::Window});
    EXPECT_EQ(ReadFile(log), "earlier\n[" + AnsiToUtf8(texts::ErrorCaption()) +
                                 "] Ошибка Win32.  Код: 5.\nAccess is denied\n[" +
                                 AnsiToUtf8(texts::ApplicationTitle()) + "] " +
                                 AnsiToUtf8(texts::InstallationDone()) + "\n");
    EXPECT_EQ(run.Run({"--log", (folder / "missing/run.log").string()}), 2);
    EXPECT_NE(run.err.str().find("cannot open the log file"), std::string::npos);
}
