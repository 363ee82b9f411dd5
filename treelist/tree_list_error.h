// The error of a misused tree list: a node without an owner, a node
// inserted before one that is not in the list it goes into. The operation
// that raises it has changed nothing.
#pragma once
#include <stdexcept>
#include <string>

class EInvalidGridTreeListOperation : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] inline void RaiseTreeListError(const std::string& message) {
  throw EInvalidGridTreeListOperation(message);
}
