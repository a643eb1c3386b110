#include "desktop/open_rules.h"

bool is_accepted_patient_url(const std::wstring& url, const std::wstring& server_url) {
    const std::wstring prefix = server_url + L"/";
    return url.compare(0, prefix.size(), prefix) == 0 && url.size() >= prefix.size();
}

std::wstring with_channel(const std::wstring& url, const std::wstring& channel) {
    return channel.empty() ? url : url + L"?ch=" + channel;
}

std::wstring start_page_url(const std::wstring& server_url, const std::wstring& channel) {
    return with_channel(server_url + L"/p/", channel);
}

bool reports_delivery(const std::string& body) {
    return body.find("\"delivered\":true") != std::string::npos;
}

std::wstring open_error_message(unsigned long status) {
    if (status == 0) return L"Orvanta ist nicht erreichbar.";
    if (status == 422) return L"Die GDT-Datei konnte nicht verarbeitet werden.";
    return L"Orvanta hat die Anfrage abgelehnt (HTTP " + std::to_wstring(status) + L").";
}
