// The development service's command line split into command, words and options.

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv::clocking {

// A command line split into its command, its words and its --name value options.
struct CommandLine {
    std::string command;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> flags; // options without a value: --csv
    bool help = false;

    std::optional<std::string> option(const std::string& name) const;
    bool flag(const std::string& name) const;
};

// Options that take a value: --db, --listen, --body-memory, --photo, --limit, --from, --to; flags:
// --csv. Raises UsageError for unknown options and missing values.
CommandLine splitCommandLine(const std::vector<std::string>& args);

// Checks the words, options and flags against what the command takes.
void expectArguments(const CommandLine& line, std::size_t words,
                     const std::vector<std::string>& allowedOptions);

} // namespace qv::clocking
