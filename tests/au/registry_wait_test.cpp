// Calls made under the plug-in mutex never wait on the component registry: a rescan that holds
// the registry for a long time does not hold up a state save, and so not the render either.
#include "AUTestSupport.h"

#include <ZerubPlatform/HostExtensions.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <unistd.h>

TEST(AURegistry, StateAndViewQueriesDoNotWaitWhileTheRegistryIsHeld) {
    HostUnit u(ProductComponent()); // opened while the registry is free
    ASSERT_NE(u.unit, nullptr);

    int entered[2], release[2];
    ASSERT_EQ(pipe(entered), 0);
    ASSERT_EQ(pipe(release), 0);
    setenv("ZERUB_TEST_LOAD_ENTERED_FD", std::to_string(entered[1]).c_str(), 1);
    setenv("ZERUB_TEST_LOAD_RELEASE_FD", std::to_string(release[0]).c_str(), 1);
    std::thread loader([] { AudioComponentRegisterBundle(ZERUB_BLOCKING_BUNDLE); });
    char byte = 0;
    ASSERT_EQ(read(entered[0], &byte, 1), 1); // the loader now holds the registry

    auto queries = std::async(std::launch::async, [&] {
        CFPropertyListRef state = u.Save();
        if (state) CFRelease(state);
        AudioUnitCocoaViewInfo view = {};
        UInt32 size = sizeof view;
        if (AudioUnitGetProperty(u.unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0,
                                 &view, &size) == noErr) {
            if (view.mCocoaAUViewBundleLocation) CFRelease(view.mCocoaAUViewBundleLocation);
            if (view.mCocoaAUViewClass[0]) CFRelease(view.mCocoaAUViewClass[0]);
        }
        return state != nullptr;
    });
    // Generous: the answers take microseconds, a wait on the registry lasts until released.
    const bool answered = queries.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(answered);

    ASSERT_EQ(write(release[1], &byte, 1), 1);
    loader.join();
    EXPECT_TRUE(queries.get());
    unsetenv("ZERUB_TEST_LOAD_ENTERED_FD");
    unsetenv("ZERUB_TEST_LOAD_RELEASE_FD");
    for (int fd : {entered[0], entered[1], release[0], release[1]})
        close(fd);
}
