// Probe.exe: starts a Windows program, watches it from the same Wine prefix and prints
// timings and memory figures as "name=value" lines. A console program; every command
// appends its lines to the file given with --out (a script reads the file after the
// probe has ended, never through a pipe).
//
//   window --exe PATH [--args TEXT] [--class C] [--title T] [--end wait|close|kill]
//          [--timeout MS] [--poll-ms N] [--memory-ms N]
//       Starts PATH and polls, every N ms (default 1), for a visible top-level window
//       of that process with class C (any when empty or absent) and caption T (exact;
//       empty matches an empty caption; absent: any). Prints visible_ms (start to
//       visible) and visible_epoch_ms (that moment on the wall clock), then ends the run as --end
//       says: wait for the program to end by itself (default), post WM_CLOSE to the window, or
//       terminate it. While the program runs, its working set is sampled every N ms (default 5; the
//       reading asks the Wine server, not the program); prints peak_ws_kb (the largest peak working
//       set read), peak_private_kb and run_ms (start to exit).
//
//   end-delay --exe SCR --log LOG --saver NAME [--timeout MS]
//       Starts "SCR /s", finds the started screen saver (process image NAME), waits for
//       it and for SCR to end. LOG is the demo screen saver's log; its last "end" line
//       gives the moment the screen saver finished its run. Prints end_to_saver_gone_ms,
//       end_to_scr_gone_ms (wall clock, the log's millisecond grain) and
//       saver_gone_to_scr_gone_ms (one clock, exact).
//
//   wait-run --exe SCR --log LOG --saver NAME --wait-s S --ready FILE [--timeout MS]
//       Starts "SCR /s" and notes when its start-up display exists and when it is
//       visible, when the chosen screen saver has started (LOG's "start" line) and when
//       the start-up display is gone; then writes "waiting" into FILE (the script
//       measures the idle process meanwhile) and, from S - 3 seconds after the start
//       on, polls every millisecond for the countdown window (class SomnivexForm,
//       caption "Somnivex"). Prints splash_created_ms, splash_ms, saver_started_ms,
//       splash_gone_ms, countdown_ms (all from the start) and countdown_late_ms
//       (countdown_ms - S * 1000), then terminates SCR and the screen saver.
//
//   preview --exe SCR --saver NAME [--timeout MS]
//       Starts "SCR /p <a 152 x 112 window of its own>" (the dialog's little monitor) and
//       polls every millisecond for the screen saver's process (image NAME, a child of
//       SCR): preview_started_ms. Then terminates SCR, as Windows does, and prints
//       kill_to_saver_gone_ms (until the screen saver's process has ended).
//
//   hold
//       Keeps a message-only window and nothing else, until it is ended. Wine closes the
//       desktop process a moment after the last program using the desktop has ended, and
//       starts it again with the next one; a program started meanwhile would pay for
//       that start (tens of milliseconds, at random). On Windows the desktop is always
//       there, so the bench keeps one program holding it.
//
// Times are QueryPerformanceCounter differences. Looking for windows uses only calls
// that read the window list (no message reaches the watched program), so the watching
// does not wake the program up.
#include <windows.h>
// After <windows.h>, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

std::wstring gOut;

void Emit(const std::string& line) {
    const std::string text = line + "\n";
    HANDLE file = CreateFileW(gOut.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fputs(text.c_str(), stdout);
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Fixed(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    return buffer;
}

void EmitValue(const std::string& name, double value) {
    Emit(name + "=" + Fixed(value));
}

double gTicksPerMs = 0;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / gTicksPerMs;
}

// Milliseconds since 1970 (UTC) with the clock's full grain: the demo screen saver logs
// the same clock in whole milliseconds.
double EpochMs() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<double>(t.QuadPart - 116444736000000000ULL) / 10000.0;
}

