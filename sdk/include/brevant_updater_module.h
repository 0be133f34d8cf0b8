// Brevant Updater plug-in module interface.
//
// A product ships two modules that the updater loads for each of its
// updates: an authorization module, which decides whether the update may be
// applied to this machine, and a deployment module, which names the
// directory the update's archive is extracted to and finishes the
// installation afterwards. See sdk/README.md for the whole contract.
//
// The interfaces are plain abstract classes called through their virtual
// function tables, so their layout is the binary contract:
//   - no virtual destructor, and one chain of single inheritance per kind, so
//     that the slot of an operation is its position in declaration order;
//   - the compiler's default member calling convention (thiscall on 32-bit
//     Windows), so modules may be built with the Microsoft compiler or with
//     MinGW-w64;
//   - the two PostProcess operations live in different classes of the chain:
//     the Microsoft compiler groups overloads declared in one class together,
//     which would swap slots.
// int is 32 bits, bool one byte, wchar_t the platform's (2 bytes on Windows,
// 4 on Linux).
#ifndef BREVANT_UPDATER_MODULE_H
#define BREVANT_UPDATER_MODULE_H

// Results the updater gives a meaning to. Any other non-zero value is the
// module's own code: the updater logs it and passes it on unchanged.
enum : int {
  BU_MODULE_SUCCESS = 0,
  // Authorize(): this update must not be applied to this machine.
  BU_MODULE_NOT_AUTHORIZED = 104,
};

// Characters of the buffer GetDeploymentPath() fills, terminator included.
enum : unsigned { BU_DEPLOYMENT_PATH_CAPACITY = 260 };

// Authorization module, version 1.
class IBrevantUpdaterAuthorizationManager {
 public:
  // Slot 0: the entry's authorization content type from buConfig.xml.
  virtual void SetContentType(const wchar_t* contentType) = 0;
  // Slot 1: BU_MODULE_SUCCESS when the update may be deployed.
  virtual int Authorize() = 0;
};

// Authorization module, version 2: the updater releases the instance.
class IBrevantUpdaterAuthorizationManager2 : public IBrevantUpdaterAuthorizationManager {
 public:
  // Slot 2: the last call the instance receives.
  virtual void ReleaseInstance() = 0;
};

// Version 3's PostProcess hides version 1's on purpose: a call through the
// version 3 interface cannot reach slot 2 by overload. Compilers that warn
// about the hiding (at either declaration) are told it is meant.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif

// Deployment module, version 1.
class IBrevantUpdaterDeploymentManager {
 public:
  // Slot 0: the entry's deployment content type from buConfig.xml.
  virtual void SetContentType(const wchar_t* contentType) = 0;
  // Slot 1: writes the target directory, zero-terminated, into `buffer` of
  // `capacity` characters (BU_DEPLOYMENT_PATH_CAPACITY, zero-filled);
  // `rollback` is the /r option.
  virtual int GetDeploymentPath(wchar_t* buffer, unsigned capacity, bool rollback) = 0;
  // Slot 2: called after the archive was extracted (versions 1 and 2).
  virtual int PostProcess(bool rollback) = 0;
};

// Deployment module, version 2: the updater releases the instance.
class IBrevantUpdaterDeploymentManager2 : public IBrevantUpdaterDeploymentManager {
 public:
  // Slot 3: the last call the instance receives (version 2 only).
  virtual void ReleaseInstance() = 0;
};

// Deployment module, version 3: post-processing also learns the OEM option.
// The updater calls slots 0, 1 and 4 only; slot 4 replaces slot 2 and the
// instance receives no ReleaseInstance().
class IBrevantUpdaterDeploymentManager3 : public IBrevantUpdaterDeploymentManager2 {
 public:
  // Slot 4: `oem` is the /tvxoem option.
  virtual int PostProcess(bool rollback, bool oem) = 0;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The factories a module exports, undecorated, with C linkage. Each takes no
// arguments and answers a new instance, or null when it cannot make one. The
// updater looks them up in this order and calls the first one found:
//   authorization: CreateAuthorizationManager2Instance, CreateAuthorizationManagerInstance
//   deployment:    CreateDeploymentManager3Instance, CreateDeploymentManager2Instance,
//                  CreateDeploymentManagerInstance
using CreateAuthorizationManagerInstanceFunction = IBrevantUpdaterAuthorizationManager* (*)();
using CreateAuthorizationManager2InstanceFunction = IBrevantUpdaterAuthorizationManager2* (*)();
using CreateDeploymentManagerInstanceFunction = IBrevantUpdaterDeploymentManager* (*)();
using CreateDeploymentManager2InstanceFunction = IBrevantUpdaterDeploymentManager2* (*)();
using CreateDeploymentManager3InstanceFunction = IBrevantUpdaterDeploymentManager3* (*)();

#define BU_CREATE_AUTHORIZATION_MANAGER "CreateAuthorizationManagerInstance"
#define BU_CREATE_AUTHORIZATION_MANAGER2 "CreateAuthorizationManager2Instance"
#define BU_CREATE_DEPLOYMENT_MANAGER "CreateDeploymentManagerInstance"
#define BU_CREATE_DEPLOYMENT_MANAGER2 "CreateDeploymentManager2Instance"
#define BU_CREATE_DEPLOYMENT_MANAGER3 "CreateDeploymentManager3Instance"

// Marks a factory for export: BU_MODULE_EXPORT IBrevantUpdaterAuthorizationManager2*
// CreateAuthorizationManager2Instance() { ... }
#if defined(_WIN32)
#define BU_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define BU_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif  // BREVANT_UPDATER_MODULE_H
