// zerub-host: the command-line host for the Zerub component. Everything is in zerub_hostlib.
#include "host/Cli.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        const int status = RunZerubHost(argc, argv, std::cout, std::cerr);
        // A summary that never reached its reader (a full disk, a closed pipe) is a failure.
        if (!std::cout.flush()) {
            std::cerr << "zerub-host: cannot write to standard output\n";
            return kExitFailure;
        }
        return status;
    } catch (const std::exception& e) {
        // Only resource exhaustion gets here; the subcommands report their own failures.
        std::cerr << "zerub-host: " << e.what() << '\n';
        return kExitFailure;
    }
}
