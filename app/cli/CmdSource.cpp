#include "app/cli/Commands.h"

namespace selva::cli {

void registerSourceCommands(CLI::App&, CommandList&) {}

}  // namespace selva::cli
