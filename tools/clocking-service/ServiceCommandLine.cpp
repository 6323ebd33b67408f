// The development service's command line split into command, words and options.

#include "tools/clocking-service/ServiceCommandLine.h"

#include "tools/clocking-service/Commands.h"

#include <algorithm>

namespace qv::clocking {

namespace {

const std::vector<std::string> kValueOptions{"--db",    "--listen", "--body-memory", "--photo",
                                             "--limit", "--from",   "--to"};
const std::vector<std::string> kFlags{"--csv"};

bool among(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::optional<std::string> CommandLine::option(const std::string& name) const {
    for (const auto& [key, value] : options) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

bool CommandLine::flag(const std::string& name) const {
    return among(flags, name);
}

CommandLine splitCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.command = "--version";
        } else if (among(kFlags, arg)) {
            line.flags.push_back(arg);
        } else if (among(kValueOptions, arg)) {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            if (line.option(arg)) {
                throw UsageError(arg + " is given twice");
            }
            line.options.emplace_back(arg, args[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option '" + arg + "'");
        } else if (line.command.empty()) {
            line.command = arg;
        } else {
            line.words.push_back(arg);
        }
    }
    return line;
}

void expectArguments(const CommandLine& line, std::size_t words,
                     const std::vector<std::string>& allowedOptions) {
    if (line.words.size() != words) {
        throw UsageError(line.command + " takes " + std::to_string(words) + " argument" +
                         (words == 1 ? "" : "s") + ", not " + std::to_string(line.words.size()));
    }
    for (const auto& [key, value] : line.options) {
        if (key != "--db" && !among(allowedOptions, key)) {
            throw UsageError(line.command + " does not take " + key);
        }
    }
    for (const auto& flag : line.flags) {
        if (!among(allowedOptions, flag)) {
            throw UsageError(line.command + " does not take " + flag);
        }
    }
}

} // namespace qv::clocking
