// The contract with a product's two plug-in modules, for one update entry:
// load and verify them, ask the authorization module whether the update may
// be applied and the deployment module where it goes, let the deployment
// module finish, and release everything.
//
// The engine calls, for one entry and stopping at the first non-zero code:
// loadModules, authorizeAndLocate, (the archive is extracted), postProcess;
// then always releaseModules. Extraction of a single update passes authOnly
// and never loads a deployment module.
#pragma once

#include <string>

#include "brevant_updater_module.h"
#include "platform/code_module.h"

namespace bu {

// The modules and instances of the entry being processed. At most one
// authorization and one deployment instance is set at a time.
struct EntryModules {
  EntryModules(std::wstring updateFile, std::wstring updateDescription);
  // Releases whatever is still loaded, instances before their modules.
  ~EntryModules();
  EntryModules(const EntryModules&) = delete;
  EntryModules& operator=(const EntryModules&) = delete;

  std::wstring authModulePath;    // as the configuration or the registry gave it
  std::wstring deployModulePath;  // empty when only authorization is wanted
  std::wstring updateFile;        // names the entry in log lines
  std::wstring updateDescription;
  std::wstring deploymentPath;    // the directory the deployment module named

  platform::CodeModule authModule;
  platform::CodeModule deployModule;

  IBrevantUpdaterAuthorizationManager* authManager = nullptr;
  IBrevantUpdaterAuthorizationManager2* authManager2 = nullptr;
  IBrevantUpdaterDeploymentManager* deployManager = nullptr;
  IBrevantUpdaterDeploymentManager2* deployManager2 = nullptr;
  IBrevantUpdaterDeploymentManager3* deployManager3 = nullptr;
};

// Where a module comes from.
enum class ModuleOrigin {
  // Shipped in the package: its name, relative to the package folder, must
  // stay inside it, and its own imports come from the system directory only
  // (nothing else in the package is verified).
  Package,
  // Installed with its product (a path from the registry): its imports may
  // lie beside it, in the product's folder.
  Product,
};

// Verifies and loads the authorization module and, unless `authOnly`, the
// deployment module. Each file is opened once and verified through that
// opening before anything of it is loaded, so an unsigned module never runs.
// A packaged module whose name leaves the package is refused before any file
// is touched, as one that cannot be loaded.
// Codes: 0, 107 (authorization module not loadable), 117 (not signed), 119
// (deployment module not signed), 120 (deployment module not loadable).
int loadModules(EntryModules& record, const std::wstring& authModulePath,
                const std::wstring& deployModulePath, bool authOnly,
                ModuleOrigin authOrigin = ModuleOrigin::Product,
                ModuleOrigin deployOrigin = ModuleOrigin::Product);

// Makes the authorization instance, hands it `authContentType` and asks it;
// then, unless `authOnly`, makes the deployment instance, hands it
// `deployContentType` and reads the deployment directory into the record.
// Codes: 0, 107, 108, 120, 121, or the module's own code.
int authorizeAndLocate(const std::string& deployContentType, EntryModules& record,
                       const std::string& authContentType, bool rollback, bool authOnly);

// Lets the deployment instance finish after extraction.
// Codes: 0, 120, 121, or the module's own code.
int postProcess(bool rollback, EntryModules& record, bool oem);

// Releases the version-2 instances, unloads both modules and empties the
// record's texts.
void releaseModules(EntryModules& record);

}  // namespace bu
