// describe: what kind of source a file is and what it holds.
#include "app/cli/Commands.h"
#include "app/cli/Session.h"


#include <iostream>
#include <memory>

namespace selva::cli {

bool openSource(Session& s, const std::string& name, std::string& description)
{
    const SourceOpening opening = s.ws.OpenSource(name, true);
    if (!opening.accepted) {
        // A project's own messages (a damaged file, a missing source) were already said.
        if (!opening.project || !opening.load.damaged)
            std::cerr << opening.error << '\n';
        return false;
    }
    description = opening.description;
    if (opening.project) {
        // The project opened its own source and recomputed.
        s.sourceName = s.store.project.sourceFileName;
        return opening.load.sourceOpened;
    }
    s.sourceName = name;
    s.project.SourceOpened(name);
    return true;
}

void registerSourceCommands(CLI::App& app, CommandList& commands)
{
    auto source = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("describe", "Print the description of a source (frequency record or WAV "
                                                   "recording) as the analysis window shows it");
    sub->add_option("SOURCE", *source, "a .frq, .wav or .proj file")->required();
    commands.add(sub, [source]() {
        Session s;
        std::string description;
        if (!openSource(s, *source, description))
            return kExitFailure;
        std::cout << description << '\n';
        return kExitOk;
    });
}

}  // namespace selva::cli
