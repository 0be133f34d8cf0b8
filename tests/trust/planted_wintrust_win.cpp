// A stand-in wintrust.dll whose WinVerifyTrust accepts every file and which
// has none of the helper functions. The tests plant it beside the program and
// in the current directory: a check that loaded it would go past the
// platform's verdict and fail one step later with another log line.
#include <windows.h>

extern "C" LONG WINAPI WinVerifyTrust(HWND, GUID*, LPVOID);

extern "C" LONG WINAPI WinVerifyTrust(HWND, GUID*, LPVOID) { return 0; }
