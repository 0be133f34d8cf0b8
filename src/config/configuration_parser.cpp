#include <tinyxml.h>

#include <optional>
#include <string>

#include "app/result_codes.h"
#include "config/ascii_case.h"
#include "config/configuration.h"
#include "config/update_entry.h"
#include "log/write_log.h"

namespace bu {
namespace {

const char kNoRoot[] =
    "CONGIF INVALID_SYNTAX: INVALID buConfig.xml format. Wrong root element identified..";
const char kNoInfo[] =
    "BU INFO: BU file-name and creation-date are not defined in the config file.";
const char kRunOemOnlySet[] = "\tBU INFO: run-oem-only has been set to yes";
const char kFileName[] = "\tBU INFO: File-name : %s";
const char kCreationDate[] = "\tBU INFO: Creation-date : %s";
const char kUndefined[] = "Un-defined";
const char kIncompleteEntry[] =
    "IGNORE ENTRY: Entry for '%s' is not complete. Some required fields are missing. Ignoring "
    "this entry.";
const char kIncompleteFields[] =
    "Failed while deploying '%s', because one or more required fields are missing in the "
    "buConfig.xml file.";

// The schema's names. Element names are case-sensitive.
const char kInfo[] = "info";
const char kInfoFileName[] = "file-name";
const char kInfoCreationDate[] = "creation-date";
const char kInfoRunOemOnly[] = "run-oem-only";
const char kProduct[] = "product";
const char kUpdateFile[] = "update-file";
const char kUpdateDescription[] = "update-description";
const char kAuthInfo[] = "auth-dll-info";
const char kDeployInfo[] = "deploy-dll-info";
const char kContentType[] = "content-type";
const char kLocation[] = "location";
const char kDllName[] = "dll-name";
const char kYes[] = "yes";

using Value = std::optional<std::string>;

// The first child node of that name, if it is an element. A later namesake
// never counts, nor does a first namesake that is not an element (TinyXML
// names a text or comment node by its content, so a text spelled like the
// element hides it).
const TiXmlElement* child(const TiXmlNode* parent, const char* name) {
  if (parent == nullptr) return nullptr;
  const TiXmlNode* first = parent->FirstChild(name);
  return first != nullptr ? first->ToElement() : nullptr;
}

// An element's text: its first child node, only when that is text or CDATA.
Value value(const TiXmlElement* element) {
  if (element == nullptr) return std::nullopt;
  const char* text = element->GetText();
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

Value childValue(const TiXmlNode* parent, const char* name) { return value(child(parent, name)); }

void readInfo(const TiXmlElement* root) {
  const TiXmlElement* info = child(root, kInfo);
  if (info == nullptr) {
    WriteLog("%s", kNoInfo);
    return;
  }
  const Value runOemOnlyValue = childValue(info, kInfoRunOemOnly);
  if (runOemOnlyValue && lowerCasedAscii(*runOemOnlyValue) == kYes) {
    runOemOnly = true;
    WriteLog("%s", kRunOemOnlySet);
  }
  WriteLog(kFileName, childValue(info, kInfoFileName).value_or(kUndefined).c_str());
  WriteLog(kCreationDate, childValue(info, kInfoCreationDate).value_or(kUndefined).c_str());
}

// One module's three values from its container (auth-dll-info or
// deploy-dll-info); all missing when the container is.
struct ModuleValues {
  Value contentType;
  Value location;
  Value dllName;
};

ModuleValues moduleValues(const TiXmlElement* product, const char* container) {
  const TiXmlElement* info = child(product, container);
  return {childValue(info, kContentType), childValue(info, kLocation), childValue(info, kDllName)};
}

// Appends a complete product to updateEntries. An incomplete one is left out
// and named in the log by the first of its identifying values that is
// present; with none of them it cannot be named and nothing is logged.
bool readProduct(const TiXmlElement* product) {
  const Value file = childValue(product, kUpdateFile);
  const Value description = childValue(product, kUpdateDescription);
  const ModuleValues auth = moduleValues(product, kAuthInfo);
  const ModuleValues deploy = moduleValues(product, kDeployInfo);

  const bool complete = file && description && auth.contentType && auth.location &&
                        auth.dllName && deploy.contentType && deploy.location && deploy.dllName;
  if (complete) {
    updateEntries.push_back(UpdateEntry{*auth.contentType, *deploy.contentType, *file,
                                        *description, *auth.dllName, *deploy.dllName,
                                        lowerCasedAscii(*auth.location), lowerCasedAscii(*deploy.location)});
    return true;
  }
  for (const Value* name : {&file, &description, &auth.contentType, &deploy.contentType}) {
    if (!*name) continue;
    WriteLog(kIncompleteEntry, (*name)->c_str());
    WriteLog(kIncompleteFields, (*name)->c_str());
    break;
  }
  return false;
}

}  // namespace

int parseConfiguration(const TiXmlDocument& document) {
  // The root is the first element at top level, whatever its name; any
  // further top-level elements are never read.
  const TiXmlElement* root = document.FirstChildElement();
  if (root == nullptr) {
    WriteLog("%s", kNoRoot);
    return kResultConfigNoRoot;
  }
  readInfo(root);

  // Only the root's own `product` children, in document order; an
  // incomplete one never stops the others from being read.
  int result = kResultSuccess;
  for (const TiXmlElement* product = root->FirstChildElement(kProduct); product != nullptr;
       product = product->NextSiblingElement(kProduct)) {
    if (!readProduct(product)) result = kResultSomeFailed;
  }
  return result;
}

}  // namespace bu
