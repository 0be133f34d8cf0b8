// A regular file opened for reading, and read whole into memory.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bu::platform {

// Opens `path` for reading and answers its descriptor, or -1 when it cannot be
// opened or is not a regular file. The open does not block, so a pipe cannot
// wait for a writer; a directory, whose length reads as enormous, or a device
// counts as not opened, as it does for the Windows file services.
int openRegularFileDescriptor(const std::string& path);

class RegularFile {
 public:
  // Opens `path` with openRegularFileDescriptor.
  explicit RegularFile(const std::string& path);
  // Takes over `descriptor` (-1 for none), which must be a regular file's.
  explicit RegularFile(int descriptor) : descriptor_(descriptor) {}
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool opened() const { return descriptor_ >= 0; }

  // The file's bytes, read rather than mapped: a file cut short by someone
  // else meanwhile gives fewer bytes, never a fault. False when reading
  // fails or the file holds more than `limit` bytes.
  bool readAll(std::vector<unsigned char>& bytes, std::size_t limit) const;

 private:
  int descriptor_ = -1;
};

}  // namespace bu::platform
