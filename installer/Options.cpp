#include "Options.h"

#include <map>

namespace {

// Each option's long name; Windows also takes "/name", and "/?" for help.
const std::map<std::string, TAction> kActions{{"status", TAction::Status},
                                              {"remove", TAction::Remove},
                                              {"help", TAction::Help},
                                              {"version", TAction::Version}};

// The option's name without its "--" (or, on Windows, "/"); empty for a word that is none.
std::string OptionName(const std::string& argument) {
    if (argument.rfind("--", 0) == 0)
        return argument.substr(2);
#ifdef _WIN32
    if (argument == "/?")
        return "help";
    if (argument.rfind('/', 0) == 0)
        return argument.substr(1);
#endif
    return "";
}

void SetAction(TOptions& options, TAction action) {
    const bool onlyOne = action == TAction::Status || action == TAction::Remove;
    if (onlyOne && (options.action == TAction::Status || options.action == TAction::Remove) &&
        options.action != action)
        throw EUsageError("--status and --remove exclude each other");
    // Help and the version answer whatever else was asked.
    if (options.action != TAction::Help && options.action != TAction::Version)
        options.action = action;
}

} // namespace

TOptions ParseOptions(const std::vector<std::string>& arguments) {
    TOptions options;
    for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
        const std::string name = OptionName(*argument);
        if (name == "machine")
            options.machine = true;
        else if (name == "quiet")
            options.quiet = true;
        else if (name == "log") {
            if (++argument == arguments.end() || argument->empty())
                throw EUsageError("--log needs a file name");
            options.logFile = *argument;
        } else if (const auto action = kActions.find(name); action != kActions.end())
            SetAction(options, action->second);
        else
            throw EUsageError("unknown option: " + *argument);
    }
    return options;
}

std::string UsageText() {
    return "Usage: certinstall [--machine] [--status | --remove] [--quiet] [--log FILE]\n"
           "       certinstall --help | --version\n"
           "Installs the program's certificates and CRLs into the current user's stores.\n"
           "  --machine   the computer's stores, for every account and every program\n"
           "              (needs administrator rights)\n"
           "  --status    says for each store and object whether it is there; no window\n"
           "  --remove    takes exactly the program's certificates and CRLs out again\n"
           "  --quiet     no window and no boxes: each message on standard error\n"
           "  --log FILE  each message appended to FILE as well\n"
           "Exit status: 0 done (or all in place), 1 a certificate or store failed,\n"
           "2 a usage or bundle error, 3 administrator rights missing.\n"
#ifdef _WIN32
           "The options may also be written /machine, /status, /remove, /quiet, /log FILE, /?.\n"
#endif
        ;
}
