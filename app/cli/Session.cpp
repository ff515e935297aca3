#include "app/cli/Session.h"

#include <iostream>

namespace selva::cli {

Session::Session()
{
    prompts.message = [](const std::string& text) { std::cerr << text << '\n'; };
    prompts.confirm = [](const std::string&) { return true; };
    project.prompts = prompts;
    project.connectAnalysis();
}

}  // namespace selva::cli
