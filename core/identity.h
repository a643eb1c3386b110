// Channel identifier and session identity values, taken once at start-up.
#pragma once
#include "core/settings.h"

void load_or_create_channel(RunnerSettings& target);
void load_identity(RunnerSettings& target);
