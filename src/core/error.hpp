// Internal faults of the core library: a broken invariant throws InternalError, which the
// binding layer reports to Python as a fault; the core itself never prints or aborts.
#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

class InternalError : public std::runtime_error {
  public:
    explicit InternalError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quillon

#define QUILLON_CHECK(cond, message)                          \
    do {                                                      \
        if (!(cond)) throw ::quillon::InternalError(message); \
    } while (0)
