#include <gtest/gtest.h>

#include "net/token_rules.h"
#include "net/url_encode.h"

TEST(UrlEncode, KeepsUnreservedAndEscapesEverythingElse) {
    struct Case {
        std::string input;
        const char* expected;
    };
    const Case cases[] = {
        {"a b+c/\xc3\xa4", "a%20b%2Bc%2F%C3%A4"},
        {"A-Z_a.z~0", "A-Z_a.z~0"},
        {"", ""},
        {"&=%?#", "%26%3D%25%3F%23"},
        {std::string("\0\x1f\x7f\xff", 4), "%00%1F%7F%FF"},
    };
    for (const auto& c : cases) EXPECT_EQ(url_encode(c.input), c.expected) << c.expected;
}

TEST(UrlEncode, TokenRequestBodyHasTheThreeFieldsInOrder) {
    EXPECT_EQ(token_request_body("runner id", "s&e=c+r%t"),
              "grant_type=client_credentials&client_id=runner%20id&client_secret=s%26e%3Dc%2Br%25t");
    EXPECT_EQ(token_request_body("", ""), "grant_type=client_credentials&client_id=&client_secret=");
}
