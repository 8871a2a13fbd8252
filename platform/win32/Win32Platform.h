// The Win32 side of the seams. Declarations only: <windows.h> stays in the .cpp files,
// so this header can sit beside any portable header.
#pragma once

#include <optional>
#include <string>

#include "common/Platform.h"
#include "common/RaisedError.h"
#include "common/VersionResource.h"

// UTF-8 <-> UTF-16 for the wide API. Invalid input is replaced, never dropped silently.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text, std::size_t length);

// Failures leave this layer as a bool or an empty optional; where the caller needs the
// reason, Windows' error code goes with it, turned into text here and nowhere else.
// Windows' text for an error code, without the trailing line break.
std::string Win32ErrorText(unsigned long code);
// The code and its text as the programs pass errors on.
ErrorInfo Win32ErrorInfo(unsigned long code);

// The string table of the running module (or of `module` when given, an HMODULE).
class Win32StringSource : public IStringSource {
  public:
    explicit Win32StringSource(void* module = nullptr) : module_(module) {}
    std::optional<std::string> Load(int id) const override;

  private:
    void* module_;
};

class Win32Clock : public IClock {
  public:
    std::uint64_t SteadyMilliseconds() override;
    LocalTime Now() override;
    std::string FormatGeneralDate(const LocalTime& time) override;
};

class Win32FileSystem : public IFileSystem {
  public:
    std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    // In Win32FinalPath.cpp.
    std::optional<FinalPath> Resolve(const std::string& path) override;
};

class Win32MessageBoxUi : public IMessageBoxUi {
  public:
    int Show(const std::string& text, const std::string& title, int style) override;
};

class Win32SystemFacts : public ISystemFacts {
  public:
    bool GetVersionRecord(OsVersionRecord& record) override;
    std::optional<std::string> UserName() override;
    std::string WindowsDirectory() override;
    std::string SystemDirectory() override;
    std::string SystemWow64Directory() override;
    std::string TempPath() override;
    std::uint32_t SystemDefaultLocale() override;
    int LocaleInfo(std::uint32_t locale, std::uint32_t kind, std::string& text,
                   int capacity) override;
    int DriveType(const std::string& root) override;
    std::optional<std::string> KnownFolderPath(KnownFolder folder) override;
    std::optional<std::string> ReadNumber(const std::string& text, std::uint32_t locale) override;
};

// The running program's file, and its folder (without a trailing backslash).
std::string Win32ProgramFile();
std::string Win32ProgramFolder();
// The command line after the program's own name, as Windows passed it.
std::string Win32CommandLineArguments();
// A text of the version resource of the running program ("ProductName", "CompanyName",
// ...) in its first translation; "" when there is none.
std::string Win32ModuleVersionString(const std::string& name);
// Shows the exception being handled as a run-time error and returns the exit code 1:
// for what escapes before a program's own entry can catch it. Call only in a catch block.
int Win32ReportUnhandledError(const char* title);
// The version resource of the running program, from its loaded image.
std::optional<ver::VersionBlock> Win32ModuleVersionBlock();
