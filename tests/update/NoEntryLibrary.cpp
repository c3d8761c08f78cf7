// A library without the engine's entry point: its only export has ordinal 2.
#include <windows.h>

extern "C" int WINAPI NotTheEngine() { return 0; }
