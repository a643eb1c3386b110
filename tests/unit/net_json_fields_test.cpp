#include <gtest/gtest.h>

#include <string>

#include "net/json_fields.h"

namespace {

struct StringCase {
    const char* body;
    std::string expected;
};

}  // namespace

TEST(JsonFields, StringValueForKeyResult) {
    const StringCase cases[] = {
        {R"({"result":"ok"})", "ok"},
        {R"({"result": "ok"})", "ok"},
        {"{\"result\" \t: \t\"ok\"}", "ok"},
        {"{\"result\":\r\n\"ok\"}", "ok"},
        {R"({"result":null})", ""},
        {R"({"result":42})", ""},
        {R"({"other":1})", ""},
        {R"({"result":"a\"b\\c"})", "a\"b\\c"},
        {R"({"result":"a\/b"})", "a/b"},
        {R"({"result":"line\nnext\ttab\rcr"})", "line\nnext\ttab\rcr"},
        {R"({"result":"open-ended)", "open-ended"},
        {R"({"data":{"result":"inner"},"result":"outer"})", "inner"},
        {R"({"my_result":"x"})", ""},
        // A string value equal to the key: the colon of the next key is used.
        {R"({"a":"result","b":"next"})", "next"},
        {R"({"result")", ""},
        {R"({"result":)", ""},
        {R"({"result":   )", ""},
        {R"({"result":"ends in backslash\)", "ends in backslash\\"},
        {R"({"result":"\)", "\\"},
        {"{\"result\":\"\xc3\xa4 raw bytes \xff\"}", "\xc3\xa4 raw bytes \xff"},
    };
    for (const auto& c : cases) EXPECT_EQ(json_string_field(c.body, "result"), c.expected) << c.body;
}

// Servers commonly escape every non-ASCII character and also "&", "<", ">".
TEST(JsonFields, UnicodeAndControlEscapesDecodeToUtf8) {
    const StringCase cases[] = {
        {R"({"result":"\u00e4"})", "\xc3\xa4"},
        {R"({"result":"\u00dcbertragen"})", "\xc3\x9c" "bertragen"},
        {R"({"result":"https://h/p?a=1\u0026b=\u003cx\u003E"})", "https://h/p?a=1&b=<x>"},
        {R"({"result":"\u20ac"})", "\xe2\x82\xac"},
        {R"({"result":"\u0041\u07FF"})", "A\xdf\xbf"},
        {R"({"result":"\ud83d\ude00"})", "\xf0\x9f\x98\x80"},
        {R"({"result":"\uDBFF\uDFFF"})", "\xf4\x8f\xbf\xbf"},
        {R"({"result":"\b\f"})", "\b\f"},
        {R"({"result":"nul\u0000byte"})", std::string("nul\0byte", 8)},
        // Lone or broken surrogates and short escapes become U+FFFD; what follows stays.
        {R"({"result":"\ud83dx"})", "\xef\xbf\xbdx"},
        {R"({"result":"\ud83d\u0041"})", "\xef\xbf\xbd" "A"},
        {R"({"result":"\ude00y"})", "\xef\xbf\xbdy"},
        {R"({"result":"\u12"})", "\xef\xbf\xbd" "12"},
        {R"({"result":"\uzzzz"})", "\xef\xbf\xbdzzzz"},
        {R"({"result":"\u00)", "\xef\xbf\xbd" "00"},
        {R"({"result":"\ud83d\u)", "\xef\xbf\xbd\xef\xbf\xbd"},
        {R"({"result":"\ud83d)", "\xef\xbf\xbd"},
    };
    for (const auto& c : cases) EXPECT_EQ(json_string_field(c.body, "result"), c.expected) << c.body;
}

TEST(JsonFields, IntegerValueForKeyExpiresIn) {
    struct Case {
        const char* body;
        int64_t expected;
    };
    const Case cases[] = {
        {R"({"expires_in":3600})", 3600},
        {R"({"expires_in": -5})", -5},
        {R"({"expires_in":"3600"})", 60},
        {R"({"expires_in":3600.9})", 3600},
        {R"({"expires_in":99999999999999999999})", INT64_MAX},
        {R"({"expires_in":9223372036854775807})", INT64_MAX},
        {R"({"expires_in":-9223372036854775808})", INT64_MIN},
        {R"({"expires_in":-99999999999999999999})", INT64_MIN},
        {R"({"expires_in":})", 60},
        {R"({"expires_in":-})", 0},
        {R"({"expires_in":+5})", 60},
        {R"({"expires_in":true})", 60},
        {R"({"expires_in":null})", 60},
        {R"({"expires_in":)", 60},
        {R"({"expires_in":007x})", 7},
        {R"({"other":1})", 60},
    };
    for (const auto& c : cases) EXPECT_EQ(json_int_field(c.body, "expires_in", 60), c.expected) << c.body;
}

TEST(JsonFields, FindValueStopsAtTheEndOfTheBody) {
    EXPECT_EQ(find_json_value(R"({"k":1})", "k"), 5u);
    EXPECT_EQ(find_json_value("\"k\": \t", "k"), 6u);
    EXPECT_EQ(find_json_value("\"k\"", "k"), std::string::npos);
    EXPECT_EQ(find_json_value("", "k"), std::string::npos);
    // Only the exact bytes of the key count.
    EXPECT_EQ(find_json_value(R"({"K":1})", "k"), std::string::npos);
}
