#include "Shell.h"

#include "ShownMessage.h"
#include "Texts.h"

namespace {

class TFormShell : public IFormShell {
public:
    explicit TFormShell(platform::IApplication& application) : application_(application) {}
    void ShowErrorDialog(const std::u16string& text) override {
        ++errorsShown;
        application_.ShowErrorDialog(text);
    }
    void ShowInfoMessage(const std::string& text) override { application_.ShowInfoMessage(text); }
    void CloseMainWindow() override { application_.CloseMainWindow(); }

    int errorsShown = 0; // in the event that runs now

private:
    platform::IApplication& application_;
};

} // namespace

std::u16string UnhandledErrorText(const std::u16string& message) {
    if (!message.empty() && message.back() > u'.')
        return message + u".";
    return message;
}

int RunInstaller(platform::IApplication& application, platform::ICertStoreService& stores,
                 const TBundleSource& bundle) {
    TFormShell shell(application);
    TForm1 form(shell, stores, bundle);
    int failure = 0; // the status the last event's error gives
    // The framework's boundary around each event: what leaves it is shown, not fatal.
    auto guarded = [&](void (TForm1::*event)(void*)) {
        return [&, event] {
            shell.errorsShown = 0;
            try {
                (form.*event)(nullptr);
                failure = 0;
            } catch (const std::exception& e) {
                failure = dynamic_cast<const EBundleError*>(&e) ? 2 : 1;
                application.ShowUnhandledError(UnhandledErrorText(ShownMessage(e)));
            }
        };
    };
    const platform::TMainWindow window{
        texts::WindowCaption(),         texts::ButtonCaption(),        327, 60, 8, 8, 309, 45,
        guarded(&TForm1::FormActivate), guarded(&TForm1::Button1Click)};
    application.Run(window);
    if (failure)
        return failure;
    return shell.errorsShown > 0 ? 1 : 0;
}
