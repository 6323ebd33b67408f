// clocking-service: the development clocking service and its command-line views.

#include "tools/clocking-service/Commands.h"

#include <iostream>

int main(int argc, char** argv) {
    return qv::clocking::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr);
}
