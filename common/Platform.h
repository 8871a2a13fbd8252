// The small seams through which the common library reaches Windows. Each has a Win32
// implementation in platform/win32 and an in-memory one in platform/fake. No name here
// may clash with a <windows.h> macro.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The program's string table, by id. The texts are UTF-8.
class IStringSource {
  public:
    virtual ~IStringSource() = default;
    virtual std::optional<std::string> Load(int id) const = 0;
};

// A local date and time, to the second.
struct LocalTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class IClock {
  public:
    virtual ~IClock() = default;
    // A monotonic count of milliseconds; it never jumps with the wall clock.
    virtual std::uint64_t SteadyMilliseconds() = 0;
    virtual LocalTime Now() = 0;
    // Short date and long time in the user's locale ("4/1/2000 10:41:49 PM").
    virtual std::string FormatGeneralDate(const LocalTime& time) = 0;
};

// One open file, appended to line by line; closed when released.
class IAppendFile {
  public:
    virtual ~IAppendFile() = default;
    // Writes the text and CR LF. False when the write failed.
    virtual bool WriteLine(const std::string& text) = 0;
};

// Where a path leads once the system has followed it.
struct FinalPath {
    // Full, with every ".", "..", "/", junction and link resolved, in the ordinary form
    // ("C:\...", "\\server\share\...").
    std::string path;
    bool isFolder = false;
};

class IFileSystem {
  public:
    virtual ~IFileSystem() = default;
    // Opens `path` for appending, creating a missing file; null when it cannot.
    virtual std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) = 0;
    // True when the length of the file at `path` can be read (an empty file exists).
    virtual bool FileExists(const std::string& path) = 0;
    // The existing file or folder `path` names, as the system reaches it when it opens
    // it; nullopt when there is none, or it cannot be opened.
    virtual std::optional<FinalPath> Resolve(const std::string& path) = 0;
};

// Windows' message-box codes, as both programs use them.
namespace mb {
constexpr int kOk = 0;
constexpr int kOkCancel = 1;
constexpr int kAbortRetryIgnore = 2;
constexpr int kYesNoCancel = 3;
constexpr int kYesNo = 4;
constexpr int kRetryCancel = 5;
constexpr int kIconStop = 16;
constexpr int kIconQuestion = 32;
constexpr int kIconExclamation = 48;
constexpr int kIconInformation = 64;
constexpr int kDefButton2 = 256;
constexpr int kDefButton3 = 512;

constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;
constexpr int kResultAbort = 3;
constexpr int kResultRetry = 4;
constexpr int kResultIgnore = 5;
constexpr int kResultYes = 6;
constexpr int kResultNo = 7;
}  // namespace mb

// The platform's standard message box.
class IMessageBoxUi {
  public:
    virtual ~IMessageBoxUi() = default;
    // Shows the message modally and returns the result code of the button chosen.
    virtual int Show(const std::string& text, const std::string& title, int style) = 0;
};

// The platform's version record (OSVERSIONINFO without its size field).
struct OsVersionRecord {
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    std::string szCSDVersion;
};

// Folders the shell knows by name. ProgramFiles is the folder of the system's own kind
// of programs (64-bit ones on 64-bit Windows, whatever this program is built as);
// ProgramFilesX86 that of 32-bit programs (the same folder on 32-bit Windows).
enum class KnownFolder { Programs, Startup, CommonStartup, ProgramFiles, ProgramFilesX86 };

// The locale the user has chosen for numbers, dates and sorting (LOCALE_USER_DEFAULT).
constexpr std::uint32_t kUserDefaultLocale = 0x0400;

// A number in the plain form ISystemFacts::ReadNumber gives: +-digits x 10^exponent as
// decimal digits with "." before any fraction, without zeros that say nothing, and
// without a sign on zero ("-2.5", "30", "0.04", "0").
inline std::string PlainDecimal(bool negative, std::string digits, int exponent) {
    std::string whole = digits, fraction;
    if (exponent > 0) whole.append(static_cast<std::size_t>(exponent), '0');
    if (exponent < 0) {
        const auto places = static_cast<std::size_t>(-static_cast<long long>(exponent));
        if (digits.size() < places) digits.insert(0, places - digits.size(), '0');
        whole = digits.substr(0, digits.size() - places);
        fraction = digits.substr(digits.size() - places);
    }
    whole.erase(0, whole.find_first_not_of('0'));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.empty()) whole.assign(1, '0');
    std::string text = negative && (whole != "0" || !fraction.empty()) ? "-" : "";
    text += whole;
    if (!fraction.empty()) text.append(1, '.').append(fraction);
    return text;
}

// Facts about the machine and the user, as the platform reports them. Every call that
// can fail says so; nothing throws.
class ISystemFacts {
  public:
    virtual ~ISystemFacts() = default;
    // False when the platform refused; the record is then left as it was.
    virtual bool GetVersionRecord(OsVersionRecord& record) = 0;
    // The logon name; nullopt when the platform refused.
    virtual std::optional<std::string> UserName() = 0;
    virtual std::string WindowsDirectory() = 0;
    virtual std::string SystemDirectory() = 0;
    // The folder of the 32-bit system programs on 64-bit Windows (SysWOW64); "" where
    // there is none.
    virtual std::string SystemWow64Directory() = 0;
    // With the trailing backslash, as the platform returns it.
    virtual std::string TempPath() = 0;
    virtual std::uint32_t SystemDefaultLocale() = 0;
    // GetLocaleInfo: with capacity 0 returns the length needed (with the NUL); otherwise
    // fills `text` with at most `capacity` characters and returns the count copied,
    // NUL included, or 0 on failure.
    virtual int LocaleInfo(std::uint32_t locale, std::uint32_t kind, std::string& text,
                           int capacity) = 0;
    // GetDriveType of a root such as "C:\"; Windows' codes (0 unknown, 1 no root dir,
    // 2 removable, 3 fixed, 4 remote, 5 CD-ROM, 6 RAM disk).
    virtual int DriveType(const std::string& root) = 0;
    // The shell's own answer for a folder; nullopt when it has none.
    virtual std::optional<std::string> KnownFolderPath(KnownFolder folder) = 0;
    // `text` read as a number the way people write one in `locale`: blanks around it, a
    // leading sign and a fraction after the locale's decimal separator. Group separators,
    // exponents and currency signs make no number. The number comes back exactly, in
    // the form of PlainDecimal; nullopt when the text is no number or the locale unknown.
    virtual std::optional<std::string> ReadNumber(const std::string& text,
                                                  std::uint32_t locale) = 0;
};
