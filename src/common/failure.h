// The library's failure family. Work operations raise these; the export
// frames (and the few operations that map failures to codes of their own)
// catch them. std::bad_alloc from the standard containers is treated as the
// out-of-memory member of the family wherever failures are caught.
#pragma once

#include <stdexcept>
#include <string>

namespace vek {

class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class OutOfMemory : public Failure {
  public:
    OutOfMemory() : Failure("out of memory") {}
};

class InvalidArgument : public Failure {
  public:
    using Failure::Failure;
};

class FileFailure : public Failure {
  public:
    using Failure::Failure;
};

}  // namespace vek
