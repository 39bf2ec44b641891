// zerub-host: the command-line host for the Zerub component. Everything is in zerub_hostlib.
#include "host/Cli.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return RunZerubHost(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        // Only resource exhaustion gets here; the subcommands report their own failures.
        std::cerr << "zerub-host: " << e.what() << '\n';
        return kExitFailure;
    }
}
