// quorndll.dll holds resources only; the engine finds it among the loaded
// modules by name. This entry point lets it load without doing anything.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
