// Reads a new operator PIN as one line on standard input and prints its stored form: the
// hashing half of `quorvantis-kiosk set-pin`, which reads the PIN with echo off. The PIN never
// appears on a command line, where other users could see it.

#include "platform/OperatorPin.h"

#include <exception>
#include <iostream>
#include <string>

int main(int argc, char**) {
    if (argc != 1) {
        std::cerr << "Usage: kiosk-pin-hash < PIN (one line)\n";
        return 2;
    }
    std::string pin;
    std::getline(std::cin, pin);
    try {
        qv::checkNewOperatorPin(pin);
        std::cout << qv::hashOperatorPin(pin) << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "quorvantis-kiosk: " << error.what() << '\n';
        return 1;
    }
}
