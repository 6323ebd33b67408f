// fichar: sends one clock-in to a clocking service and prints its answer.

#include "qv/Version.h"
#include "tools/fichar/FicharCommand.h"

#include <iostream>

int main(int argc, char** argv) {
    try {
        const qv::FicharOptions options =
            qv::parseFicharOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::cout << qv::FicharHelp;
            return 0;
        }
        if (options.version) {
            std::cout << qv::versionLine("fichar");
            return 0;
        }
        qv::runFichar(options, std::cout, std::cerr);
        return 0;
    } catch (const qv::UsageError& error) {
        std::cerr << "fichar: " << error.what() << "\n(fichar --help shows the usage)\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "fichar: " << error.what() << "\n";
        return 1;
    }
}
