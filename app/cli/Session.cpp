#include "app/cli/Session.h"

#include <iostream>

namespace selva::cli {

Session::Session()
    : ws({[](const std::string& text) { std::cerr << text << '\n'; }, [](const std::string&) { return true; }})
{
}

}  // namespace selva::cli
