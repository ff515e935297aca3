#include "app/cli/Commands.h"

namespace selva::cli {

void registerSensorCommands(CLI::App&, CommandList&) {}

}  // namespace selva::cli
