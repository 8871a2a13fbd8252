// The Win32 side of the run trail: events go to the Application log through
// RegisterEventSourceW / ReportEventW. No <windows.h> here.
#pragma once

#include <string>

#include "common/EventSink.h"

class Win32EventWriter;

// Writes on a thread of its own, so that the program's windows never wait for the
// event log service, however slow or stuck it is: Write copies the event, queues it and
// returns. The writer keeps the order of the events and is the only user of the
// event-source handle; nothing is shared otherwise, so there are no locks. A write the
// log refuses is dropped. Without the source registered (a copied program) Windows
// still takes the events, into the Application log, without their texts.
class Win32EventSink : public IEventSink {
  public:
    explicit Win32EventSink(std::wstring source = L"Somnivex");
    // Gives the writer kDrainMilliseconds at most to write what is still queued.
    ~Win32EventSink() override;
    Win32EventSink(const Win32EventSink&) = delete;
    Win32EventSink& operator=(const Win32EventSink&) = delete;

    void Write(const TrailEvent& event) override;

    static constexpr unsigned long kDrainMilliseconds = 1000;

  private:
    Win32EventWriter* writer_;  // the writer thread's own once that runs
    void* thread_ = nullptr;
    bool threadTried_ = false;
};
