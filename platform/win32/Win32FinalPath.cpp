// Where a path leads: GetFullPathNameW makes it full (".", ".." and "/" resolved as the
// system reads them), then the file or folder is opened with no access at all, which
// follows every junction and link, and the handle is asked for its own path.
#include "platform/win32/ScopedWin32.h"

#include "common/ProgramPaths.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Calls a function that takes a buffer and its size in characters and returns the
// length without the NUL, or the size needed with it when the buffer is short.
template <typename Call>
std::optional<std::wstring> ReadText(Call call) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.assign(length + 1, L'\0');
    }
    return std::nullopt;
}

}  // namespace

std::optional<FinalPath> Win32FileSystem::Resolve(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const std::wstring wide = Widen(path);
    const auto full = ReadText([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
    });
    if (!full) return std::nullopt;
    // Backup semantics open folders too; no access right is needed to ask for the path.
    win::UniqueHandle opened(
        CreateFileW(full->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(opened, &information)) return std::nullopt;
    const auto final = ReadText([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(opened, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (!final) return std::nullopt;
    return FinalPath{OrdinaryPath(Narrow(*final)),
                     (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}
