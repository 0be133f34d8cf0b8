// A library loaded by bare name, as a system library loads its own helpers:
// where the process's search finds it shows which directories it looks in.
#pragma once

#include <string>

namespace test_module {

// "loaded <full path>" (the library stays loaded) or "error <code>".
std::string loadByName(const std::wstring& name);

}  // namespace test_module
