#include "platform/win32/Win32EventSink.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <process.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32Platform.h"

// The writer's state: the event-source handle and the user the events name. Used on one
// thread only, the writer thread (or the program's own when no thread could be made);
// the count of events written and the event that tells of each are for the program's
// thread to wait on.
class Win32EventWriter {
  public:
    explicit Win32EventWriter(std::wstring source) : source_(std::move(source)) {}

    void Report(const TrailEvent& event) {
        // Tried again for each event: the event log service may start after us.
        if (!log_) log_.Reset(RegisterEventSourceW(nullptr, source_.c_str()));
        if (!log_) return;
        if (!userLooked_) {
            userLooked_ = true;
            user_ = ProcessUserSid();
        }
        std::vector<std::wstring> wide;
        wide.reserve(event.strings.size());
        for (const std::string& text : event.strings) wide.push_back(Widen(text));
        std::vector<const wchar_t*> strings;
        for (const std::wstring& text : wide) strings.push_back(text.c_str());
        // A refused write (a full log that may not be overwritten, say) changes nothing.
        ReportEventW(log_, TypeOf(event.type), 0, event.id, user_.empty() ? nullptr : user_.data(),
                     static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
    }

    bool stop = false;
    std::atomic<std::uint64_t> written{0};
    win::UniqueHandle wrote{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // set after each

  private:
    static WORD TypeOf(EventType type) {
        switch (type) {
            case EventType::Warning:
                return EVENTLOG_WARNING_TYPE;
            case EventType::Error:
                return EVENTLOG_ERROR_TYPE;
            default:
                return EVENTLOG_INFORMATION_TYPE;
        }
    }

    // The account the program runs as, which Event Viewer shows as the event's user.
    static std::vector<BYTE> ProcessUserSid() {
        win::UniqueHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
        std::vector<BYTE> sid;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
            const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
            if (IsValidSid(user)) {
                const auto* bytes = static_cast<const BYTE*>(user);
                sid.assign(bytes, bytes + GetLengthSid(user));
            }
        }
        return sid;
    }

    std::wstring source_;
    win::ScopedEventSource log_;
    bool userLooked_ = false;
    std::vector<BYTE> user_;
};

namespace {

struct Queued {
    Win32EventWriter* writer;
    TrailEvent event;
};

// Queued work runs as user APCs of the writer thread: in the order queued, one at a time,
// whenever the thread waits alertably, which is all it ever does.
void CALLBACK WriteQueued(ULONG_PTR parameter) {
    const std::unique_ptr<Queued> queued(reinterpret_cast<Queued*>(parameter));
    Win32EventWriter& writer = *queued->writer;
    writer.Report(queued->event);
    writer.written.fetch_add(1, std::memory_order_release);
    if (writer.wrote) SetEvent(writer.wrote);
}

void CALLBACK StopWriter(ULONG_PTR parameter) {
    reinterpret_cast<Win32EventWriter*>(parameter)->stop = true;
}

unsigned __stdcall WriterMain(void* parameter) {
    const std::unique_ptr<Win32EventWriter> writer(static_cast<Win32EventWriter*>(parameter));
    while (!writer->stop) SleepEx(INFINITE, TRUE);
    return 0;
}

}  // namespace

Win32EventSink::Win32EventSink(std::wstring source)
    : writer_(new Win32EventWriter(std::move(source))) {}

Win32EventSink::~Win32EventSink() {
    if (!thread_) {
        delete writer_;
        return;
    }
    // The writer ends after what was queued before; a writer stuck in the log service
    // is left to the end of the process, and still owns its state.
    const win::UniqueHandle thread(static_cast<HANDLE>(thread_));
    if (QueueUserAPC(StopWriter, thread, reinterpret_cast<ULONG_PTR>(writer_)))
        WaitForSingleObject(thread, kDrainMilliseconds);
}

void Win32EventSink::Write(const TrailEvent& event) {
    try {
        // The thread is made for the first event: a program that writes none has none.
        if (!threadTried_) {
            threadTried_ = true;
            thread_ = reinterpret_cast<void*>(
                _beginthreadex(nullptr, 0, WriterMain, writer_, 0, nullptr));
        }
        if (!thread_) {
            writer_->Report(event);
            return;
        }
        auto queued = std::make_unique<Queued>(Queued{writer_, event});
        if (QueueUserAPC(WriteQueued, thread_, reinterpret_cast<ULONG_PTR>(queued.get()))) {
            queued.release();
            ++queued_;
        }
    } catch (...) {
        // Out of memory for a copy: the event is lost, the program goes on.
    }
}

bool Win32EventSink::Drain() {
    if (!thread_) return true;
    const ULONGLONG until = GetTickCount64() + kDrainMilliseconds;
    while (writer_->written.load(std::memory_order_acquire) < queued_) {
        const ULONGLONG now = GetTickCount64();
        if (!writer_->wrote || now >= until ||
            WaitForSingleObject(writer_->wrote, static_cast<DWORD>(until - now)) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

void EndProcessOnceWritten(Win32EventSink& events, int exitCode) {
    events.Drain();
    ExitProcess(static_cast<UINT>(exitCode));
}
