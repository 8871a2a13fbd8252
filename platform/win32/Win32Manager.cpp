#include "platform/win32/ScopedWin32.h"
// After <windows.h>, which they need.
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/win32/Win32DynamicCalls.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"

std::vector<mgr::FoundFile> Win32FileFinder::Find(const std::string& folder,
                                                  const std::string& pattern) {
    std::vector<mgr::FoundFile> found;
    WIN32_FIND_DATAW data;
    const win::ScopedFind search(FindFirstFileW(Widen(folder + pattern).c_str(), &data));
    if (!search) return found;
    do {
        // The name field is NUL-terminated inside its fixed buffer.
        found.push_back({Narrow(data.cFileName, wcsnlen(data.cFileName, MAX_PATH)),
                         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &data));
    return found;
}

namespace {

// Answers VerQueryValue's two questions from a block our own reader has checked.
class CheckedVersionResource : public mgr::IVersionResource {
  public:
    explicit CheckedVersionResource(ver::VersionBlock block) : block_(std::move(block)) {}

    std::optional<std::vector<std::uint8_t>> Value(const std::string& subBlock) const override {
        return block_.Value(subBlock);
    }
    std::optional<std::string> Text(const std::string& subBlock) const override {
        return block_.Text(subBlock);
    }

  private:
    ver::VersionBlock block_;
};

// A file's bytes for our reader, which reads ahead itself and asks for each range once.
// Each read moves the file pointer and reads from there: under Wine a read at an offset
// given in an OVERLAPPED posts a completion to the server as well, one more round trip
// per read, which a folder of 2,000 screen savers feels.
class FileBytes : public ver::IByteSource {
  public:
    explicit FileBytes(HANDLE file) : file_(file) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0)
            size_ = static_cast<std::uint64_t>(size.QuadPart);
    }

    std::uint64_t Size() override { return size_; }

    // The reader asks for at most 64 MiB at a time, well within one ReadFile.
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) override {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return 0;
        std::size_t done = 0;
        while (done < size) {
            DWORD got = 0;
            if (!ReadFile(file_, out + done, static_cast<DWORD>(size - done), &got, nullptr) ||
                got == 0)
                break;
            done += got;
        }
        return done;
    }

  private:
    HANDLE file_;
    std::uint64_t size_ = 0;
};

// The system's version functions, for files that are no PE image (a 16-bit program): found at run
// time in the system folder, so that no version.dll lying beside the program is ever loaded, and
// only the block they copy is used, through our reader.
std::unique_ptr<mgr::IVersionResource> SystemVersionResource(const std::wstring& path) {
    const auto sizeOf = Dyn().getFileVersionInfoSize;
    const auto infoOf = Dyn().getFileVersionInfo;
    if (!sizeOf || !infoOf) return nullptr;
    DWORD ignored = 0;
    const DWORD size = sizeOf(path.c_str(), &ignored);
    // A block is at most 64 KiB; the system asks for room to convert it as well.
    if (size == 0 || size > (1u << 20)) return nullptr;
    std::vector<std::uint8_t> data(size);
    if (!infoOf(path.c_str(), 0, size, data.data())) return nullptr;
    auto block = ver::VersionBlock::Parse(std::move(data));
    if (!block) return nullptr;
    return std::make_unique<CheckedVersionResource>(std::move(*block));
}

// What our reader finds in the file; nothing when it cannot be opened. The file is closed
// again before the system's functions open it themselves.
std::optional<ver::ImageVersion> ReadImageFile(const std::wstring& path) {
    const win::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    FileBytes bytes(file);
    return ver::ReadImageVersion(bytes);
}

}  // namespace

std::unique_ptr<mgr::IVersionResource> Win32VersionReader::Read(const std::string& path) {
    const std::wstring file = Widen(path);
    std::optional<ver::ImageVersion> image = ReadImageFile(file);
    if (!image) return nullptr;
    if (image->block) return std::make_unique<CheckedVersionResource>(std::move(*image->block));
    // An image, or what may be one, is never handed on to the system.
    if (image->isImage) return nullptr;
    return SystemVersionResource(file);
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
    const auto block = Win32ModuleVersionBlock();
    const auto fixed = block ? block->Value("\\") : std::nullopt;
    // VS_FIXEDFILEINFO: dwFileVersionMS at 8, dwFileVersionLS at 12.
    if (!fixed || fixed->size() < 16) return info;
    const auto word = [&](std::size_t at) { return (*fixed)[at] | (*fixed)[at + 1] << 8; };
    // Major.minor.patch.build: the third part is the revision the About page shows.
    info.major = word(10);
    info.minor = word(8);
    info.revision = word(14);
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
        win::ScopedKey key;
        const LONG status =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_32KEY, key.Put());
        if (status == ERROR_SUCCESS) return true;
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
