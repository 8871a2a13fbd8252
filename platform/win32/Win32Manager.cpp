#include <windows.h>
// After <windows.h>, which they need.
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/win32/Win32Launcher.h"
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

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(HANDLE file, std::uint32_t offset, void* buffer, std::uint32_t size) {
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, &at) && read == size;
}

template <typename T>
T Field(const std::vector<unsigned char>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// The version resource of a program file, read straight from its resource section: the
// first name and language below RT_VERSION, as the version functions pick them. Listing
// a folder of screen savers reads every one, and this costs a few small reads where the
// version functions map each file as an image. Nothing when the file is no PE image or
// its resources do not parse; the caller then asks the version functions.
std::optional<std::vector<unsigned char>> ReadVersionBlock(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{file};

    std::vector<unsigned char> head(4096);
    DWORD got = 0;
    if (!ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return std::nullopt;
    head.resize(got);
    if (Field<std::uint16_t>(head, 0) != 0x5A4D) return std::nullopt;  // "MZ"
    const std::uint32_t pe = Field<std::uint32_t>(head, 0x3C);
    if (Field<std::uint32_t>(head, pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
    const std::uint16_t sections = Field<std::uint16_t>(head, pe + 6);
    const std::uint16_t optionalSize = Field<std::uint16_t>(head, pe + 20);
    const std::size_t optional = pe + 24;
    const std::uint16_t magic = Field<std::uint16_t>(head, optional);
    const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
    const std::uint32_t directoryCount =
        Field<std::uint32_t>(head, directories - 4);  // NumberOfRvaAndSizes
    if ((magic != 0x10B && magic != 0x20B) || directoryCount < 3) return std::nullopt;
    const std::uint32_t resourceRva = Field<std::uint32_t>(head, directories + 2 * 8);
    const std::uint32_t resourceSize = Field<std::uint32_t>(head, directories + 2 * 8 + 4);
    if (resourceRva == 0 || resourceSize == 0 || resourceSize > (64u << 20)) return std::nullopt;

    // Relative virtual addresses to file offsets, through the section table.
    const std::size_t table = optional + optionalSize;
    if (table + sections * 40u > head.size()) return std::nullopt;
    const auto fileOffset = [&](std::uint32_t rva) -> std::optional<std::uint32_t> {
        for (std::uint16_t i = 0; i < sections; ++i) {
            const std::size_t s = table + i * 40u;
            const std::uint32_t va = Field<std::uint32_t>(head, s + 12);
            const std::uint32_t extent =
                std::max(Field<std::uint32_t>(head, s + 8), Field<std::uint32_t>(head, s + 16));
            if (rva >= va && rva - va < extent)
                return Field<std::uint32_t>(head, s + 20) + (rva - va);
        }
        return std::nullopt;
    };
    const auto start = fileOffset(resourceRva);
    if (!start) return std::nullopt;
    std::vector<unsigned char> resources(resourceSize);
    if (!ReadAt(file, *start, resources.data(), resourceSize)) return std::nullopt;

    // Three levels: type, name, language. The first entry of a level, or the entry with
    // the given id, and whether it leads to a subdirectory.
    const auto entry = [&](std::uint32_t directory, int id) -> std::optional<std::uint32_t> {
        const std::uint16_t named = Field<std::uint16_t>(resources, directory + 12);
        const std::uint16_t ids = Field<std::uint16_t>(resources, directory + 14);
        for (std::uint32_t i = 0; i < std::uint32_t(named) + ids; ++i) {
            const std::size_t e = directory + 16 + i * 8u;
            if (e + 8 > resources.size()) return std::nullopt;
            const std::uint32_t name = Field<std::uint32_t>(resources, e);
            if (id < 0 || (!(name & 0x80000000u) && name == static_cast<std::uint32_t>(id)))
                return Field<std::uint32_t>(resources, e + 4);
        }
        return std::nullopt;
    };
    constexpr std::uint32_t kSubdirectory = 0x80000000u;
    const auto type = entry(0, 16);  // RT_VERSION
    if (!type || !(*type & kSubdirectory)) return std::nullopt;
    const auto name = entry(*type & ~kSubdirectory, -1);
    if (!name || !(*name & kSubdirectory)) return std::nullopt;
    const auto language = entry(*name & ~kSubdirectory, -1);
    if (!language || (*language & kSubdirectory)) return std::nullopt;
    const std::uint32_t dataRva = Field<std::uint32_t>(resources, *language);
    const std::uint32_t dataSize = Field<std::uint32_t>(resources, *language + 4);
    const auto dataOffset = fileOffset(dataRva);
    if (!dataOffset || dataSize < 6 || dataSize > (1u << 20)) return std::nullopt;
    // Room behind the block, as the version functions leave it for their own use.
    std::vector<unsigned char> block(dataSize * 2 + 16);
    if (!ReadAt(file, *dataOffset, block.data(), dataSize)) return std::nullopt;
    return block;
}

}  // namespace

std::unique_ptr<mgr::IVersionResource> Win32VersionReader::Read(const std::string& path) {
    const std::wstring file = Widen(path);
    if (auto block = ReadVersionBlock(file))
        return std::make_unique<Win32VersionResource>(std::move(*block));
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
    info.path = Win32ProgramFile();

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

bool Win32Elevation::CanWriteMachineKey(const std::string& subKey) {
    // Windows checks the token against the key's security when the key is opened, so an
    // open for the access a save needs is the exact question: HKEY_LOCAL_MACHINE\Software
    // refuses a standard user's token and an administrator's filtered one, lets an
    // elevated one through, and a key whose security lets users write says so too. The
    // manifest's trust information keeps registry virtualisation off, so a refused open
    // is not quietly sent to the user's VirtualStore.
    std::wstring path = Widen(subKey);
    REGSAM access = KEY_SET_VALUE;
    for (;;) {
        HKEY key = nullptr;
        const LONG status =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_32KEY, &key);
        if (status == ERROR_SUCCESS) {
            RegCloseKey(key);
            return true;
        }
        if (status == ERROR_ACCESS_DENIED) return false;
        // A missing key is created by the save: that takes the right to add subkeys to
        // its nearest existing parent.
        const auto slash = path.rfind(L'\\');
        if (status != ERROR_FILE_NOT_FOUND || slash == std::wstring::npos) {
            // Any other answer tells nothing about rights; the save itself will say.
            return true;
        }
        path.resize(slash);
        access = KEY_CREATE_SUB_KEY;
    }
}

mgr::ElevatedStart Win32Elevation::StartElevated(const std::string& program,
                                                 const std::string& parameters) {
    EnsureComOnThisThread();
    const std::wstring file = Widen(program);
    const std::wstring arguments = Widen(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The prompt's answer and any failure come back to the caller, with the process.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    // The prompt belongs to the settings window, and comes up in front of it.
    info.hwnd = GetActiveWindow();
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) return {std::nullopt, GetLastError()};
    // Without a process there is nothing to learn the outcome from.
    if (info.hProcess == nullptr) return {std::nullopt, ERROR_INVALID_HANDLE};
    return {reinterpret_cast<ProcessHandle>(info.hProcess), 0};
}
