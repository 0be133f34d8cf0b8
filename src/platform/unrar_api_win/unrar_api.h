// The UnRAR library's interface on Windows: the header of the source that
// builds unrar.dll, on top of the Windows types it uses. Its functions are
// stdcall on 32-bit Windows (PASCAL), which the function types taken from
// its declarations carry along. Include only where the library is called.
#pragma once

#include <windows.h>

#include <unrar/dll.hpp>
