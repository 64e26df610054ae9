#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Root of every error the system raises. The message is a byte string in the ANSI code
// page (Windows-1251 for the installer's Russian texts), converted only for display.
class Exception : public std::exception {
public:
    explicit Exception(std::string message, int helpContext = 0)
        : message_(std::move(message)), helpContext_(helpContext) {}

    const std::string& Message() const noexcept { return message_; }
    // The message as the user is to read it, for a message that holds words which came as
    // wide text (the system's own, in the system's language, which the program's code page
    // need not hold); empty when Message() is all there is.
    const std::u16string& WideMessage() const noexcept { return wideMessage_; }
    int HelpContext() const noexcept { return helpContext_; }
    const char* what() const noexcept override { return message_.c_str(); }

protected:
    Exception(std::string message, std::u16string wideMessage)
        : message_(std::move(message)), wideMessage_(std::move(wideMessage)), helpContext_(0) {}

private:
    std::string message_;
    std::u16string wideMessage_;
    int helpContext_;
};

// A stream that delivered fewer bytes than an exact read asked for.
class EReadError : public Exception {
public:
    EReadError();
};

// A stream that took fewer bytes than an exact write offered.
class EWriteError : public Exception {
public:
    EWriteError();
};

// A file that could not be opened or created as a stream.
class EFOpenError : public Exception {
    using Exception::Exception;
};

// A failed call of the operating system, with its error code.
class EWin32Error : public Exception {
public:
    // description: the system's text for the code. Message() holds it in the ANSI code page,
    // WideMessage() as it is.
    EWin32Error(int32_t errorCode, const std::u16string& description);
    int32_t ErrorCode() const { return errorCode_; }

private:
    int32_t errorCode_;
};

// A list index outside the list.
class EListError : public Exception {
    using Exception::Exception;
};
