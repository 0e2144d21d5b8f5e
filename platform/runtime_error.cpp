#include "platform/runtime_error.h"

void RuntimeError(const std::string& message) { throw TRuntimeError(message); }
