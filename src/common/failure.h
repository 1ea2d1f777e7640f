// The library's failure family, and its one error convention.
//
// A work function returns a VEK_RC_ code, by name, for every outcome it
// decides: a refusal, a limit, a file that cannot be opened or replaced, a
// line that cannot be stored. It is noexcept when nothing else can happen in
// it. When something else can (memory running out, a read or write failing,
// a full class table), it raises one of these and lets it pass: the export
// frames in api/exports.cpp are the one place that turns such a failure into
// a code. std::bad_alloc from the standard containers is the out-of-memory
// member of the family.
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
