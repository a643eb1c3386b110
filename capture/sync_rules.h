// When the worker uploads: which answers end an entry, how long to wait after
// a deferred pass. Pure logic, free of Windows headers.
#pragma once
#include <cstdint>

const uint64_t RETRY_FIRST_DELAY_MS = 5000;
const uint64_t RETRY_MAX_DELAY_MS = 900000;  // 15 minutes

// 5 s after the first deferral, doubled for each further one, at most 15 min.
uint64_t retry_delay_ms(uint32_t deferral_count);

// Final answers (any 2xx, any 4xx but 401, 403, 408 and 429) end the entry;
// everything else, 0 for "no answer" included, keeps it for a later pass.
bool sync_answer_is_final(uint32_t status);

// The sync timing of the worker. sync_at 0 means idle: no pass scheduled.
struct SyncSchedule {
    uint64_t sync_at = 1;  // due at once after the start
    uint32_t deferral_count = 0;
};

bool sync_pass_due(const SyncSchedule& schedule, uint64_t now_ms);
void sync_pass_completed(SyncSchedule& schedule);
void sync_pass_deferred(SyncSchedule& schedule, uint64_t now_ms);
// A capture asks for a pass: at once when idle; a retry time already set stays.
void sync_requested(SyncSchedule& schedule, uint64_t now_ms);
