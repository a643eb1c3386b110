#include "desktop/open_patient.h"

// Placeholder until the open-patient flow lands.
void open_patient_flow() {}
void start_open_patient() {}
