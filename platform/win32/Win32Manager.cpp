#include <windows.h>
// After <windows.h>, which it needs.
#include <commdlg.h>

#include <vector>

#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"

std::vector<mgr::FoundFile> Win32FileFinder::Find(const std::string& folder,
                                                  const std::string& pattern) {
    std::vector<mgr::FoundFile> found;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(Widen(folder + pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        // The name field is NUL-terminated inside its fixed buffer.
        found.push_back({Narrow(data.cFileName, wcsnlen(data.cFileName, MAX_PATH)),
                         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

namespace {

class Win32VersionResource : public mgr::IVersionResource {
  public:
    explicit Win32VersionResource(std::vector<unsigned char> data) : data_(std::move(data)) {}

    std::optional<std::vector<std::uint8_t>> Value(const std::string& subBlock) const override {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), Widen(subBlock).c_str(), &value, &length) ||
            length == 0 || value == nullptr)
            return std::nullopt;
        const auto* bytes = static_cast<const std::uint8_t*>(value);
        return std::vector<std::uint8_t>(bytes, bytes + length);
    }

    std::optional<std::string> Text(const std::string& subBlock) const override {
        void* value = nullptr;
        UINT length = 0;  // in characters
        if (!VerQueryValueW(data_.data(), Widen(subBlock).c_str(), &value, &length) ||
            length == 0 || value == nullptr)
            return std::nullopt;
        const auto* text = static_cast<const wchar_t*>(value);
        return Narrow(text, wcsnlen(text, length));
    }

  private:
    // VerQueryValueW takes a non-const block; it does not change it.
    mutable std::vector<unsigned char> data_;
};

}  // namespace

std::unique_ptr<mgr::IVersionResource> Win32VersionReader::Read(const std::string& path) {
    const std::wstring file = Widen(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return nullptr;
    std::vector<unsigned char> data(size + 1);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return nullptr;
    return std::make_unique<Win32VersionResource>(std::move(data));
}

std::optional<std::string> Win32OpenFileDialog::Show(const std::string& filterDescription,
                                                     const std::string& pattern,
                                                     const std::string& fileName) {
    // "description\0pattern\0\0": one filter entry.
    std::wstring filter = Widen(filterDescription);
    filter.push_back(L'\0');
    filter += Widen(pattern);
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring initial = Widen(fileName);
    if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    // Modal to the settings window, which is active when OK asks for the launcher.
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return Narrow(file.data(), wcsnlen(file.data(), file.size()));
}

mgr::ProgramInfo Win32ManagerProgramInfo() {
    mgr::ProgramInfo info;
    info.companyName = Win32ModuleVersionString("CompanyName");
    info.legalCopyright = Win32ModuleVersionString("LegalCopyright");
    info.comments = Win32ModuleVersionString("Comments");

    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return info;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return info;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data())) return info;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return info;
    // Major.minor.patch.build: the third part is the revision the About page shows.
    info.major = HIWORD(fixed->dwFileVersionMS);
    info.minor = LOWORD(fixed->dwFileVersionMS);
    info.revision = HIWORD(fixed->dwFileVersionLS);
    return info;
}
