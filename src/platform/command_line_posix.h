// POSIX only: the entry point hands the process's argv to the platform layer.
#pragma once

namespace bu::platform {

void setProcessArguments(int argc, char** argv);

}  // namespace bu::platform