struct Args {
    std::map<std::wstring, std::wstring> values;
    bool Has(const wchar_t* name) const { return values.count(name) != 0; }
    std::wstring Get(const wchar_t* name, const std::wstring& fallback = {}) const {
        const auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
    long Number(const wchar_t* name, long fallback) const {
        const auto it = values.find(name);
        return it == values.end() ? fallback : std::wcstol(it->second.c_str(), nullptr, 10);
    }
};

struct Started {
    PROCESS_INFORMATION pi{};
    double startMs = 0;
    bool ok = false;
};

Started Start(const std::wstring& exe, const std::wstring& arguments) {
    Started started;
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // Wine now and then fails a start with an internal error (1359); a second try works.
    for (int attempt = 1; attempt <= 3 && !started.ok; ++attempt) {
        started.startMs = NowMs();
        started.ok =
            CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &si, &started.pi) != FALSE;
        if (!started.ok) {
            Emit("note=CreateProcess failed " + std::to_string(GetLastError()) + ", attempt " +
                 std::to_string(attempt));
            Sleep(200);
        }
    }
    if (!started.ok) Emit("error=the program could not be started");
    return started;
}

bool Ended(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

struct WindowQuery {
    DWORD pid = 0;
    std::optional<std::wstring> className;
    std::optional<std::wstring> title;
    bool visibleOnly = true;
    HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != query->pid || (query->visibleOnly && !IsWindowVisible(hwnd))) return TRUE;
    wchar_t text[256];
    if (query->className) {
        if (!GetClassNameW(hwnd, text, 256) || *query->className != text) return TRUE;
    }
    if (query->title) {
        // Read from the window list: no WM_GETTEXT is sent to the watched program.
        text[0] = L'\0';
        InternalGetWindowText(hwnd, text, 256);
        if (*query->title != text) return TRUE;
    }
    query->found = hwnd;
    return FALSE;
}

HWND FindVisible(WindowQuery query) {
    query.found = nullptr;
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

void Pause(long ms) {
    Sleep(static_cast<DWORD>(ms));
}

struct Memory {
    SIZE_T peakWs = 0;
    SIZE_T peakPrivate = 0;
    void Sample(HANDLE process) {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters)) {
            peakWs = std::max(peakWs, counters.PeakWorkingSetSize);
            peakPrivate = std::max(peakPrivate, counters.PeakPagefileUsage);
        }
    }
};

int RunWindow(const Args& args) {
    const long timeout = args.Number(L"--timeout", 30000);
    const long poll = args.Number(L"--poll-ms", 1);
    const std::wstring end = args.Get(L"--end", L"wait");
    const long memoryMs = std::max(1L, args.Number(L"--memory-ms", 5));
    Started run = Start(args.Get(L"--exe"), args.Get(L"--args"));
    if (!run.ok) return 1;
    WindowQuery query;
    query.pid = run.pi.dwProcessId;
    if (args.Has(L"--class") && !args.Get(L"--class").empty())
        query.className = args.Get(L"--class");
    if (args.Has(L"--title")) query.title = args.Get(L"--title");

    Memory memory;
    HWND window = nullptr;
    double nextSample = 0;
    while (!(window = FindVisible(query))) {
        const double now = NowMs();
        if (now - run.startMs > timeout || Ended(run.pi.hProcess)) break;
        if (now >= nextSample) {
            memory.Sample(run.pi.hProcess);
            nextSample = now + static_cast<double>(memoryMs);
        }
        Pause(poll);
    }
    if (!window) {
        Emit("error=no window within the time-out");
        TerminateProcess(run.pi.hProcess, 1);
        return 1;
    }
    const double visibleMs = NowMs() - run.startMs;
    EmitValue("visible_ms", visibleMs);
    // The same moment on the wall clock, for comparing with what the X server reports.
    EmitValue("visible_epoch_ms", EpochMs());

    if (end == L"close") PostMessageW(window, WM_CLOSE, 0, 0);
    if (end == L"kill") {
        memory.Sample(run.pi.hProcess);
        TerminateProcess(run.pi.hProcess, 0);
    }
    const double deadline = NowMs() + timeout;
    while (WaitForSingleObject(run.pi.hProcess, static_cast<DWORD>(memoryMs)) == WAIT_TIMEOUT) {
        memory.Sample(run.pi.hProcess);
        if (NowMs() > deadline) {
            Emit("error=the program did not end within the time-out");
            TerminateProcess(run.pi.hProcess, 1);
            break;
        }
    }
    EmitValue("run_ms", NowMs() - run.startMs);
    Emit("peak_ws_kb=" + std::to_string(memory.peakWs / 1024));
    Emit("peak_private_kb=" + std::to_string(memory.peakPrivate / 1024));
    CloseHandle(run.pi.hThread);
    CloseHandle(run.pi.hProcess);
    return 0;
}

