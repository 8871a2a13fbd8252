// cLogger: reports errors in a message box and, when its switches are on, appends
// error, message and debug records to a plain-text log file. No file stays open
// between records.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/Platform.h"
#include "common/RaisedError.h"

struct LoggerDeps {
    const IStringSource& strings;
    IFileSystem& files;
    IMessageBoxUi& ui;
    IClock& clock;
    std::string programFolder;  // the folder of the running program, no trailing "\"
    std::string programTitle;   // the title of its message boxes
};

class cLogger {
  public:
    explicit cLogger(LoggerDeps deps);

    static constexpr int kTextCount = 12;

    std::string LogFile;
    std::string UserName;
    bool ErrorLogging = false;
    bool MessageLogging = false;
    bool DebugLogging = false;

    // Replaces one of the twelve texts (0 to 11); other indexes are ignored.
    void LogText(int index, const std::string& text);
    const std::string& LogTextAt(int index) const { return texts_.at(index); }

    void LogMessage(const std::string& text);
    // Reports `error`, or `text` when it is not empty: in a message box when
    // `showMessage`, and as a record when error logging is on.
    void LogError(const std::string& text, bool showMessage, const ErrorInfo& error = {});
    void LogDebugMessage(const std::string& text);

    // Told of every error LogError reports, before any message box: the file records
    // stay off, and the errors still reach the event log.
    std::function<void(const std::string& text, const ErrorInfo& error)> OnError;

  private:
    void LoadTexts();
    bool OpenLog();
    bool TryOpen(const std::string& path);
    void CloseLog();
    std::string DateLine();
    std::string FallbackPath() const;
    // Writes the lines to the open file; stops at the first failed write.
    bool WriteRecord(std::initializer_list<std::string> lines);

    LoggerDeps deps_;
    std::array<std::string, kTextCount> texts_;
    std::unique_ptr<IAppendFile> file_;
};
