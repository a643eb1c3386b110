#include "capture/sync_rules.h"

uint64_t retry_delay_ms(uint32_t deferral_count) {
    uint64_t delay = RETRY_FIRST_DELAY_MS;
    // Stops doubling at the cap, so no count can overflow the value.
    for (uint32_t i = 0; i < deferral_count && delay < RETRY_MAX_DELAY_MS; ++i) delay *= 2;
    return delay < RETRY_MAX_DELAY_MS ? delay : RETRY_MAX_DELAY_MS;
}

bool sync_answer_is_final(uint32_t status) {
    if (status >= 200 && status <= 299) return true;
    if (status == 401 || status == 403 || status == 408 || status == 429) return false;
    return status >= 400 && status <= 499;
}

bool sync_pass_due(const SyncSchedule& schedule, uint64_t now_ms) {
    return schedule.sync_at != 0 && now_ms >= schedule.sync_at;
}

void sync_pass_completed(SyncSchedule& schedule) {
    schedule.sync_at = 0;
    schedule.deferral_count = 0;
}

void sync_pass_deferred(SyncSchedule& schedule, uint64_t now_ms) {
    schedule.sync_at = now_ms + retry_delay_ms(schedule.deferral_count);
    if (schedule.deferral_count < UINT32_MAX) ++schedule.deferral_count;
}

void sync_requested(SyncSchedule& schedule, uint64_t now_ms) {
    if (schedule.sync_at == 0) schedule.sync_at = now_ms;
}
