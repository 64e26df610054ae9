#include "ZAStrFunc.h"
#include "ZipArchiver.h"
#include "platform/Dialogs.h"
#include "runtime/Format.h"

using namespace za;

// Default answers of the events. Those that need the user ask through the shell's dialogs;
// without a shell they take the answer that does no harm: cancel, skip or abort.
namespace {

platform::TDialogResult AskUser(const std::string& text, platform::TDialogButtons buttons,
                                platform::TDialogResult unattended) {
    platform::IDialogs* dialogs = platform::InstalledDialogs();
    return dialogs ? dialogs->Ask(text, "", buttons) : unattended;
}

bool VolumePromptCancelled(const std::string& text) {
    return AskUser(text, platform::TDialogButtons::OkCancel, platform::TDialogResult::Cancel) !=
           platform::TDialogResult::Ok;
}

} // namespace

void TZABaseArchiver::DoOverallProgress(double progress, TZAProcessOperation operation,
                                        TZAProgressPhase phase, bool& cancel) {
    if (OnOverallProgress)
        OnOverallProgress(this, progress, operation, phase, cancel);
    else
        cancel = false;
}

void TZABaseArchiver::DoFileProgress(const std::string& fileName, double progress,
                                     TZAProcessOperation operation, TZAProgressPhase phase,
                                     bool& cancel) {
    if (!OnFileProgress) {
        cancel = false;
        return;
    }
    std::string shown = fileName;
    ReplaceAll(shown, '/', '\\');
    OnFileProgress(this, shown, progress, operation, phase, cancel);
}

void TZABaseArchiver::DoCopyTempFileProgress(double progress, TZAProgressPhase phase,
                                             bool& cancel) {
    if (OnCopyTempFileProgress)
        OnCopyTempFileProgress(this, progress, phase, cancel);
    else
        cancel = false;
}

void TZABaseArchiver::DoConfirmOverwrite(const std::string& sourceFileName,
                                         std::string& destFileName, bool& confirm) {
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(this, sourceFileName, destFileName, confirm);
        return;
    }
    const std::string text =
        Format("Overwrite file \"%s\" with \"%s\"", {destFileName, sourceFileName});
    confirm = AskUser(text, platform::TDialogButtons::YesNo, platform::TDialogResult::No) ==
              platform::TDialogResult::Yes;
}

void TZABaseArchiver::DoConfirmProcessFile(const std::string& fileName,
                                           TZAProcessOperation operation, bool& confirm) {
    if (OnConfirmProcessFile)
        OnConfirmProcessFile(this, fileName, operation, confirm);
    else
        confirm = true;
}

void TZABaseArchiver::DoPassword(const std::string& fileName, std::string& newPassword,
                                 bool& skipFile) {
    if (OnPassword) {
        OnPassword(this, fileName, newPassword, skipFile);
        return;
    }
    platform::IDialogs* dialogs = platform::InstalledDialogs();
    skipFile = !dialogs || !dialogs->InputQuery(Format("Password for \"%s\"", {fileName}),
                                                "Enter password: ", newPassword);
}

void TZABaseArchiver::DoProcessFileFailure(const std::string& fileName,
                                           TZAProcessOperation operation, int32_t nativeError,
                                           int32_t errorCode, const std::string& errorMessage,
                                           TZAAction& action) {
    if (OnProcessFileFailure) {
        OnProcessFileFailure(this, fileName, operation, nativeError, errorCode, errorMessage,
                             action);
        return;
    }
    const auto answer =
        AskUser(Format("%s. File processing error, possibly disk is full", {errorMessage}),
                platform::TDialogButtons::AbortRetryIgnore, platform::TDialogResult::Abort);
    action = answer == platform::TDialogResult::Retry    ? acRetry
             : answer == platform::TDialogResult::Ignore ? acIgnore
                                                         : acAbort;
}

void TZABaseArchiver::DoRequestBlankVolume(int32_t volumeNumber, std::string& volumeFileName,
                                           bool& cancel) {
    if (OnRequestBlankVolume)
        OnRequestBlankVolume(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled(
            Format("Please insert a blank disk #%d", {int64_t{volumeNumber}}));
}

void TZABaseArchiver::DoRequestFirstVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestFirstVolume)
        OnRequestFirstVolume(this, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Please insert the first disk");
}

void TZABaseArchiver::DoRequestLastVolume(std::string& volumeFileName, bool& cancel) {
    if (OnRequestLastVolume)
        OnRequestLastVolume(this, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Please insert the last disk");
}

void TZABaseArchiver::DoRequestMiddleVolume(int32_t volumeNumber, std::string& volumeFileName,
                                            bool& cancel) {
    if (OnRequestMiddleVolume)
        OnRequestMiddleVolume(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled(Format("Please insert disk #%d", {int64_t{volumeNumber}}));
}

void TZABaseArchiver::DoDiskFull(int32_t volumeNumber, const std::string& volumeFileName,
                                 bool& cancel) {
    if (OnDiskFull)
        OnDiskFull(this, volumeNumber, volumeFileName, cancel);
    else
        cancel = VolumePromptCancelled("Disk is full. Required free space: %d bytes, but available "
                                       "only: %d bytes. Clean the disk or find another blank disk");
}

void TZABaseArchiver::DoNotification(uint8_t kind, int32_t a, int32_t b, int32_t c) {
    if (OnNotification)
        OnNotification(this, kind, a, b, c);
}

void TZABaseArchiver::DoStoreFile(std::string& fileName, uint32_t& fileAttr, std::string& comment,
                                  const std::string& originalFileName) {
    if (OnStoreFile)
        OnStoreFile(this, fileName, fileAttr, comment, originalFileName);
}

void TZABaseArchiver::DoExtractFile(std::string& fileName, uint32_t& fileAttr,
                                    const std::string& comment) {
    if (OnExtractFile)
        OnExtractFile(this, fileName, fileAttr, comment);
}
