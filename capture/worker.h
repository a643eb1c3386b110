// The worker thread: directory watch, capture and sync passes.
#pragma once
#include <windows.h>

DWORD WINAPI gdt_worker(LPVOID parameter);
