// Files in the user's temporary directory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace bu::platform {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Appends `size` bytes of text to `fileName` in the temporary directory,
// creating the file when missing, and closes it again. The text lands whole
// at the end of the file, even while another process appends to the same
// file; others may read or write it meanwhile. Windows writes each "\n" as
// CR LF (text mode). POSIX never follows a symbolic link at the name, makes
// a new file its owner's only, and writes to an existing one only when it is
// a regular file of the same user with no other name. False when the file
// cannot be opened or written; nothing else happens then.
bool appendToTempFile(const char* fileName, const char* text, std::size_t size);

}  // namespace bu::platform
