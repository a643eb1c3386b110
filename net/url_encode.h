// Form-value encoding for application/x-www-form-urlencoded bodies.
#pragma once
#include <string>

// Keeps A-Z a-z 0-9 - . _ ~ and writes every other byte as %XX (upper-case hex);
// a space becomes "%20", never "+".
std::string url_encode(const std::string& bytes);
// The same, appended to `out` so that secrets leave no temporary copy behind.
void append_url_encoded(std::string& out, const std::string& bytes);
