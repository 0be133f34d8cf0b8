// Every message box of the program, and the module whose string table
// supplies their texts.
#pragma once

#include "platform/module.h"
#include "platform/string_resource.h"

namespace bu {

// The optional signed resource module in the package.
extern const wchar_t kResourceModuleName[];

// Where string-table texts come from: a verified buResource.dll, or the
// program's own instance. Set once at startup; never released.
extern platform::StringModuleHandle resourceModule;

void loadResourceModule(platform::ModuleHandle instance);

// Yes/No before a full run; silent runs answer Yes without a box. Returns the
// box's answer (platform::kBoxYes for Yes).
int confirmDeployment();

void showHelp();               // shown even when silent
void showInvalidArguments();   // shown even when silent
void showConfigurationError(int code);
void showSummary(int result);

// A wide printf-style format ("%ls" for wide text arguments), any length,
// under the caption "BU Information".
void showInformation(const wchar_t* format, ...);

// Which string-table text each box shows.
unsigned configurationErrorTextId(int code);
unsigned summaryTextId(int result);

}  // namespace bu
