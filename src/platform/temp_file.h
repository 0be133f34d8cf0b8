// Files in the user's temporary directory.
#pragma once

#include <cstdio>
#include <memory>

namespace bu::platform {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `fileName` in the temporary directory for appending in text mode,
// creating it when missing, with no sharing restriction. Null on failure.
UniqueFile openTempFileForAppend(const char* fileName);

}  // namespace bu::platform
