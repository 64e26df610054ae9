#pragma once

#include <string>

namespace platform {

enum class TDialogButtons { OkCancel, YesNo, AbortRetryIgnore };
enum class TDialogResult { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

// The modal dialogs that library code may ask for. The program's shell supplies them;
// without a shell nobody is asked and each caller takes its non-interactive answer.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    // An input line; false when the user cancels.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) = 0;
    virtual TDialogResult Ask(const std::string& text, const std::string& caption,
                              TDialogButtons buttons) = 0;
};

// The shell's dialogs, or none. The shell keeps the object alive while it is installed.
void InstallDialogs(IDialogs* dialogs);
IDialogs* InstalledDialogs();

} // namespace platform
