#include <gtest/gtest.h>

#include "net/token_rules.h"

TEST(TokenExpiry, SaturatesInsteadOfWrapping) {
    const uint64_t now = 1700000000000ULL;
    struct Case {
        uint64_t now_ms;
        int64_t expires_in_s;
        uint64_t expected;
    };
    const Case cases[] = {
        {now, 60, now + 60000},
        {now, 0, now},
        {now, -5, now - 5000},
        {now, INT64_MAX, UINT64_MAX},
        {now, 18446744073709552LL, UINT64_MAX},  // * 1000 alone would wrap
        {now, INT64_MIN, 0},
        {3000, -5, 0},
        {UINT64_MAX - 500, 1, UINT64_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(token_expiry_ms(c.now_ms, c.expires_in_s), c.expected) << c.now_ms << " " << c.expires_in_s;
}
