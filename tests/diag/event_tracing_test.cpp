#include "diag/event_tracing.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace tav::diag;
using tav::platform::EventDataDescriptor;
using tav::platform::EventDescriptor;
using tav::platform::EventEnableCallback;
using tav::platform::Guid;
using tav::platform::TraceRegistration;

#if defined(_WIN32)
// Every Windows system has Advapi32.dll's functions (under Wine too).
TEST(EventTracing, RegistersWithTheSystemServiceAndUnregistersOnStop) {
    EventTracing tracing;
    EXPECT_EQ(tracing.start(), TracingState::Active);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(tracing.provider(i).registered) << "provider " << i;
    }
    tracing.stop();
    EXPECT_FALSE(tracing.provider(0).registered);
    EXPECT_FALSE(tracing.writeThreadName(1, "Main thread"));
}
#else
TEST(EventTracing, WithoutTheSystemServiceNothingIsRegistered) {
    EventTracing tracing;
    EXPECT_EQ(tracing.start(), TracingState::NotAvailable);
    EXPECT_STREQ(tracingStateName(tracing.state()), "not available");
    EXPECT_FALSE(tracing.provider(0).registered);
    EXPECT_FALSE(tracing.writeThreadName(1, "Main thread"));
}
#endif

TEST(EventTracing, EnableRuleSelectsEventsByLevelAndKeywords) {
    TraceEvent events[] = {
        {{1, 0, 0, 4, 0, 0, 0x0}},  // info, no keyword
        {{2, 0, 0, 5, 0, 0, 0x1}},  // verbose, keyword 1
        {{3, 0, 0, 2, 0, 0, 0x6}},  // error, keywords 2 and 4
    };
    TraceProvider provider{"test", {}, events};
    struct Row {
        const char* name;
        std::uint8_t level;
        std::uint64_t any;
        std::uint64_t all;
        bool expected[3];
    };
    const Row rows[] = {
        {"level 0 takes every level", 0, ~0ull, 0, {true, true, true}},
        {"level 4 drops verbose", 4, ~0ull, 0, {true, false, true}},
        {"any must share a bit", 0, 0x1, 0, {true, true, false}},
        {"all must be contained", 0, ~0ull, 0x6, {true, false, true}},
        {"all not contained", 0, ~0ull, 0x3, {true, false, false}},
        {"no keywords at all", 5, 0, 0, {true, false, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        applyEnableNotification(provider, true, row.level, row.any, row.all);
        EXPECT_TRUE(provider.enabled);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(events[i].enabled, row.expected[i]) << "event " << i + 1;
        }
    }
    traceEnableCallback(nullptr, 0, 5, 1, 1, nullptr, &provider);
    EXPECT_FALSE(provider.enabled);
    EXPECT_EQ(provider.level, 0);
    EXPECT_EQ(provider.matchAnyKeyword, 0u);
    for (const TraceEvent& e : events) {
        EXPECT_FALSE(e.enabled);
    }
}

namespace {

// A stand-in for the system service: records registrations and writes, and
// enables providers while they register when asked to.
struct FakeService {
    std::vector<Guid> registered;
    int unregistered = 0;
    bool enableOnRegister = false;
    std::uint32_t writtenThreadId = 0;
    std::string writtenText;
    int writes = 0;
};
FakeService* gService = nullptr;

std::uint32_t TAV_WINAPI fakeRegister(const Guid* id, EventEnableCallback callback, void* context,
                                      TraceRegistration* handle) {
    gService->registered.push_back(*id);
    *handle = gService->registered.size();
    if (gService->enableOnRegister) {
        callback(id, 1, 0, ~0ull, 0, nullptr, context);
    }
    return 0;
}

std::uint32_t TAV_WINAPI fakeWrite(TraceRegistration, const EventDescriptor*, std::uint32_t count,
                                   EventDataDescriptor* data) {
    ++gService->writes;
    if (count == 2) {
        std::memcpy(&gService->writtenThreadId,
                    reinterpret_cast<const void*>(static_cast<std::uintptr_t>(data[0].pointer)),
                    sizeof(std::uint32_t));
        gService->writtenText.assign(
            reinterpret_cast<const char*>(static_cast<std::uintptr_t>(data[1].pointer)),
            data[1].size);
    }
    return 0;
}

std::uint32_t TAV_WINAPI fakeUnregister(TraceRegistration) {
    ++gService->unregistered;
    return 0;
}

}  // namespace

// The main thread is named only when its provider was enabled while it
// registered; stopping unregisters every provider once.
TEST(EventTracing, RegistersFourDistinctProvidersAndNamesTheMainThreadWhenEnabled) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        FakeService service;
        service.enableOnRegister = enabled;
        gService = &service;
        {
            EventTracing tracing;
            EXPECT_EQ(tracing.start({fakeRegister, fakeWrite, fakeUnregister}),
                      TracingState::Active);
            ASSERT_EQ(service.registered.size(), EventTracing::kProviderCount);
            std::set<std::string> distinct;
            for (const Guid& id : service.registered) {
                distinct.emplace(reinterpret_cast<const char*>(&id), sizeof id);
            }
            EXPECT_EQ(distinct.size(), EventTracing::kProviderCount);
            EXPECT_EQ(service.writes, enabled ? 1 : 0);
            if (enabled) {
                EXPECT_EQ(service.writtenText, std::string("Main thread", 12));  // with its NUL
                EXPECT_TRUE(tracing.writeThreadName(7, nullptr));
                EXPECT_EQ(service.writtenThreadId, 7u);
                EXPECT_EQ(service.writtenText, std::string("NULL", 5));
            } else {
                tracing.stop();
                EXPECT_EQ(tracing.state(), TracingState::Stopped);
            }
        }  // destruction unregisters what stop has not
        EXPECT_EQ(service.unregistered, 4);
        gService = nullptr;
    }
}
