#pragma once

#include <stdexcept>
#include <string>

namespace selva {

// A failure the user can act on. The message is the program's own text, shown as it stands.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace selva
