// The one-shot administration commands.
#pragma once
#include <string>

#include "core/console.h"

// Reads a secret file and drops every white-space byte; true when something is left.
// On a read failure `secret` is untouched.
bool read_secret_file(const std::wstring& path, std::string& secret);

int run_set_secret_file(const Arguments& args);
int run_verify_secret_file(const Arguments& args);
// Prints the configuration check; the secret is the one loaded at start-up.
int run_check(bool secret_present, const std::string& secret);
// One-shot open from a console; wipes the secret once the token client has it.
int run_open_command(bool secret_present, std::string& secret);
