#include "app/StartUp.h"

int main(int argc, char** argv) {
    return qv::runStation(argc, argv);
}
