// The product version, in one place for the resource, the MSI and file names.
#pragma once
#define RUNNER_VERSION_MAJOR 0
#define RUNNER_VERSION_MINOR 2
#define RUNNER_VERSION_PATCH 0
#define RUNNER_VERSION_TEXT "0.2.0"
