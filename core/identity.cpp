#include "core/identity.h"

// Placeholder until the channel and identity code lands.
void load_or_create_channel(RunnerSettings&) {}
void load_identity(RunnerSettings&) {}
