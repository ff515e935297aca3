// describe: what kind of source a file is and what it holds.
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "common/Error.h"

#include <iostream>
#include <memory>

namespace selva::cli {

bool openSource(Session& s, const std::string& name, std::string& description)
{
    try {
        // The state's own kind is passed: a project's source opening sets it from inside.
        if (!s.analysis.OpenSourceFile(name, true, s.state.SourceKind, description)) {
            std::cerr << "Ошибка открытия файла " << name << '\n';
            return false;
        }
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return false;
    }
    if (fileExtUpper(name) == ".PROJ") {
        // The project opened its own source and recomputed.
        s.sourceName = s.store.project.sourceFileName;
        description = s.project.lastLoad().sourceDescription;
        return true;
    }
    s.sourceName = name;
    s.project.SourceOpened(name);
    s.analysis.ResetViewToSource();
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
