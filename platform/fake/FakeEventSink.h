// The event log as the tests see it: every event written, in order. A refusing log
// takes nothing, as a full log that may not be overwritten does.
#pragma once

#include <vector>

#include "common/EventSink.h"

class FakeEventSink : public IEventSink {
  public:
    void Write(const TrailEvent& event) override {
        if (refuse) return;
        events.push_back(event);
    }

    std::vector<std::uint32_t> Ids() const {
        std::vector<std::uint32_t> ids;
        for (const TrailEvent& event : events) ids.push_back(event.id);
        return ids;
    }

    std::vector<TrailEvent> events;
    bool refuse = false;
};
