// Opening the current patient: one flow per request, on its own thread in run mode.
#pragma once

// Runs the flow on the calling thread (the --open command and the flow thread).
void open_patient_flow();
// Starts the flow on a new thread unless one is running (tray, button).
void start_open_patient();
