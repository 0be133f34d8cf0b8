#include <tinyxml.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/ascii_case.h"
#include "config/configuration.h"
#include "config/result_codes.h"
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

// A product's eight values, each present or not.
struct ProductValues {
  Value file;
  Value description;
  ModuleValues auth;
  ModuleValues deploy;
};

ProductValues productValues(const TiXmlElement* product) {
  return {childValue(product, kUpdateFile), childValue(product, kUpdateDescription),
          moduleValues(product, kAuthInfo), moduleValues(product, kDeployInfo)};
}

// The values a product lacks, by their element paths, in the schema's order.
std::vector<std::string> missingValues(const ProductValues& values) {
  const std::pair<const Value*, std::string> all[] = {
      {&values.file, kUpdateFile},
      {&values.description, kUpdateDescription},
      {&values.auth.contentType, std::string(kAuthInfo) + "/" + kContentType},
      {&values.auth.location, std::string(kAuthInfo) + "/" + kLocation},
      {&values.auth.dllName, std::string(kAuthInfo) + "/" + kDllName},
      {&values.deploy.contentType, std::string(kDeployInfo) + "/" + kContentType},
      {&values.deploy.location, std::string(kDeployInfo) + "/" + kLocation},
      {&values.deploy.dllName, std::string(kDeployInfo) + "/" + kDllName}};
  std::vector<std::string> missing;
  for (const auto& [value, path] : all) {
    if (!*value) missing.push_back(path);
  }
  return missing;
}

// The first of an incomplete product's identifying values that is present:
// the name the log gives it.
const Value* logName(const ProductValues& values) {
  for (const Value* name : {&values.file, &values.description, &values.auth.contentType,
                            &values.deploy.contentType}) {
    if (*name) return name;
  }
  return nullptr;
}

// The root's own `product` children, in document order.
template <typename Visit>
void forEachProduct(const TiXmlElement* root, Visit visit) {
  for (const TiXmlElement* product = root->FirstChildElement(kProduct); product != nullptr;
       product = product->NextSiblingElement(kProduct)) {
    visit(productValues(product));
  }
}

// Appends a complete product to updateEntries. An incomplete one is left out
// and named in the log by the first of its identifying values that is
// present; with none of them it cannot be named and nothing is logged.
bool readProduct(const ProductValues& values) {
  if (missingValues(values).empty()) {
    const ModuleValues& auth = values.auth;
    const ModuleValues& deploy = values.deploy;
    updateEntries.push_back(UpdateEntry{*auth.contentType, *deploy.contentType, *values.file,
                                        *values.description, *auth.dllName, *deploy.dllName,
                                        lowerCasedAscii(*auth.location), lowerCasedAscii(*deploy.location)});
    return true;
  }
  if (const Value* name = logName(values)) {
    WriteLog(kIncompleteEntry, (*name)->c_str());
    WriteLog(kIncompleteFields, (*name)->c_str());
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
  forEachProduct(root, [&result](const ProductValues& values) {
    if (!readProduct(values)) result = kResultSomeFailed;
  });
  return result;
}

std::vector<LeftOutProduct> leftOutProducts(const TiXmlDocument& document) {
  std::vector<LeftOutProduct> leftOut;
  const TiXmlElement* root = document.FirstChildElement();
  if (root == nullptr) return leftOut;
  std::size_t position = 0;
  forEachProduct(root, [&](const ProductValues& values) {
    ++position;
    std::vector<std::string> missing = missingValues(values);
    if (missing.empty()) return;
    const Value* name = logName(values);
    leftOut.push_back({position, name != nullptr ? **name : std::string(), std::move(missing)});
  });
  return leftOut;
}

}  // namespace bu
