#include "platform/win32/Win32Platform.h"

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32PowerNotices.h"

#include <vector>

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), text.size());
}

std::string Win32ErrorText(unsigned long code) {
    win::LocalText buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return "Error " + std::to_string(code);
    return Narrow(text);
}

ErrorInfo Win32ErrorInfo(unsigned long code) {
    return {static_cast<std::int32_t>(code), "Somnivex", Win32ErrorText(code)};
}

std::optional<std::string> Win32StringSource::Load(int id) const {
    HMODULE module = module_ ? static_cast<HMODULE>(module_) : GetModuleHandleW(nullptr);
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself,
    // so texts of any length come back whole.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::nullopt;
    return Narrow(text, static_cast<std::size_t>(length));
}

std::uint64_t Win32Clock::SteadyMilliseconds() {
    return Win32SteadyMilliseconds();
}

LocalTime Win32Clock::Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string Win32Clock::FormatGeneralDate(const LocalTime& time) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    wchar_t date[128] = {};
    wchar_t clock[128] = {};
    const int dateLength =
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128);
    const int timeLength = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, clock, 128);
    if (dateLength <= 0 || timeLength <= 0) {
        // No locale data: fall back to an unambiguous form rather than an empty line.
        char buffer[64];
        wsprintfA(buffer, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
        return buffer;
    }
    return Narrow(date) + " " + Narrow(clock);
}

namespace {

class Win32AppendFile : public IAppendFile {
  public:
    explicit Win32AppendFile(win::UniqueHandle file) : file_(std::move(file)) {}
    bool WriteLine(const std::string& text) override {
        const std::string line = text + "\r\n";
        DWORD written = 0;
        return WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
               written == line.size();
    }

  private:
    win::UniqueHandle file_;
};

}  // namespace

std::unique_ptr<IAppendFile> Win32FileSystem::OpenAppend(const std::string& path) {
    if (path.empty()) return nullptr;
    // FILE_APPEND_DATA makes every write land at the end, also when another program
    // appends to the same file between our writes.
    win::UniqueHandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32AppendFile>(std::move(file));
}

bool Win32FileSystem::FileExists(const std::string& path) {
    if (path.empty()) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int Win32MessageBoxUi::Show(const std::string& text, const std::string& title, int style) {
    // Owned by the program's active window, so the box is modal to it.
    return MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(title).c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

std::string Win32ProgramFile() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string Win32ProgramFolder() {
    const std::string path = Win32ProgramFile();
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Win32CommandLineArguments() {
    const wchar_t* p = GetCommandLineW();
    // The program's name is quoted or ends at the first blank, as the C runtime reads it.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return Narrow(std::wstring(p));
}

int Win32ReportUnhandledError(const char* title) {
    const std::string text = RunTimeErrorText(CurrentErrorInfo());
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(), MB_OK | MB_ICONSTOP);
    return 1;
}

std::optional<ver::VersionBlock> Win32ModuleVersionBlock() {
    // Our own resource, straight from the loaded image: no version functions needed.
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const auto* data = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (!data) return std::nullopt;
    return ver::VersionBlock::Parse({data, data + SizeofResource(self, found)});
}

std::string Win32ModuleVersionString(const std::string& name) {
    const auto block = Win32ModuleVersionBlock();
    const auto translation = block ? block->Value("\\VarFileInfo\\Translation") : std::nullopt;
    const auto subBlock = translation ? ver::StringSubBlock(*translation, name) : std::nullopt;
    return subBlock ? block->Text(*subBlock).value_or("") : std::string();
}
