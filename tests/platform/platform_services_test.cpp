#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/critical_section.h"
#include "platform/debug_output.h"
#include "platform/event_tracing.h"
#include "platform/module_loading.h"
#include "platform/pages.h"
#include "platform/process_info.h"

using namespace tav::platform;

// 2024-06-15 12:34:56.789 UTC is June 15 give or take a day in every time
// zone, whole quarter hours away, so the fields are checked without one.
TEST(Clock, LocalTimeOfAFixedMomentHasItsFields) {
    const LocalTime t = localTimeAt(1718454896, 789'999'999);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 6);
    const int minutesAway = ((t.day - 15) * 24 + t.hour - 12) * 60 + t.minute - 34;
    EXPECT_EQ(minutesAway % 15, 0) << minutesAway;
    EXPECT_LE(std::abs(minutesAway), 14 * 60);
    EXPECT_EQ(t.second, 56);
    EXPECT_EQ(t.millisecond, 789);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CriticalSection section;
    std::lock_guard outer(section);
    {
        std::lock_guard inner(section);  // the owner may enter again
    }
    bool otherEntered = true;
    std::thread([&] { otherEntered = section.try_lock(); }).join();
    EXPECT_FALSE(otherEntered);
}

namespace {
std::string gDebugText;
void captureDebugText(const char* text) {
    gDebugText += text;
}
}  // namespace

TEST(DebugOutput, ReachesTheInstalledSinkOnly) {
    outputDebugString("dropped");
    DebugOutputSink previous = setDebugOutputSink(captureDebugText);
    outputDebugString("seen");
    outputDebugString(nullptr);
    setDebugOutputSink(previous);
    outputDebugString("dropped again");
    EXPECT_EQ(gDebugText, "seen");
}

TEST(ProcessInfo, ModuleFileNameIsTheTestProgramAndIsCutSafely) {
    char path[4096];
    const std::size_t length = moduleFileName(path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::strlen(path), length);
    EXPECT_NE(std::string(path).find("tav_platform_tests"), std::string::npos);

    char tiny[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(moduleFileName(tiny, sizeof tiny), 3u);
    EXPECT_EQ(tiny[3], '\0');
    EXPECT_EQ(moduleFileName(tiny, 0), 0u);
}

TEST(ProcessInfo, ThreadIdsDifferBetweenThreads) {
    const std::uintptr_t mine = currentThreadId();
    std::uintptr_t other = mine;
    std::thread([&] { other = currentThreadId(); }).join();
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, currentThreadId());
}

TEST(Pages, ReservedBlocksArePageAlignedAndWritable) {
    constexpr std::size_t kBlock = 64 * 1024;
    auto* block = static_cast<unsigned char*>(reservePages(kBlock));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u);
    block[0] = 1;
    block[kBlock - 1] = 2;
    EXPECT_EQ(block[0] + block[kBlock - 1], 3);
    releasePages(block, kBlock);
    releasePages(nullptr, kBlock);
}

#if defined(_WIN32)
TEST(EventTracingFunctions, RegisterWriteAndUnregisterAProvider) {
    EventTracingFunctions functions{};
    ASSERT_TRUE(loadEventTracing(functions));
    const Guid provider{
        0x6c1f0aff, 0x3b2e, 0x4d8a, {0x9e, 0x41, 0x27, 0x5b, 0x80, 0x1d, 0xc3, 0xff}};
    TraceRegistration handle = 0;
    ASSERT_EQ(functions.eventRegister(&provider, nullptr, nullptr, &handle), 0u);
    const EventDescriptor descriptor{1, 0, 0, 4, 0, 0, 0};
    const std::uint32_t value = 7;
    EventDataDescriptor data{reinterpret_cast<std::uintptr_t>(&value), sizeof value, 0};
    EXPECT_EQ(functions.eventWrite(handle, &descriptor, 1, &data), 0u);
    EXPECT_EQ(functions.eventUnregister(handle), 0u);
}
#else
TEST(EventTracingFunctions, AreNotAvailableOnPosix) {
    EventTracingFunctions functions{};
    EXPECT_FALSE(loadEventTracing(functions));
    EXPECT_EQ(functions.eventRegister, nullptr);
}
#endif

TEST(ModuleLoading, AMissingLibraryFailsWithTheSystemsReason) {
    std::string error;
    EXPECT_EQ(openModule("no-such-library-tav.module", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(openModule(nullptr), nullptr);
    EXPECT_EQ(moduleFunction(nullptr, "anything"), nullptr);
    closeModule(nullptr);
}
