// The pure parts of the token exchange: the request form and the expiry arithmetic.
#pragma once
#include <cstdint>
#include <string>

// "grant_type=client_credentials&client_id=...&client_secret=..." (form-encoded).
std::string token_request_body(const std::string& client_id, const std::string& client_secret);

// When a token fetched at `now_ms` with the given lifetime expires; saturates
// instead of wrapping, so a negative lifetime lies in the past and a huge one
// at the end of time.
uint64_t token_expiry_ms(uint64_t now_ms, int64_t expires_in_s);
