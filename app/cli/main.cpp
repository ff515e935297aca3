// selvarondine-cli: everything the analysis window computes, from a shell.
#include "app/cli/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"Selvarondine: static tests of small rocket motors, without a window"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Print help for every command");

    selva::cli::CommandList commands;
    selva::cli::registerCommands(app, commands);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help exits 0; an unknown option or a malformed number exits 2 with CLI11's message.
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    return commands.run();
}
