// The calls into the modules' instances: authorization, the deployment
// directory, post-processing.
#include <algorithm>
#include <array>

#include "config/result_codes.h"
#include "log/write_log.h"
#include "modules/entry_modules.h"
#include "platform/text.h"

namespace bu {
namespace {

const char kAuthNotImplemented[] =
    "AUTH INTERFACE ERROR: Authorization interface not implemented properly.";
const char kAuthNoInstance[] =
    "AUTH INTERFACE ERROR: Failure occurred while retrieving a referance to the Authorization "
    "Manager object.";
const char kNotAuthorized[] =
    "AUTHORIZATION FAILED: %s is not authorized for deployment. Error code : %d";
const char kAuthorized[] = "AUTHORIZATION SUCCESSFUL: %s is successfully authorized for deployment.";

const char kDeployNotImplemented[] =
    "DEPLOY INTERFACE ERROR: Deployment interface not implemented properly.";
const char kDeploy3NoInstance[] =
    "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
    "Manager 3 object.";
const char kDeploy2NoInstance[] =
    "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
    "Manager 2 object.";
const char kDeployNoInstance[] =
    "DEPLOY INTERFACE ERROR: Failure occurred while retrieving a referance to the Deployment "
    "Manager object.";
const char kNoDeploymentPath[] =
    "DEPLOYMENT FAILED: Failed while retrieving deployment path from %s. Error code : %d";
const char kDeploymentPath[] = "DEPLOY PATH SUCCESS: %s will be deployed at location %s";

const char kInstanceInvalid[] = "DEPLOY INTERFACE ERROR: Deployment interface instance is not valid";
const char kPostProcessFailed[] = "POST PROCESS FAILURE: Failure reported while post processing %s";
const char kPostProcessed[] = "POST PROCESS SUCCESS: Successfully performed post processing for %s";

// Version 2 if the module exports its factory, else version 1; the first
// factory found is the only one called, even when it answers null.
int makeAuthorizationInstance(EntryModules& record, IBrevantUpdaterAuthorizationManager*& made) {
  using platform::symbolAs;
  if (const auto create2 = symbolAs<CreateAuthorizationManager2InstanceFunction>(
          record.authModule, BU_CREATE_AUTHORIZATION_MANAGER2)) {
    record.authManager2 = create2();
    made = record.authManager2;
  } else if (const auto create = symbolAs<CreateAuthorizationManagerInstanceFunction>(
                 record.authModule, BU_CREATE_AUTHORIZATION_MANAGER)) {
    record.authManager = create();
    made = record.authManager;
  } else {
    WriteLog("%s", kAuthNotImplemented);
    return kResultAuthInterface;
  }
  if (made == nullptr) {
    WriteLog("%s", kAuthNoInstance);
    return kResultAuthInterface;
  }
  return kResultSuccess;
}

// Version 3, else 2, else 1, by the first factory found.
int makeDeploymentInstance(EntryModules& record, IBrevantUpdaterDeploymentManager*& made) {
  using platform::symbolAs;
  record.deployManager3 = nullptr;
  record.deployManager2 = nullptr;
  record.deployManager = nullptr;
  const char* noInstance = nullptr;
  if (const auto create3 = symbolAs<CreateDeploymentManager3InstanceFunction>(
          record.deployModule, BU_CREATE_DEPLOYMENT_MANAGER3)) {
    record.deployManager3 = create3();
    made = record.deployManager3;
    noInstance = kDeploy3NoInstance;
  } else if (const auto create2 = symbolAs<CreateDeploymentManager2InstanceFunction>(
                 record.deployModule, BU_CREATE_DEPLOYMENT_MANAGER2)) {
    record.deployManager2 = create2();
    made = record.deployManager2;
    noInstance = kDeploy2NoInstance;
  } else if (const auto create = symbolAs<CreateDeploymentManagerInstanceFunction>(
                 record.deployModule, BU_CREATE_DEPLOYMENT_MANAGER)) {
    record.deployManager = create();
    made = record.deployManager;
    noInstance = kDeployNoInstance;
  } else {
    WriteLog("%s", kDeployNotImplemented);
    return kResultDeployInterface;
  }
  if (made == nullptr) {
    WriteLog("%s", noInstance);
    return kResultDeployInterface;
  }
  return kResultSuccess;
}

}  // namespace

int authorizeAndLocate(const std::string& deployContentType, EntryModules& record,
                       const std::string& authContentType, bool rollback, bool authOnly) {
  if (!record.authModule) return kResultAuthLoadFailed;
  IBrevantUpdaterAuthorizationManager* authorization = nullptr;
  if (const int code = makeAuthorizationInstance(record, authorization); code != kResultSuccess) {
    return code;
  }
  const std::string updateFile = platform::wideToAnsi(record.updateFile);
  authorization->SetContentType(platform::ansiToWide(authContentType).c_str());
  if (const int code = authorization->Authorize(); code != kResultSuccess) {
    WriteLog(kNotAuthorized, updateFile.c_str(), code);
    return code;
  }
  WriteLog(kAuthorized, updateFile.c_str());
  if (authOnly) return kResultSuccess;

  if (!record.deployModule) return kResultDeployLoadFailed;
  IBrevantUpdaterDeploymentManager* deployment = nullptr;
  if (const int code = makeDeploymentInstance(record, deployment); code != kResultSuccess) {
    return code;
  }
  deployment->SetContentType(platform::ansiToWide(deployContentType).c_str());
  std::array<wchar_t, BU_DEPLOYMENT_PATH_CAPACITY> buffer{};
  if (const int code = deployment->GetDeploymentPath(buffer.data(), BU_DEPLOYMENT_PATH_CAPACITY,
                                                     rollback);
      code != kResultSuccess) {
    WriteLog(kNoDeploymentPath, platform::wideToAnsi(record.deployModulePath).c_str(), code);
    return code;
  }
  // Up to the terminator, or the whole buffer when the module wrote none:
  // never a character beyond it.
  record.deploymentPath.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), L'\0'));
  WriteLog(kDeploymentPath, updateFile.c_str(),
           platform::wideToAnsi(record.deploymentPath).c_str());
  return kResultSuccess;
}

int postProcess(bool rollback, EntryModules& record, bool oem) {
  if (!record.deployModule) return kResultDeployLoadFailed;
  int code = kResultSuccess;
  if (record.deployManager3 != nullptr) {
    code = record.deployManager3->PostProcess(rollback, oem);
  } else if (record.deployManager2 != nullptr) {
    code = record.deployManager2->PostProcess(rollback);
  } else if (record.deployManager != nullptr) {
    code = record.deployManager->PostProcess(rollback);
  } else {
    WriteLog("%s", kInstanceInvalid);
    return kResultDeployInterface;
  }
  const std::string updateFile = platform::wideToAnsi(record.updateFile);
  if (code != kResultSuccess) {
    WriteLog(kPostProcessFailed, updateFile.c_str());
    return code;
  }
  WriteLog(kPostProcessed, updateFile.c_str());
  return kResultSuccess;
}

}  // namespace bu
