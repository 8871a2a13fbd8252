// Where the run trail goes: one event at a time, each with a stable id, a type and its
// insertion strings. On Windows that is the Application log under the source
// "Somnivex"; the message table in Somnivex.scr turns id and strings into the text Event
// Viewer shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class EventType { Information, Warning, Error };

struct TrailEvent {
    std::uint32_t id = 0;
    EventType type = EventType::Information;
    std::vector<std::string> strings;  // UTF-8, %1 first

    bool operator==(const TrailEvent&) const = default;
};

class IEventSink {
  public:
    virtual ~IEventSink() = default;
    // Hands the event over and returns at once. Nothing is reported back: a log that
    // refuses or fails a write must never change what the program does, and no window
    // may wait for the log.
    virtual void Write(const TrailEvent& event) = 0;
};