// The first process with image name NAME started after the program PARENT.
HANDLE OpenChild(const std::wstring& name, DWORD parent) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    HANDLE found = nullptr;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0) continue;
        if (parent && entry.th32ParentProcessID != parent) continue;
        found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                            FALSE, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

// The last field of the last line of LOG that starts with WORD ("end 1234 timeout
// 1700000000000" gives 1700000000000); nothing when there is none.
std::optional<double> LastEpochOf(const std::wstring& log, const std::string& word) {
    const std::string content = ReadFileText(log);
    std::optional<double> result;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.rfind(word + " ", 0) != 0) continue;
        const size_t last = line.find_last_of(' ');
        result = std::strtod(line.c_str() + last + 1, nullptr);
    }
    return result;
}

// Waits for the screen saver started by the program PARENT; nothing on time-out or when
// the program ended first.
HANDLE WaitForChild(const std::wstring& name, const PROCESS_INFORMATION& parent, long timeout,
                    double startMs) {
    for (;;) {
        if (HANDLE child = OpenChild(name, parent.dwProcessId)) return child;
        if (NowMs() - startMs > timeout || Ended(parent.hProcess)) return nullptr;
        Pause(2);
    }
}

int RunEndDelay(const Args& args) {
    const long timeout = args.Number(L"--timeout", 60000);
    const std::wstring log = args.Get(L"--log");
    DeleteFileW(log.c_str());
    Started run = Start(args.Get(L"--exe"), L"/s");
    if (!run.ok) return 1;
    HANDLE saver = WaitForChild(args.Get(L"--saver"), run.pi, timeout, run.startMs);
    if (!saver) {
        Emit("error=the screen saver was not started");
        TerminateProcess(run.pi.hProcess, 1);
        return 1;
    }
    if (WaitForSingleObject(saver, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
        Emit("error=the screen saver did not end");
        TerminateProcess(saver, 1);
        TerminateProcess(run.pi.hProcess, 1);
        return 1;
    }
    const double saverGoneEpoch = EpochMs();
    const double saverGone = NowMs();
    if (WaitForSingleObject(run.pi.hProcess, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
        Emit("error=the program did not end after the screen saver");
        TerminateProcess(run.pi.hProcess, 1);
        return 1;
    }
    const double scrGone = NowMs();
    const double scrGoneEpoch = saverGoneEpoch + (scrGone - saverGone);
    const std::optional<double> logged = LastEpochOf(log, "end");
    if (!logged) {
        Emit("error=no end line in the screen saver's log");
        return 1;
    }
    EmitValue("end_to_saver_gone_ms", saverGoneEpoch - *logged);
    EmitValue("end_to_scr_gone_ms", scrGoneEpoch - *logged);
    EmitValue("saver_gone_to_scr_gone_ms", scrGone - saverGone);
    EmitValue("run_ms", scrGone - run.startMs);
    CloseHandle(saver);
    CloseHandle(run.pi.hThread);
    CloseHandle(run.pi.hProcess);
    return 0;
}

int RunWait(const Args& args) {
    const long timeout = args.Number(L"--timeout", 30000);
    const double waitMs = args.Number(L"--wait-s", 60) * 1000.0;
    const std::wstring log = args.Get(L"--log");
    DeleteFileW(log.c_str());
    Started run = Start(args.Get(L"--exe"), L"/s");
    if (!run.ok) return 1;
    // The screen saver first: with the program gone, it would no longer be its child.
    const auto stop = [&] {
        if (HANDLE saver = OpenChild(args.Get(L"--saver"), run.pi.dwProcessId)) {
            TerminateProcess(saver, 1);
            CloseHandle(saver);
        }
        TerminateProcess(run.pi.hProcess, 1);
    };
    const auto fail = [&](const char* what) {
        Emit(std::string("error=") + what);
        stop();
        return 1;
    };
    const auto since = [&] { return NowMs() - run.startMs; };

    WindowQuery splash;
    splash.pid = run.pi.dwProcessId;
    splash.className = L"SomnivexForm";
    splash.title = L"";
    // Created first (the wait starts as it loads), shown a moment later.
    splash.visibleOnly = false;
    while (!FindVisible(splash)) {
        if (since() > timeout || Ended(run.pi.hProcess)) return fail("no start-up display");
        Pause(1);
    }
    EmitValue("splash_created_ms", since());
    splash.visibleOnly = true;
    while (!FindVisible(splash)) {
        if (since() > timeout || Ended(run.pi.hProcess)) return fail("no start-up display");
        Pause(1);
    }
    EmitValue("splash_ms", since());
    while (!LastEpochOf(log, "start")) {
        if (since() > timeout || Ended(run.pi.hProcess)) return fail("no screen saver started");
        Pause(5);
    }
    EmitValue("saver_started_ms", since());
    while (FindVisible(splash)) {
        if (since() > timeout || Ended(run.pi.hProcess)) return fail("the start-up display stays");
        Pause(5);
    }
    EmitValue("splash_gone_ms", since());

    HANDLE ready = CreateFileW(args.Get(L"--ready").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(ready, "waiting\n", 8, &written, nullptr);
        CloseHandle(ready);
    }

    WindowQuery countdown;
    countdown.pid = run.pi.dwProcessId;
    countdown.className = L"SomnivexForm";
    countdown.title = L"Somnivex";
    // Quietly until shortly before the moment, then closely.
    while (since() < waitMs - 3000) {
        if (Ended(run.pi.hProcess)) return fail("the program ended while waiting");
        Pause(200);
    }
    while (!FindVisible(countdown)) {
        if (since() > waitMs + timeout || Ended(run.pi.hProcess)) return fail("no countdown");
        Pause(1);
    }
    const double shown = since();
    EmitValue("countdown_ms", shown);
    EmitValue("countdown_late_ms", shown - waitMs);
    stop();
    CloseHandle(run.pi.hThread);
    CloseHandle(run.pi.hProcess);
    return 0;
}

// Handles the messages of this thread's windows (a window of another process made
// inside ours waits for them) for about `ms` milliseconds.
void PumpFor(DWORD ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

int RunPreview(const Args& args) {
    const long timeout = args.Number(L"--timeout", 30000);
    HWND monitor = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 40, 40, 152, 112,
                                   nullptr, nullptr, nullptr, nullptr);
    Started run =
        Start(args.Get(L"--exe"), L"/p " + std::to_wstring(reinterpret_cast<ULONG_PTR>(monitor)));
    if (!run.ok) return 1;
    HANDLE saver = nullptr;
    while (!(saver = OpenChild(args.Get(L"--saver"), run.pi.dwProcessId))) {
        if (NowMs() - run.startMs > timeout || Ended(run.pi.hProcess)) {
            Emit("error=the screen saver's preview was not started");
            TerminateProcess(run.pi.hProcess, 1);
            return 1;
        }
        PumpFor(1);
    }
    EmitValue("preview_started_ms", NowMs() - run.startMs);
    PumpFor(200);  // the preview under way
    const double killed = NowMs();
    TerminateProcess(run.pi.hProcess, 1);
    if (WaitForSingleObject(saver, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
        Emit("error=the screen saver outlived the preview");
        TerminateProcess(saver, 1);
        return 1;
    }
    EmitValue("kill_to_saver_gone_ms", NowMs() - killed);
    DestroyWindow(monitor);
    return 0;
}

int RunHold() {
    HWND window = CreateWindowExW(0, L"STATIC", L"Somnivex bench desktop holder", 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    gTicksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
    if (argc < 2) {
        fputs("usage: Probe.exe window|end-delay|wait-run|preview|hold --out FILE ...\n", stderr);
        return 2;
    }
    Args args;
    for (int i = 2; i + 1 < argc; i += 2) args.values[argv[i]] = argv[i + 1];
    gOut = args.Get(L"--out", L"probe.out");
    const std::wstring command = argv[1];
    if (command == L"window") return RunWindow(args);
    if (command == L"end-delay") return RunEndDelay(args);
    if (command == L"wait-run") return RunWait(args);
    if (command == L"preview") return RunPreview(args);
    if (command == L"hold") return RunHold();
    fputs("unknown command\n", stderr);
    return 2;
}
