#include "desktop/open_patient.h"

// Placeholder until the open-patient flow lands.
DWORD WINAPI open_patient_flow(LPVOID) { return 0; }
void start_open_patient() {}
