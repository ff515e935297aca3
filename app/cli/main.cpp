// selvarondine-cli: everything the analysis window computes, from a shell.
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

namespace {

// The first word that is not an option names the command (the tool's own options take no values). One
// CLI11 does not know would otherwise be taken for a stray argument ("A subcommand is required"), and
// "--help" after it would print the tool's help and succeed.
bool checkCommandWord(const CLI::App& app, int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] == '-')
            continue;
        for (const CLI::App* sub : app.get_subcommands({}))
            if (sub->check_name(word))
                return true;
        std::cerr << "Unknown command \"" << selva::cli::escapeControls(word) << "\". The commands are:";
        for (const CLI::App* sub : app.get_subcommands({}))
            std::cerr << ' ' << sub->get_name();
        std::cerr << "\nRun with --help for more information.\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Selvarondine: static tests of small rocket motors, without a window"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Print help for every command");

    selva::cli::CommandList commands;
    selva::cli::registerCommands(app, commands);

    if (!checkCommandWord(app, argc, argv))
        return selva::cli::kExitUsage;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help exits 0; an unknown option or a malformed number exits 2 with CLI11's message.
        const int code = app.exit(e);
        return code == 0 ? 0 : selva::cli::kExitUsage;
    }
    return commands.run();
}
