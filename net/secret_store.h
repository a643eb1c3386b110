// Machine-wide client secret under DPAPI in the registry.
#pragma once
#include <string>

bool store_client_secret(const wchar_t* name, const std::string& secret);
bool load_client_secret(const wchar_t* name, std::string& secret);
