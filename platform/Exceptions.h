// Error types of the window class library that the programs rely on: a base error with a
// message, the conversion error for text that is not a number, the list error for an index
// outside a list and the file error for a file that cannot be opened.
#pragma once

#include <stdexcept>
#include <string>

namespace plat {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a file that exists cannot be opened: "Cannot open file <name>".
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a byte buffer is read outside 0 .. count-1.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// "List index out of bounds (%d)"
[[noreturn]] void ThrowListIndexError(long long index);

}  // namespace plat
