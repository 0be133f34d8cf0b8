#include "app/user_messages.h"

#include <cstdarg>
#include <cwchar>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "config/result_codes.h"
#include "log/write_log.h"
#include "platform/message_box.h"
#include "platform/string_resource.h"
#include "trust/publisher_signature.h"
#include "version.h"

namespace bu {

const wchar_t kResourceModuleName[] = L"buResource.dll";

platform::StringModuleHandle resourceModule = nullptr;

namespace {

using platform::BoxButtons;
using platform::BoxIcon;

// String-table ids and the buffers (UTF-16 units with the terminator) their
// texts are loaded into; a longer text from an external table is cut.
constexpr unsigned kTextConfirm = 101;
constexpr unsigned kTextCaption = 102;
constexpr unsigned kTextConfigNotLoaded = 103;
constexpr unsigned kTextConfigNoRoot = 104;
constexpr unsigned kTextConfigOther = 105;
constexpr unsigned kTextHelp = 106;
constexpr unsigned kTextInvalidArguments = 107;
constexpr unsigned kTextAllInstalled = 108;
constexpr unsigned kTextSomeInstalled = 109;
constexpr unsigned kTextAllFailed = 110;
constexpr unsigned kTextIncompatible = 111;
constexpr std::size_t kCaptionCapacity = 260;
constexpr std::size_t kTextCapacity = 520;
constexpr std::size_t kHelpCapacity = 780;

const wchar_t kInformationCaption[] = L"BU Information";
const wchar_t kConfirmHeading[] = L"Tarvenix Brevant Updater\nVersion ";

const char kResourceVerified[] =
    "BU RES TVXSIGNED SUCCESS: Successfully verified Tarvenix Signature for the buResource DLL";
const char kResourceLoaded[] = "BU RES LOAD: Successfully loaded the resource file..";
const char kResourceNotLoaded[] =
    "BU RES LOAD: Resource DLL not found. Using the internal resource file..";
const char kResourceNotSigned[] =
    "BU RES TVXSIGNED FAILED: External BU resource DLL buResource DLL is not Tarvenix Signed. "
    "Using the internal resource file..";

std::wstring caption() { return platform::loadString(resourceModule, kTextCaption, kCaptionCapacity); }

void showTableBox(unsigned textId, std::size_t capacity, BoxIcon icon) {
  platform::showMessageBox(caption(), platform::loadString(resourceModule, textId, capacity),
                           BoxButtons::Ok, icon);
}

// Formats without a length limit: the buffer grows until the text fits.
std::wstring formatWide(const wchar_t* format, va_list arguments) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (length >= 0 && static_cast<std::size_t>(length) < buffer.size()) {
      return std::wstring(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= (std::size_t{1} << 28)) return {};  // a broken format, not a long text
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

void loadResourceModule(platform::ModuleHandle instance) {
  resourceModule = platform::ownStringModule(instance);
  // The current directory's file, opened once: the file verified is the file
  // whose texts are read, and only its string table is loaded (as data, so
  // no code in it ever runs).
  const platform::PinnedFile file = platform::PinnedFile::open(kResourceModuleName);
  if (!verifyPublisherSignature(file)) {
    WriteLog("%s", kResourceNotSigned);
    return;
  }
  WriteLog("%s", kResourceVerified);
  const platform::StringModuleHandle module = platform::loadStringModule(file);
  if (module == nullptr) {
    WriteLog("%s", kResourceNotLoaded);
    return;
  }
  resourceModule = module;
  WriteLog("%s", kResourceLoaded);
}

int confirmDeployment() {
  if (runOptions.silent) return platform::kBoxYes;
  std::wstring text = kConfirmHeading;
  text += L"" BU_VERSION_TEXT;
  text += platform::loadString(resourceModule, kTextConfirm, kTextCapacity);
  return platform::showMessageBox(caption(), text, BoxButtons::YesNo, BoxIcon::None);
}

void showHelp() { showTableBox(kTextHelp, kHelpCapacity, BoxIcon::Information); }

void showInvalidArguments() {
  showTableBox(kTextInvalidArguments, kHelpCapacity, BoxIcon::Information);
}

unsigned configurationErrorTextId(int code) {
  switch (code) {
    case kResultConfigNotLoaded:
      return kTextConfigNotLoaded;
    case kResultConfigNoRoot:
      return kTextConfigNoRoot;
    default:
      return kTextConfigOther;
  }
}

void showConfigurationError(int code) {
  if (runOptions.silent) return;
  showTableBox(configurationErrorTextId(code), kTextCapacity, BoxIcon::Error);
}

unsigned summaryTextId(int result) {
  switch (result) {
    case kResultSuccess:
      return kTextAllInstalled;
    case kResultNoneDeployed:
      return kTextAllFailed;
    case kResultOemMismatch:
      return kTextIncompatible;
    default:
      return kTextSomeInstalled;
  }
}

void showSummary(int result) {
  if (runOptions.silent) return;
  showTableBox(summaryTextId(result), kTextCapacity, BoxIcon::None);
}

void showInformation(const wchar_t* format, ...) {
  if (runOptions.silent) return;
  va_list arguments;
  va_start(arguments, format);
  const std::wstring text = formatWide(format, arguments);
  va_end(arguments);
  platform::showMessageBox(kInformationCaption, text, BoxButtons::Ok, BoxIcon::Information);
}

}  // namespace bu
