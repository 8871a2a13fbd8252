// Writes one event of every kind of the run trail through the real Win32 sink and ends
// at once, as a program does. On standard output it prints what it asked for, in the
// form tests/e2e/eventlog.awk gives Wine's record of it, so that eventlog_channel.sh can
// hold the two together; on standard error, after Wine's lines, how long the slowest
// hand-over to the sink took on the calling thread.
// No <windows.h>: the settings record's headers use names it defines as macros.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/RunTrail.h"
#include "common/SSOptions.h"
#include "platform/win32/Win32EventSink.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Passes every event on and keeps a copy, timing the hand-over.
class Tee : public IEventSink {
  public:
    explicit Tee(IEventSink& sink) : sink_(sink) {}
    void Write(const TrailEvent& event) override {
        const auto before = std::chrono::steady_clock::now();
        sink_.Write(event);
        const auto took = std::chrono::steady_clock::now() - before;
        // The first one also starts the writer thread.
        if (written.empty())
            first = took;
        else
            slowest = std::max(slowest, took);
        written.push_back(event);
    }
    std::vector<TrailEvent> written;
    std::chrono::steady_clock::duration first{}, slowest{};

  private:
    IEventSink& sink_;
};

// An insertion string as Wine's debug output quotes it: per UTF-16 unit.
std::string WineQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (const wchar_t unit : Widen(text)) {
        switch (unit) {
            case L'\n':
                quoted += "\\n";
                break;
            case L'\r':
                quoted += "\\r";
                break;
            case L'\t':
                quoted += "\\t";
                break;
            case L'"':
                quoted += "\\\"";
                break;
            case L'\\':
                quoted += "\\\\";
                break;
            default:
                if (unit < 32 || unit >= 127) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\%04x", static_cast<unsigned>(unit));
                    quoted += hex;
                } else {
                    quoted += static_cast<char>(unit);
                }
        }
    }
    return quoted + "\"";
}

const char* TypeName(EventType type) {
    switch (type) {
        case EventType::Warning:
            return "warning";
        case EventType::Error:
            return "error";
        default:
            return "information";
    }
}

void WriteSample(cRunTrail& trail) {
    // Letters beyond ASCII, and one beyond the 16-bit plane (two UTF-16 units).
    const std::string saver =
        "C:\\Users\\Zo\xC3\xAB\\\xD0\xA1\xD0\xBE\xD0\xBD \xE6\x9D\xB1 \xF0\x9F\x98\xB4.scr";
    const std::string kelvane = "\"C:\\Program Files\\Brellcor Kelvane\\Kelvane.exe\" /T=S";
    const ErrorInfo denied{5, "Somnivex", "Access is denied."};
    trail.RunStarted(saver, 30, 1);
    trail.RunStartedForLauncher(saver, 1, "C:\\Program Files\\Brellcor Kelvane\\Kelvane.exe",
                                "/T=R");
    trail.RunWithoutScreenSaver("C:\\Program Files\\Somnivex\\Somniconf.exe");
    trail.ConfirmationAnswered(true);
    trail.ConfirmationAnswered(false);
    trail.ConfirmationTimedOut(5, true);
    trail.UserReturned(saver, 754);
    trail.CountdownOpened(30, 60, false, 2);
    trail.CountdownCancelled(42);
    trail.CountdownClosed(3);
    trail.ExitRequested(1);
    trail.LauncherNotified(0x1043A);
    trail.LauncherStarted(kelvane);
    tSSOptions before, after;
    after.WaitMinutes = 10;
    after.SelectedScreenSaver = saver;
    trail.SettingsSaved("Zo\xC3\xAB", before, after, true);
    trail.ManagerNotFound("\\Somniconf.exe",
                          {2, "Somnivex", "The system cannot find the file specified."});
    trail.PrivilegeNotEnabled(
        {1300, "Somnivex", "Not all privileges or groups referenced are assigned to the caller."});
    trail.LauncherNotNotified(-1, {1400, "Somnivex", "Invalid window handle."});
    trail.SettingReplaced("HKEY_LOCAL_MACHINE\\Software\\Brellcor\\Somnivex", "WaitMinutes",
                          "a REG_SZ value", "30");
    trail.SettingsNotSaved("anna", {1223, "Somnivex", "The operation was canceled by the user."});
    trail.ScreenSaverNotStarted(saver, denied);
    trail.ManagerNotStarted("C:\\Program Files\\Somnivex\\Somniconf.exe",
                            {740, "Somnivex", "The requested operation requires elevation."});
    trail.ExitRefused(1, {1314, "Somnivex", "A required privilege is not held by the client."});
    trail.LauncherNotStarted(kelvane, denied);
    trail.ErrorLogged("", {-2147024894, "mSSMain", "The system cannot find the file specified."});
    // Last: longer than Wine shows.
    trail.LauncherStarted("C:\\" + std::string(400, 'k') + ".exe");
}

}  // namespace

int main() {
    Win32EventSink sink;
    Tee tee(sink);
    cRunTrail trail(tee);
    WriteSample(trail);
    for (const TrailEvent& event : tee.written) {
        std::printf("%u\t%s", static_cast<unsigned>(event.id), TypeName(event.type));
        for (const std::string& text : event.strings) std::printf("\t%s", WineQuoted(text).c_str());
        std::printf("\n");
    }
    const auto us = [](std::chrono::steady_clock::duration d) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(d).count());
    };
    std::fprintf(stderr,
                 "probe: hand-over to the sink: the first (it starts the writer) %lld us, "
                 "the slowest of the others %lld us\n",
                 us(tee.first), us(tee.slowest));
    std::fflush(stdout);
    std::fflush(stderr);
    // The end Somnivex.scr takes, with events still queued: what is written must be all.
    EndProcessOnceWritten(sink, 0);
}
