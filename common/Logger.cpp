#include "common/Logger.h"

#include <algorithm>

#include "common/StringTable.h"

namespace {

enum Text {
    kUnknownUser,
    kUser,
    kErrorNumber,
    kLocation,
    kErrorBanner,
    kError,
    kDebugBanner,
    kDebug,
    kLocationMissing,
    kCouldNotOpen,
    kSendingTo,
    kFatal,
};

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

}  // namespace

cLogger::cLogger(LoggerDeps deps) : deps_(std::move(deps)) {
    LoadTexts();
    LogFile = FallbackPath();
    UserName = texts_[kUnknownUser];
}

void cLogger::LoadTexts() {
    for (int i = 0; i < kTextCount; ++i)
        texts_[i] = deps_.strings.Load(str_id::kLogTextsFirst + i).value_or("");
}

void cLogger::LogText(int index, const std::string& text) {
    if (index >= 0 && index < kTextCount) texts_[index] = text;
}

std::string cLogger::FallbackPath() const {
    return deps_.programFolder + "\\error.log";
}

std::string cLogger::DateLine() {
    return deps_.clock.FormatGeneralDate(deps_.clock.Now()) + " - " + texts_[kUser] + UserName;
}

bool cLogger::WriteRecord(std::initializer_list<std::string> lines) {
    for (const auto& line : lines)
        if (!file_->WriteLine(line)) return false;
    return true;
}

void cLogger::LogMessage(const std::string& text) {
    if (!MessageLogging || !OpenLog()) return;
    WriteRecord({DateLine(), text, ""});
    CloseLog();
}

void cLogger::LogDebugMessage(const std::string& text) {
    if (!DebugLogging || !OpenLog()) return;
    WriteRecord({texts_[kDebugBanner], DateLine(), texts_[kDebug] + text, ""});
    CloseLog();
}

void cLogger::LogError(const std::string& text, bool showMessage, const ErrorInfo& error) {
    if (OnError) OnError(text, error);
    if (showMessage) {
        const std::string message =
            !text.empty()
                ? text
                : texts_[kErrorNumber] + "\t" + std::to_string(error.Number) + "\r\n" +
                      texts_[kLocation] + "\t" + error.Source + "\r\n" + error.Description;
        deps_.ui.Show(message, deps_.programTitle, mb::kOk | mb::kIconStop);
    }
    if (!ErrorLogging || !OpenLog()) return;
    std::string banner;
    for (int i = 0; i < 6; ++i) banner += texts_[kErrorBanner];
    if (!text.empty())
        WriteRecord({banner, DateLine(), texts_[kError] + text, banner, ""});
    else
        WriteRecord({banner, DateLine(), texts_[kErrorNumber] + std::to_string(error.Number),
                     texts_[kLocation] + error.Source, error.Description, banner, ""});
    CloseLog();
}

bool cLogger::TryOpen(const std::string& path) {
    file_ = deps_.files.OpenAppend(path);
    return file_ != nullptr;
}

void cLogger::CloseLog() {
    file_.reset();
}

bool cLogger::OpenLog() {
    if (TryOpen(LogFile)) return true;
    const std::string fallback = FallbackPath();
    std::string message =
        !IsBlank(LogFile) ? texts_[kCouldNotOpen] + LogFile + texts_[kSendingTo] + fallback + "."
                          : texts_[kLocationMissing] + fallback + ".";
    const bool opened = TryOpen(fallback);
    if (opened) {
        LogFile = fallback;
    } else {
        message = texts_[kFatal] + LogFile + ".";
        // Nothing more is attempted this run, so the user sees this message once.
        ErrorLogging = MessageLogging = DebugLogging = false;
    }
    deps_.ui.Show(message, deps_.programTitle, mb::kOk | mb::kIconInformation);
    return opened;
}
