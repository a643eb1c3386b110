#include "capture/schedule.h"

uint64_t earliest_deadline(std::initializer_list<uint64_t> deadlines) {
    uint64_t earliest = 0;
    for (uint64_t deadline : deadlines)
        if (deadline != 0 && (earliest == 0 || deadline < earliest)) earliest = deadline;
    return earliest;
}

unsigned long wait_ms_until(uint64_t deadline, uint64_t now) {
    if (deadline == 0) return WAIT_FOREVER_MS;
    if (now >= deadline) return 0;
    uint64_t remaining = deadline - now;
    return remaining > MAX_WAIT_MS ? MAX_WAIT_MS : (unsigned long)remaining;
}
