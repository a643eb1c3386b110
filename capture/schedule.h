// Deadlines of the worker loop: absolute milliseconds since the Unix epoch,
// 0 meaning "none". Free of Windows headers for table tests.
#pragma once
#include <cstdint>
#include <initializer_list>

const unsigned long WAIT_FOREVER_MS = 0xFFFFFFFFUL;  // the value of INFINITE
// Even a far deadline is re-evaluated hourly, so a clock change cannot strand the worker.
const unsigned long MAX_WAIT_MS = 3600000UL;

// The smallest non-zero deadline, or 0 when none is set.
uint64_t earliest_deadline(std::initializer_list<uint64_t> deadlines);

// How long to sleep until the deadline: forever for 0, 0 once it is reached,
// otherwise the remaining time capped at MAX_WAIT_MS.
unsigned long wait_ms_until(uint64_t deadline, uint64_t now);
