#include "core/shell/HeapRelease.h"

#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>
#include <memory>

using namespace std::chrono_literals;
using orvi::HeapRelease;
using orvi::test::ManualScheduler;

TEST(HeapRelease, ReleasesOnceAfterTheLastWorkHasBeenQuietAndNeverAfterItIsGone) {
    ManualScheduler scheduler;
    int releases = 0;
    auto release = std::make_unique<HeapRelease>(scheduler, 5s, [&] { ++releases; });
    release->noteWork();
    scheduler.advance(4s);
    release->noteWork();
    scheduler.advance(4s);
    EXPECT_EQ(releases, 0);
    scheduler.advance(1s);
    EXPECT_EQ(releases, 1);
    scheduler.advance(60s);
    EXPECT_EQ(releases, 1);

    release->noteWork();
    release.reset();
    scheduler.advance(60s);
    EXPECT_EQ(releases, 1);
}
