// The one exception type for the runtime's hard errors. Its message is one of the
// fixed texts ("Too many hook ids", "Stream is not readable", ...). One that nobody
// catches ends the program from the process entry with a report on standard error.
#pragma once
#include <stdexcept>
#include <string>

class TRuntimeError : public std::runtime_error {
 public:
  explicit TRuntimeError(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] void RuntimeError(const std::string& message);
