#include "app/StartUp.h"

int main(int argc, char** argv) {
    return qv::RunStation(argc, argv);
}
