// Helpers of the operation tests: waiting with the event loop alive, reading requests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "link/com232.h"
#include "params/status.h"
#include "ops/ops.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "platform/utility.h"

// Processes events for `seconds`, as the idle program would.
inline void RunEventsFor(double seconds) {
    const double end = Timer() + seconds;
    while (Timer() < end) ProcessSystemEvents();
}

inline std::vector<std::string> StatusHistory() {
    return TestTextHistory(pHandle, PANEL_STRStatus);
}

inline bool HistoryHas(const std::string& text) {
    auto h = StatusHistory();
    return std::find(h.begin(), h.end(), text) != h.end();
}

// Index of the first occurrence of `text` at or after `from`; -1 when absent.
inline int HistoryIndex(const std::string& text, int from = 0) {
    auto h = StatusHistory();
    for (int i = from; i < int(h.size()); ++i)
        if (h[i] == text) return i;
    return -1;
}

inline std::vector<int> Commands(const std::vector<sim::Request>& reqs) {
    std::vector<int> out;
    for (const auto& r : reqs) out.push_back(r.word(1));
    return out;
}
