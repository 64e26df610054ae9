#include "CommandLine.h"

#include "Options.h"
#include "Removal.h"
#include "Shell.h"
#include "ShownMessage.h"
#include "StatusReport.h"
#include "Texts.h"
#include "gui/LoggedApplication.h"
#include "platform/CodePages.h"
#include "unzip/uzip.h"

#include <fstream>

using namespace platform;

namespace {

enum TExitStatus { kDone = 0, kFailed = 1, kUsageOrBundle = 2, kNoRights = 3 };

// One run of the command line: where its lines go, and the stores of its scope.
class TRun {
public:
    TRun(const TOptions& options, const TSystem& system) : options_(options), system_(system) {}

    int Start() {
        if (options_.logFile) {
            log_.open(*options_.logFile, std::ios::app | std::ios::binary);
            if (!log_)
                return Refuse("cannot open the log file " + *options_.logFile, kUsageOrBundle);
        }
        if (options_.machine && options_.action != TAction::Status &&
            !system_.administratorRights())
            return Refuse("--machine needs administrator rights (root); nothing was changed",
                          kNoRights);
        switch (options_.action) {
        case TAction::Status:
            return Status();
        case TAction::Remove:
            return Remove();
        default:
            return Install();
        }
    }

private:
    int Refuse(const std::string& why, int status) {
        Line(system_.err, "certinstall: " + why);
        return status;
    }
    void Line(std::ostream& stream, const std::string& line) {
        stream << line << std::endl;
        if (log_.is_open())
            log_ << line << std::endl;
    }
    ICertStoreService& Stores() const {
        return system_.stores(options_.machine ? TStoreScope::LocalMachine
                                               : TStoreScope::CurrentUser);
    }
    // The user's application, its messages in the log as well.
    std::unique_ptr<IApplication> Application(TPresentation presentation) {
        auto shown = system_.application(options_.quiet ? TPresentation::Quiet : presentation);
        if (!log_.is_open())
            return shown;
        return std::make_unique<LoggedApplication>(std::move(shown), texts::ApplicationTitle(),
                                                   texts::ErrorCaption(), log_);
    }

    int Install() {
        const auto application = Application(TPresentation::Window);
        return RunInstaller(*application, Stores(), system_.bundle);
    }

    int Status() {
        return Guarded([&](IApplication&) {
            return ReportStatus(Stores(), *OpenBundle(system_.bundle),
                                [&](const std::string& line) { Line(system_.out, line); });
        });
    }

    int Remove() {
        return Guarded([&](IApplication& application) {
            const bool removed =
                RemoveBundle(Stores(), *OpenBundle(system_.bundle), [&](const std::exception& e) {
                    application.ShowErrorDialog(ShownMessage(e));
                });
            if (removed)
                application.ShowInfoMessage(texts::RemovalDone());
            return removed;
        });
    }

    // A run without a window, whose errors are messages on the console.
    int Guarded(const std::function<bool(IApplication&)>& run) {
        const auto application = Application(TPresentation::Console);
        try {
            return run(*application) ? kDone : kFailed;
        } catch (const std::exception& e) {
            application->ShowErrorDialog(ShownMessage(e));
            return dynamic_cast<const EBundleError*>(&e) ? kUsageOrBundle : kFailed;
        }
    }

    const TOptions& options_;
    const TSystem& system_;
    std::ofstream log_;
};

} // namespace

int RunCommandLine(const std::vector<std::string>& arguments, const TSystem& system) {
    TOptions options;
    try {
        options = ParseOptions(arguments);
    } catch (const EUsageError& e) {
        system.err << "certinstall: " << e.what() << "\n" << UsageText();
        return kUsageOrBundle;
    }
    if (options.action == TAction::Help) {
        system.out << UsageText();
        return kDone;
    }
    if (options.action == TAction::Version) {
        system.out << "certinstall " CERTINSTALL_VERSION "\n";
        return kDone;
    }
    return TRun(options, system).Start();
}
