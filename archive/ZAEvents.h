#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TZABaseArchiver;

// What an operation does to an item, as its progress events report it.
enum TZAProcessOperation : uint8_t { poNone, poAdd, poExtract, poTest, poDelete, poUpdate };
enum TZAProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
// The answer to a failure on one item.
enum TZAAction : uint8_t { acAbort, acRetry, acIgnore };

// The archiver's events: each handler receives the archiver first; reference parameters are
// the handler's answers.
using TNotifyEvent = std::function<void(TZABaseArchiver* sender)>;
using TZAFileProgressEvent =
    std::function<void(TZABaseArchiver* sender, const std::string& fileName, double progress,
                       TZAProcessOperation operation, TZAProgressPhase phase, bool& cancel)>;
using TZAProgressEvent =
    std::function<void(TZABaseArchiver* sender, double progress, TZAProcessOperation operation,
                       TZAProgressPhase phase, bool& cancel)>;
using TZACopyTempFileProgressEvent = std::function<void(TZABaseArchiver* sender, double progress,
                                                        TZAProgressPhase phase, bool& cancel)>;
using TZAConfirmOverwriteEvent =
    std::function<void(TZABaseArchiver* sender, const std::string& sourceFileName,
                       std::string& destFileName, bool& confirm)>;
using TZAConfirmProcessFileEvent =
    std::function<void(TZABaseArchiver* sender, const std::string& fileName,
                       TZAProcessOperation operation, bool& confirm)>;
using TZAOnPasswordEvent = std::function<void(TZABaseArchiver* sender, const std::string& fileName,
                                              std::string& newPassword, bool& skipFile)>;
using TZAProcessFileFailureEvent = std::function<void(
    TZABaseArchiver* sender, const std::string& fileName, TZAProcessOperation operation,
    int32_t nativeError, int32_t errorCode, const std::string& errorMessage, TZAAction& action)>;
using TZAOnRequestBlankVolumeEvent = std::function<void(
    TZABaseArchiver* sender, int32_t volumeNumber, std::string& volumeFileName, bool& cancel)>;
using TZAOnRequestFirstVolumeEvent =
    std::function<void(TZABaseArchiver* sender, std::string& volumeFileName, bool& cancel)>;
using TZAOnRequestLastVolumeEvent = TZAOnRequestFirstVolumeEvent;
using TZAOnRequestMiddleVolumeEvent = TZAOnRequestBlankVolumeEvent;
using TZAOnDiskFullEvent = std::function<void(TZABaseArchiver* sender, int32_t volumeNumber,
                                              const std::string& volumeFileName, bool& cancel)>;
using TZANotificationEvent =
    std::function<void(TZABaseArchiver* sender, uint8_t kind, int32_t a, int32_t b, int32_t c)>;
using TZAOnStoreFileEvent =
    std::function<void(TZABaseArchiver* sender, std::string& fileName, uint32_t& fileAttr,
                       std::string& comment, const std::string& originalFileName)>;
using TZAOnExtractFileEvent = std::function<void(TZABaseArchiver* sender, std::string& fileName,
                                                 uint32_t& fileAttr, const std::string& comment)>;
