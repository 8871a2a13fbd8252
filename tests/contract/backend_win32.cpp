#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract/Backend.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Registry.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

// Removes `path` below `parent` with everything under it, in the same view the port uses.
void DeleteTree(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | DELETE | kView, &key) != ERROR_SUCCESS)
        return;
    // Names first, deletions after: deleting while enumerating shifts the indexes.
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.emplace_back(name, length);
    }
    for (const auto& child : children) DeleteTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyExW(parent, path.c_str(), kView, 0);
}

void DeleteFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteFolder(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

class Win32Backend : public ContractBackend {
  public:
    Win32Backend() {
        static int counter = 0;
        const std::wstring unique =
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        scratchKey_ = L"SomnivexContract\\" + unique;

        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        std::wstring folder(temp, length);
        if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        folder_ = folder + L"\\SomnivexContract-" + unique;
        CreateDirectoryW(folder_.c_str(), nullptr);
    }

    ~Win32Backend() override {
        // The policy key is one key in both views.
        DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Policies\\" + scratchKey_);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\SomnivexContract", kView, 0);
        if (messages_) FreeLibrary(messages_);
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            DeleteTree(hive, L"Software\\" + scratchKey_);
            // Goes only when no other test's key is left in it.
            RegDeleteKeyExW(hive, L"Software\\SomnivexContract", kView, 0);
        }
        DeleteFolder(folder_);
    }

    const char* Name() const override { return "win32"; }
    IRegistryPort& Registry() override { return *registry_; }
    std::string ScratchSoftwareKey() override { return Narrow(scratchKey_); }
    void PutMachineValue(RegView view, const std::string& path, const std::string& name,
                         std::uint32_t type, const std::vector<std::uint8_t>& bytes) override {
        const REGSAM access =
            KEY_SET_VALUE | (view == RegView::kNative ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(path).c_str(), 0, nullptr, 0, access, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            // Texts come as UTF-8 with their NUL, which converts along.
            const std::wstring text = Widen(std::string(bytes.begin(), bytes.end()));
            RegSetValueExW(key, Widen(name).c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(text.data()),
                           static_cast<DWORD>(text.size() * sizeof(wchar_t)));
        } else {
            RegSetValueExW(key, Widen(name).c_str(), 0, type, bytes.data(),
                           static_cast<DWORD>(bytes.size()));
        }
        RegCloseKey(key);
    }
    IFileSystem& Files() override { return files_; }
    std::string ScratchFolder() override { return Narrow(folder_); }
    // The test executable's resources hold the screen saver's string table.
    const IStringSource* CompiledStrings() override { return &strings_; }
    mgr::IElevation& Elevation() override { return elevation_; }
    IEventLoop& Loop() override { return *loop_; }
    IClock& Clock() override { return clock_; }
    ILauncher& Launcher() override { return *launcher_; }
    std::string ExitingProgram() override {
        wchar_t folder[MAX_PATH + 1] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
        return Narrow(std::wstring(folder, length)) + "\\cmd.exe";
    }
    FormHost& Forms() override {
        if (!forms_) forms_ = NewWin32FormHost(*loop_);
        return *forms_;
    }
    // A hidden drop-down list of the system's own, sorted by the system.
    std::optional<std::vector<std::string>> ListControlOrder(
        const std::vector<std::string>& texts) override {
        HWND list = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWNLIST | CBS_SORT, 0,
                                    0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        if (!list) return std::nullopt;
        for (const auto& text : texts)
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        std::vector<std::string> order;
        const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(
                                  SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0)),
                              L'\0');
            text.push_back(L'\0');
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text.data()));
            text.pop_back();
            order.push_back(Narrow(text));
        }
        DestroyWindow(list);
        return order;
    }
    bool HasPowerNotices() const override { return true; }
    bool SendPowerNotice(PowerNotice notice) override {
        const HWND listener = FindWindowW(L"SomnivexPower", nullptr);
        if (!listener) return false;
        const WPARAM event = notice == PowerNotice::Suspend           ? PBT_APMSUSPEND
                             : notice == PowerNotice::ResumeAutomatic ? PBT_APMRESUMEAUTOMATIC
                                                                      : PBT_APMRESUMESUSPEND;
        SendMessageW(listener, WM_POWERBROADCAST, event, 0);
        return true;
    }
    bool HasEventMessages() override { return MessageModule() != nullptr; }
    std::optional<std::string> EventMessage(std::uint32_t id) override {
        HMODULE module = MessageModule();
        if (!module) return std::nullopt;
        wchar_t* text = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           module, id, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::optional<std::string> message;
        if (length && text) message = Narrow(text, length);
        if (text) LocalFree(text);
        return message;
    }

  private:
    // The built Somnivex.scr, loaded as Event Viewer loads a message file: as data.
    HMODULE MessageModule() {
        if (!messages_) {
            std::string path = SOMNIVEX_SCR_FILE;
            // Built on Linux: Wine shows the host's root as drive Z:.
            if (!path.empty() && path.front() == '/') path = "Z:" + path;
            std::replace(path.begin(), path.end(), '/', '\\');
            messages_ = LoadLibraryExW(Widen(path).c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        }
        return messages_;
    }

    HMODULE messages_ = nullptr;
    std::unique_ptr<IRegistryPort> registry_ = NewWin32Registry();
    Win32Elevation elevation_;
    std::unique_ptr<IWin32EventLoop> loop_ = NewWin32EventLoop();
    std::unique_ptr<ILauncher> launcher_ = NewWin32Launcher();
    Win32Clock clock_;
    Win32FileSystem files_;
    Win32StringSource strings_;
    // Declared after the loop it uses, so it is destroyed first.
    std::unique_ptr<IWin32FormHost> forms_;
    std::wstring scratchKey_;
    std::wstring folder_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() {
    return std::make_unique<Win32Backend>();
}
