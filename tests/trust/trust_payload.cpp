// A small shared library whose signed copies are the signature tests' files.
// The POSIX tests also load a signed copy with dlopen and call this function,
// to show that an appended signature leaves a shared object loadable.
extern "C" int buTrustPayload();

extern "C" int buTrustPayload() { return 42; }
