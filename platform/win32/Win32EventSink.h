// The Win32 side of the run trail: events go to the Application log through
// RegisterEventSourceW / ReportEventW. No <windows.h> here.
#pragma once

#include <string>

#include "common/EventSink.h"

class Win32EventWriter;

// Writes on a thread of its own, so that the program's windows never wait for the
// event log service, however slow or stuck it is: Write copies the event, queues it and
// returns. The writer keeps the order of the events and is the only user of the
// event-source handle; it shares only the count of what it has written, so there are no
// locks. A write the log refuses is dropped. Without the source registered (a copied
// program) Windows still takes the events, into the Application log, without their
// texts.
class Win32EventSink : public IEventSink {
  public:
    explicit Win32EventSink(std::wstring source = L"Somnivex");
    // Gives the writer kDrainMilliseconds at most to write what is still queued, then to
    // end.
    ~Win32EventSink() override;
    Win32EventSink(const Win32EventSink&) = delete;
    Win32EventSink& operator=(const Win32EventSink&) = delete;

    void Write(const TrailEvent& event) override;
    // Waits, kDrainMilliseconds at most, until the writer has written every event queued
    // so far; true when it has. Returns at once when it already has.
    bool Drain();

    static constexpr unsigned long kDrainMilliseconds = 1000;

  private:
    Win32EventWriter* writer_;  // the writer thread's own once that runs
    void* thread_ = nullptr;
    bool threadTried_ = false;
    unsigned long long queued_ = 0;  // handed to the writer thread
};

// The last step of a program whose work is done: ends the process as soon as the events
// queued so far are written (Drain). Windows frees the windows, COM apartment, keys and
// handles of an ending process at once, where tearing each down in its owner's
// destructor costs milliseconds that the user who has just come back would wait for; the
// writer thread, idle by then, ends with the process.
[[noreturn]] void EndProcessOnceWritten(Win32EventSink& events, int exitCode);
