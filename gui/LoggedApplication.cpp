#include "LoggedApplication.h"

namespace platform {

LoggedApplication::LoggedApplication(std::unique_ptr<IApplication> shown, const std::string& title,
                                     const std::string& errorCaption, std::ostream& log)
    : shown_(std::move(shown)), log_(title, errorCaption, log) {}

// The log first: a box waits for its user, and the line must not.
void LoggedApplication::ShowErrorDialog(const std::u16string& text) {
    log_.ShowErrorDialog(text);
    shown_->ShowErrorDialog(text);
}
void LoggedApplication::ShowInfoMessage(const std::string& text) {
    log_.ShowInfoMessage(text);
    shown_->ShowInfoMessage(text);
}
void LoggedApplication::ShowUnhandledError(const std::u16string& text) {
    log_.ShowUnhandledError(text);
    shown_->ShowUnhandledError(text);
}

} // namespace platform
