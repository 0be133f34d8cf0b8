// The UnRAR library's interface on POSIX: Debian's libunrar header. With
// _UNIX defined it spells the Windows types of the interface as macros
// (HANDLE, UINT, LONG, LPARAM, and empty calling conventions); they are
// dropped again so that they cannot reach any header included later.
// Include this header last, and only where the library is called.
#pragma once

#define _UNIX
#include <unrar/dll.hpp>
#undef _UNIX
#undef CALLBACK
#undef PASCAL
#undef LONG
#undef HANDLE
#undef LPARAM
#undef UINT
