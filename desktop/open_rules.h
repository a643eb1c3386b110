// The decisions of the open-patient flow that depend only on text.
// Free of Windows headers so they can be table-tested and fuzzed natively.
#pragma once
#include <string>

// A patient URL is taken only on the configured server: it must begin with
// server_url followed by "/" (so "https://host.evil" never passes for "https://host").
bool is_accepted_patient_url(const std::wstring& url, const std::wstring& server_url);

// url + "?ch=" + channel, or url alone when there is no channel.
std::wstring with_channel(const std::wstring& url, const std::wstring& channel);

// The application's start page: server_url + "/p/" with the channel.
std::wstring start_page_url(const std::wstring& server_url, const std::wstring& channel);

// The server handed the patient to an open application window: the body holds
// the exact bytes "delivered":true somewhere.
bool reports_delivery(const std::string& body);

// The user's message for an answer that was not an accepted patient URL.
std::wstring open_error_message(unsigned long status);

#define OPEN_MESSAGE_UNREADABLE L"GDT-Datei ist gerade nicht lesbar. Bitte erneut versuchen."
