// A component bundle whose library, while it is being loaded, tells the test so and then waits
// for the test's word: it holds the component registry for as long as the test wants.
#include <cstdlib>
#include <unistd.h>

namespace {

__attribute__((constructor)) void HoldTheLoaderUntilReleased() {
    const char* entered = std::getenv("ZERUB_TEST_LOAD_ENTERED_FD");
    const char* release = std::getenv("ZERUB_TEST_LOAD_RELEASE_FD");
    if (!entered || !release) return;
    char byte = 1;
    if (write(std::atoi(entered), &byte, 1) != 1) return;
    if (read(std::atoi(release), &byte, 1) != 1) return;
}

} // namespace
