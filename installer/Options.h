#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// What the command line asks for.
enum class TAction { Install, Status, Remove, Help, Version };

struct TOptions {
    TAction action = TAction::Install;
    bool machine = false;               // the computer's stores instead of the user's
    bool quiet = false;                 // no window and no boxes: messages on standard error
    std::optional<std::string> logFile; // where the messages are appended as well
};

// A command line the program does not take; the message says what is wrong with it.
class EUsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The options of the arguments that follow the program's name; throws EUsageError.
TOptions ParseOptions(const std::vector<std::string>& arguments);

// The options, one a line, as --help prints them.
std::string UsageText();
