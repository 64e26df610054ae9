#include "Shell.h"

#include "Texts.h"

namespace {

class TFormShell : public IFormShell {
public:
    explicit TFormShell(platform::IApplication& application) : application_(application) {}
    void ShowErrorDialog(const std::string& text) override { application_.ShowErrorDialog(text); }
    void ShowInfoMessage(const std::string& text) override { application_.ShowInfoMessage(text); }
    void CloseMainWindow() override { application_.CloseMainWindow(); }

private:
    platform::IApplication& application_;
};

} // namespace

std::string UnhandledErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

int RunInstaller(platform::IApplication& application, platform::ICertStoreService& stores,
                 const TForm1::TBundleSource& bundle) {
    TFormShell shell(application);
    TForm1 form(shell, stores, bundle);
    bool failed = false;
    // The framework's boundary around each event: what leaves it is shown, not fatal.
    auto guarded = [&](void (TForm1::*event)(void*)) {
        return [&, event] {
            try {
                (form.*event)(nullptr);
                failed = false;
            } catch (const std::exception& e) {
                failed = true;
                application.ShowUnhandledError(UnhandledErrorText(e.what()));
            }
        };
    };
    const platform::TMainWindow window{
        texts::WindowCaption(),         texts::ButtonCaption(),        327, 60, 8, 8, 309, 45,
        guarded(&TForm1::FormActivate), guarded(&TForm1::Button1Click)};
    application.Run(window);
    return failed ? 1 : 0;
}
