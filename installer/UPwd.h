#pragma once

#include "OpenBundle.h"
#include "stores/CertStore.h"

#include <memory>
#include <string>

class TOpenStores;
class TUnZip;

// What the main window's shell does for the install routine: its modal dialogs, and closing
// the window, which ends the program.
class IFormShell {
public:
    virtual ~IFormShell() = default;
    virtual void ShowErrorDialog(const std::u16string& text) = 0;
    virtual void ShowInfoMessage(const std::string& text) = 0;
    virtual void CloseMainWindow() = 0;
};

// The main window's logic: the installation run and the two events that start it.
class TForm1 {
public:
    TForm1(IFormShell& shell, platform::ICertStoreService& stores, TBundleSource bundle);

    // Runs the installation once the window is first active, then closes the window. An
    // error that leaves the installation leaves the window open.
    void FormActivate(void* sender);
    // The installation: places every certificate and CRL of the bundle into the stores. A
    // bundle that is missing or unreadable throws EBundleError before any store opens.
    void Button1Click(void* sender);

private:
    void PlaceEntries(std::unique_ptr<TUnZip> unzip);
    void PlaceCrl(const TOpenStores& stores, const std::string& der);
    void AddCrl(platform::HCERTSTORE store, platform::PCCRL_CONTEXT crl);
    void PlaceCertificate(const TOpenStores& stores, const std::string& der);
    void AddCertificate(platform::HCERTSTORE store, platform::PCCERT_CONTEXT certificate);
    void CommitStore(platform::HCERTSTORE store);

    IFormShell& shell_;
    platform::ICertStoreService& service_;
    TBundleSource bundle_;
};
