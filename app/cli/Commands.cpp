#include "app/cli/Commands.h"

namespace selva::cli {

void registerCommands(CLI::App& app, CommandList& commands)
{
    registerSourceCommands(app, commands);
    registerSensorCommands(app, commands);
    registerAnalysisCommands(app, commands);
    registerSynthCommands(app, commands);
    registerProjectCommands(app, commands);
    registerCompareCommands(app, commands);
    registerRecordCommands(app, commands);
#ifdef SELVA_CLI_SOUND
    registerSoundCommands(app, commands);
#endif
    registerRenderCommands(app, commands);
}

}  // namespace selva::cli
