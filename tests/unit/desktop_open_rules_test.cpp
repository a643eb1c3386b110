#include <gtest/gtest.h>

#include <string>

#include "desktop/open_rules.h"

TEST(OpenRules, PatientUrlMustLieUnderTheServer) {
    const std::wstring server = L"https://orvanta.example";
    struct Case {
        const wchar_t* url;
        bool accepted;
    } cases[] = {
        {L"https://orvanta.example/p/123", true},
        {L"https://orvanta.example/", true},
        {L"https://orvanta.example", false},
        {L"https://orvanta.example.evil.test/p/123", false},
        {L"https://orvanta.example@evil.test/p/123", false},
        {L"https://orvanta.examplex/p/1", false},
        {L"http://orvanta.example/p/123", false},
        {L"HTTPS://ORVANTA.EXAMPLE/p/123", false},
        {L"https://evil.test/https://orvanta.example/p/1", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "url #" << (&c - cases));
        EXPECT_EQ(is_accepted_patient_url(c.url, server), c.accepted);
    }
}

TEST(OpenRules, ChannelIsAppendedOnlyWhenThereIsOne) {
    EXPECT_EQ(with_channel(L"https://s/p/1", L"abc-_"), L"https://s/p/1?ch=abc-_");
    // Appended as it stands, even after an existing query.
    EXPECT_EQ(with_channel(L"https://s/p/1?x=1", L"abc"), L"https://s/p/1?x=1?ch=abc");
    EXPECT_EQ(with_channel(L"https://s/p/1", L""), L"https://s/p/1");
    EXPECT_EQ(start_page_url(L"https://s", L"abc"), L"https://s/p/?ch=abc");
    EXPECT_EQ(start_page_url(L"https://s", L""), L"https://s/p/");
}

TEST(OpenRules, DeliveryNeedsTheExactBytes) {
    struct Case {
        const char* body;
        bool delivered;
    } cases[] = {
        {"{\"result\":\"ok\",\"delivered\":true}", true},
        {"{\"delivered\":true,\"url\":\"x\"}", true},
        {"{\"x\":{\"delivered\":true}}", true},
        {"{\"delivered\": true}", false},
        {"{\"delivered\":false}", false},
        {"{\"delivered\":\"true\"}", false},
        {"{\"Delivered\":true}", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(reports_delivery(c.body), c.delivered);
    }
}

TEST(OpenRules, ErrorMessageByStatus) {
    EXPECT_EQ(open_error_message(0), L"Orvanta ist nicht erreichbar.");
    EXPECT_EQ(open_error_message(422), L"Die GDT-Datei konnte nicht verarbeitet werden.");
    EXPECT_EQ(open_error_message(200), L"Orvanta hat die Anfrage abgelehnt (HTTP 200).");
    EXPECT_EQ(open_error_message(401), L"Orvanta hat die Anfrage abgelehnt (HTTP 401).");
    EXPECT_EQ(open_error_message(503), L"Orvanta hat die Anfrage abgelehnt (HTTP 503).");
}
