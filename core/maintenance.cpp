#include "core/maintenance.h"

// Placeholders until the maintenance commands land.
int run_set_secret_file(const Arguments&) { return 1; }
int run_verify_secret_file(const Arguments&) { return 3; }
int run_check(bool, const std::string&) { return 0; }
int run_open_command(bool secret_present, std::string&) { return secret_present ? 0 : 1; }
