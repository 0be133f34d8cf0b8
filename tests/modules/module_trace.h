// What the test modules share: the trace of every call, and the behaviour
// the content type asks for.
//
// Each module is compiled with BU_TEST_MODULE set to its name. When the
// environment variable BU_MODULE_TRACE names a file, every call appends one
// line to it: "<module> <call> <arguments>", so that a test can tell what was
// loaded, called with which arguments, released and unloaded, in order.
//
// The content type the updater hands over is a list of "key=value" items
// separated by ';', e.g. "auth=104" or "path=C:\x;post=9".
#pragma once

#include <string>

namespace test_module {

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A wide text for the trace: printable ASCII as it is, anything else as \x{hex}.
std::string describe(const wchar_t* text);

// Whether the content type holds the item "key=value" or "key", and its value.
bool has(const std::wstring& contentType, const wchar_t* key);
std::wstring value(const std::wstring& contentType, const wchar_t* key);
// The value as a number, or `fallback` when the key is absent.
int number(const std::wstring& contentType, const wchar_t* key, int fallback);

}  // namespace test_module
