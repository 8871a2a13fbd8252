#include "platform/win32/ScopedWin32.h"

// The shell headers need the types of <windows.h> first.
#include <knownfolders.h>
#include <oleauto.h>
#include <shlobj.h>

#include <vector>

#include "platform/win32/Win32Platform.h"

bool Win32SystemFacts::GetVersionRecord(OsVersionRecord& record) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExW(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!ok) return false;
    record.dwMajorVersion = info.dwMajorVersion;
    record.dwMinorVersion = info.dwMinorVersion;
    record.dwBuildNumber = info.dwBuildNumber;
    record.dwPlatformId = info.dwPlatformId;
    record.szCSDVersion = Narrow(info.szCSDVersion);
    return true;
}

namespace {

// Calls a GetXxxDirectoryW-style function (size in characters, returns the length
// without the NUL, or the size needed with it when the buffer is short) until the
// whole path fits, so long paths come back whole.
template <typename Call>
std::string ReadPath(Call call) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return Narrow(buffer.data(), length);
        buffer.assign(length + 1, L'\0');
    }
    return {};
}

#if !defined(_WIN64)
// The value of an environment variable; nullopt when it is unset or empty.
std::optional<std::string> Environment(const wchar_t* name) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length =
            GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return Narrow(buffer.data(), length);
        buffer.assign(length + 1, L'\0');
    }
    return std::nullopt;
}
#endif

}  // namespace

std::optional<std::string> Win32SystemFacts::UserName() {
    DWORD size = 257;  // UNLEN + 1
    std::wstring buffer(size, L'\0');
    if (!GetUserNameW(buffer.data(), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        buffer.assign(size, L'\0');
        if (!GetUserNameW(buffer.data(), &size)) return std::nullopt;
    }
    // The name ends at its NUL; the size returned counts that NUL too.
    return Narrow(buffer.c_str());
}

std::string Win32SystemFacts::WindowsDirectory() {
    return ReadPath([](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); });
}

std::string Win32SystemFacts::SystemDirectory() {
    return ReadPath([](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); });
}

std::string Win32SystemFacts::SystemWow64Directory() {
    // Fails (ERROR_CALL_NOT_IMPLEMENTED) on 32-bit Windows, which has no such folder.
    return ReadPath([](wchar_t* b, UINT n) { return GetSystemWow64DirectoryW(b, n); });
}

std::string Win32SystemFacts::TempPath() {
    return ReadPath([](wchar_t* b, UINT n) {
        return static_cast<UINT>(GetTempPathW(static_cast<DWORD>(n), b));
    });
}

std::uint32_t Win32SystemFacts::SystemDefaultLocale() {
    return GetSystemDefaultLCID();
}

int Win32SystemFacts::LocaleInfo(std::uint32_t locale, std::uint32_t kind, std::string& text,
                                 int capacity) {
    // The seam carries text only; a binary answer would be misread as characters.
    if (kind & LOCALE_RETURN_NUMBER) return 0;
    const int wideNeeded = GetLocaleInfoW(locale, kind, nullptr, 0);
    if (wideNeeded <= 0) return 0;
    std::wstring wide(static_cast<std::size_t>(wideNeeded), L'\0');
    const int wideCount = GetLocaleInfoW(locale, kind, wide.data(), wideNeeded);
    if (wideCount <= 0) return 0;
    // Counts are in UTF-8 bytes, NUL included, so "count - 1" is the text's length.
    const std::string utf8 = Narrow(wide.c_str());
    const int count = static_cast<int>(utf8.size()) + 1;
    if (capacity == 0) return count;
    if (capacity < count) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    text = utf8;
    return count;
}

int Win32SystemFacts::DriveType(const std::string& root) {
    return static_cast<int>(GetDriveTypeW(Widen(root).c_str()));
}

std::optional<std::string> Win32SystemFacts::KnownFolderPath(KnownFolder folder) {
    const KNOWNFOLDERID* id = &FOLDERID_Programs;
    switch (folder) {
        case KnownFolder::Programs:
            id = &FOLDERID_Programs;
            break;
        case KnownFolder::Startup:
            id = &FOLDERID_Startup;
            break;
        case KnownFolder::CommonStartup:
            id = &FOLDERID_CommonStartup;
            break;
        case KnownFolder::ProgramFiles:
#if !defined(_WIN64)
            // A 32-bit program on 64-bit Windows is given Program Files (x86) for this id,
            // and may not ask for FOLDERID_ProgramFilesX64; the system names the 64-bit
            // folder for it in ProgramW6432, which 32-bit Windows leaves unset.
            if (const auto native = Environment(L"ProgramW6432")) return native;
#endif
            id = &FOLDERID_ProgramFiles;
            break;
        case KnownFolder::ProgramFilesX86:
            id = &FOLDERID_ProgramFilesX86;
            break;
    }
    // The shell may allocate even when it fails: the owner frees it either way.
    win::CoTaskText path;
    const HRESULT hr = SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, path.Put());
    if (FAILED(hr) || !path || !*path.Get()) return std::nullopt;
    return Narrow(std::wstring(path.Get()));
}

std::optional<std::string> Win32SystemFacts::ReadNumber(const std::string& text,
                                                        std::uint32_t locale) {
    std::wstring wide = Widen(text);  // not const for the call, which only reads it
    // Room for every character as a digit, so no digit is rounded away.
    std::vector<BYTE> digits(wide.size() + 1);
    NUMPARSE parse{};
    parse.cDig = static_cast<INT>(digits.size());
    // The system's own reading of numbers in the locale, limited to what a number of
    // minutes needs: blanks, a leading sign and a fraction. A group separator would make
    // "2.5" twenty-five minutes in German.
    parse.dwInFlags = NUMPRS_LEADING_WHITE | NUMPRS_TRAILING_WHITE | NUMPRS_LEADING_PLUS |
                      NUMPRS_LEADING_MINUS | NUMPRS_DECIMAL | NUMPRS_USE_ALL;
    if (FAILED(VarParseNumFromStr(wide.data(), locale, 0, &parse, digits.data()))) return {};
    if (parse.cDig < 0 || parse.cDig > static_cast<INT>(digits.size()) ||
        parse.nPwr10 < -static_cast<INT>(digits.size()) ||
        parse.nPwr10 > static_cast<INT>(digits.size()))
        return {};
    std::string plain;
    for (INT i = 0; i < parse.cDig; ++i) plain += static_cast<char>('0' + digits[i] % 10);
    return PlainDecimal((parse.dwOutFlags & NUMPRS_NEG) != 0, plain, parse.nPwr10);
}
