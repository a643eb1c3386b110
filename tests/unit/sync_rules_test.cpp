#include <gtest/gtest.h>

#include "capture/sync_rules.h"

TEST(SyncRules, RetryDelayDoublesUpToFifteenMinutes) {
    const uint64_t expected[] = {5000, 10000, 20000, 40000, 80000, 160000, 320000, 640000, 900000, 900000};
    for (uint32_t n = 0; n < 10; ++n) EXPECT_EQ(retry_delay_ms(n), expected[n]) << n;
    EXPECT_EQ(retry_delay_ms(100), 900000u);
    EXPECT_EQ(retry_delay_ms(UINT32_MAX), 900000u);
}

TEST(SyncRules, FinalAndDeferredAnswers) {
    const uint32_t final_answers[] = {200, 201, 204, 299, 400, 404, 409, 413, 422, 499};
    const uint32_t deferred[] = {0, 1, 100, 199, 300, 302, 399, 401, 403, 408, 429, 500, 503, 599, 600, 65535};
    for (uint32_t s : final_answers) EXPECT_TRUE(sync_answer_is_final(s)) << s;
    for (uint32_t s : deferred) EXPECT_FALSE(sync_answer_is_final(s)) << s;
}

TEST(SyncRules, CaptureBringsAPassForwardOnlyWhenIdle) {
    SyncSchedule s;
    EXPECT_TRUE(sync_pass_due(s, 2));  // due at once after the start
    sync_pass_completed(s);
    EXPECT_FALSE(sync_pass_due(s, UINT64_MAX));
    sync_requested(s, 1000);  // capture while idle
    EXPECT_TRUE(sync_pass_due(s, 1000));

    sync_pass_deferred(s, 1000);
    EXPECT_EQ(s.sync_at, 6000u);
    sync_requested(s, 2000);  // capture while backing off
    EXPECT_EQ(s.sync_at, 6000u);
    EXPECT_FALSE(sync_pass_due(s, 5999));
    EXPECT_TRUE(sync_pass_due(s, 6000));
    sync_pass_deferred(s, 6000);
    EXPECT_EQ(s.sync_at, 16000u);
    for (int i = 0; i < 20; ++i) sync_pass_deferred(s, 0);
    EXPECT_EQ(s.sync_at, 900000u);

    // One complete pass starts the doubling afresh.
    sync_pass_completed(s);
    sync_pass_deferred(s, 0);
    EXPECT_EQ(s.sync_at, 5000u);
}
