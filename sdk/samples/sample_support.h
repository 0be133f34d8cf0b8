// What the sample modules share: texts from the environment and the marker
// file their post-processing writes. Plain C library calls only, so that the
// samples build unchanged for Windows and Linux.
#ifndef BREVANT_SAMPLE_SUPPORT_H
#define BREVANT_SAMPLE_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "brevant_updater_module.h"

namespace sample {

// The sample modules' own result codes. The updater logs them and passes them
// on; it gives no meaning to any code but 0 and 104.
constexpr int kNoLicense = 201;           // the license file is missing or unreadable
constexpr int kNoProductDirectory = 202;  // the product's directory is not configured
constexpr int kPathTooLong = 203;         // the directory does not fit the updater's buffer
constexpr int kMarkerNotWritten = 204;    // post-processing could not write its marker

inline std::wstring widen(const char* text) {
  std::wstring wide;
  if (text == nullptr) return wide;
  const std::size_t length = std::mbstowcs(nullptr, text, 0);
  if (length == static_cast<std::size_t>(-1)) return wide;
  wide.resize(length);
  std::mbstowcs(&wide[0], text, length);
  return wide;
}

inline std::string narrow(const std::wstring& wide) {
  std::string text;
  const std::size_t length = std::wcstombs(nullptr, wide.c_str(), 0);
  if (length == static_cast<std::size_t>(-1)) return text;
  text.resize(length);
  std::wcstombs(&text[0], wide.c_str(), length);
  return text;
}

// The value of an environment variable, empty when it is not set.
inline std::wstring environment(const char* name) { return widen(std::getenv(name)); }

// Copies `directory` into the updater's buffer with its terminator.
inline int answerDirectory(const std::wstring& directory, wchar_t* buffer, unsigned capacity) {
  if (directory.empty()) return kNoProductDirectory;
  if (directory.size() + 1 > capacity) return kPathTooLong;
  std::wmemcpy(buffer, directory.c_str(), directory.size() + 1);
  return BU_MODULE_SUCCESS;
}

// Records that post-processing ran: "<directory>/<fileName>" holds `text`.
// A real module would register the new files, restart a service, etc.
inline int writeMarker(const std::wstring& directory, const char* fileName,
                       const std::string& text) {
  const std::string path = narrow(directory) + "/" + fileName;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return kMarkerNotWritten;
  const bool written = std::fputs(text.c_str(), file) >= 0;
  if (std::fclose(file) != 0 || !written) return kMarkerNotWritten;
  return BU_MODULE_SUCCESS;
}

}  // namespace sample

#endif  // BREVANT_SAMPLE_SUPPORT_H
