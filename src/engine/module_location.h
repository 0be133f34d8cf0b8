// Where an entry's plug-in modules are: shipped in the package (the module's
// name, as the configuration writes it) or installed with the product (the
// full path the product recorded in the machine's registry, in a value named
// after the module).
#pragma once

#include <cstddef>
#include <string>

#include "modules/entry_modules.h"

namespace bu {

enum class ModuleKind { Authorization, Deployment };

// The wording of the line logged before a registry read: the full run's, or
// the shorter one of the extraction (which exists for authorization modules
// only; a deployment module always gets the full run's line).
enum class NoticeStyle { FullRun, Short };

// The registry key, below the machine hive, that holds one value per
// installed module.
extern const char kLocalDllsKey[];

// True exactly for the text "local" (locations are stored lower-cased).
bool isLocalLocation(const std::string& location);

// The data of the registry value named after the entry's module of `kind`,
// read in the 64-bit view when asked; empty on any failure (an entry index
// out of range included). Logs the REG lines of the key's opening and of the
// value's reading.
std::wstring readModulePathFromRegistry(std::size_t entryIndex, ModuleKind kind,
                                        bool use64BitView);

// The path of the entry's module of `kind`: the bare module name when it is
// packaged, else the registry's answer in the default view, after a notice
// worded by `noticeStyle`. Empty means "not located"; judging that is the
// caller's business.
std::wstring resolveModulePath(std::size_t entryIndex, ModuleKind kind, NoticeStyle noticeStyle);

// The path of the first entry's authorization module, in list order, that
// resolves (registry: the 64-bit view first, then the default view); empty
// when none does. Deployment modules are not looked at.
std::wstring findAuthorizationModulePath();

// Where a module of `location` comes from: the registry for "local", the
// package otherwise.
ModuleOrigin originOf(const std::string& location);

}  // namespace bu
