#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace selva::cli {

// Exit codes: 0 success, 1 the program's own failure (message on stderr), 2 bad command line.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The command that was chosen runs after parsing; each registration adds a subcommand and its action.
class CommandList {
public:
    void add(CLI::App* sub, std::function<int()> action) { entries_.push_back({sub, std::move(action)}); }
    int run() const
    {
        for (const auto& e : entries_)
            if (e.sub->parsed())
                return e.action();
        return kExitUsage;
    }

private:
    struct Entry {
        CLI::App* sub;
        std::function<int()> action;
    };
    std::vector<Entry> entries_;
};

void registerCommands(CLI::App& app, CommandList& commands);

// One function a command (each in its own file).
void registerSourceCommands(CLI::App& app, CommandList& commands);   // describe
void registerSensorCommands(CLI::App& app, CommandList& commands);   // sensors, thrust
void registerAnalysisCommands(CLI::App& app, CommandList& commands); // analyze, export
void registerSynthCommands(CLI::App& app, CommandList& commands);    // synth
void registerProjectCommands(CLI::App& app, CommandList& commands);  // project-info
void registerCompareCommands(CLI::App& app, CommandList& commands);  // compare
void registerRecordCommands(CLI::App& app, CommandList& commands);   // record
void registerSoundCommands(CLI::App& app, CommandList& commands);    // sound-devices, sound-record
void registerRenderCommands(CLI::App& app, CommandList& commands);   // render

}  // namespace selva::cli
