// What MemoryStats tells the host, checked against the heap itself: the real
// module loaded into a program that has its own counting operator new, under
// a host that keeps nothing of its own while the module runs, so that the
// heap's growth over Init and a thousand session Updates is the module's.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <tav/plugin_abi.h>

#include "binding/host_value.h"
#include "formats/yaml.h"
#include "framework/resource_events.h"
#include "hostkit/host_table.h"
#include "hostkit/plugin_module.h"

// This program's own allocations, which the module must neither make nor count.
namespace {
std::atomic<std::int64_t> programNewCalls{0};
}  // namespace

void* operator new(std::size_t size) {
    programNewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr std::string_view kActive = "/tav-champ-select-legacy/v1/implementation-active";
constexpr std::string_view kSession = "/tav-champ-select-legacy/v1/session";
constexpr int kUpdates = 1000;

// The demo scenario's session: ten players, a draft of bans and picks.
tav::BindingValue demoSession() {
    std::ifstream file(TAV_DEMO_SCENARIO, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    return tav::readYaml(text).value.find("shared").find("session");
}

// The host's side: answers Init's reads from records built beforehand and
// keeps nothing of its own while the module runs (so no subscription list:
// the session's alone, in place).
struct QuietHost final : tav::hostkit::HostTable {
    tav::HostValueRecord session;
    tav::HostValueRecord sessionUpdate;
    TavEventCallback sessionCallback = nullptr;
    void* sessionUserData = nullptr;
    char sessionEventName[96] = {};
    int published = 0;

    QuietHost() {
        tav::BindingValue update;
        update.member("uri").setString(kSession);
        update.member("eventType").setString("Update");
        update.member("data") = demoSession();
        if (update.find("data").find("myTeam").size() != 5 ||
            !tav::valueToHost(nullptr, session, update.find("data")) ||
            !tav::valueToHost(nullptr, sessionUpdate, update)) {
            std::abort();
        }
        std::snprintf(sessionEventName, sizeof sessionEventName, "%s",
                      tav::eventNameForUri(kSession).c_str());
    }

    void sendRequest(TavResponse& response, const TavRequest& request) override {
        const std::string_view url = request.url != nullptr ? request.url : "";
        if (url == kActive) {
            response.value.tag = TAV_HOST_BOOL;
            response.value.payload.boolean = 1;
        } else if (url == kSession) {
            response.value = session.root();
        } else {
            response.isError = 1;
            response.errorText = "Not found";
            response.status = 404;
        }
    }
    void publishEvent(const TavHostEvent&) override { ++published; }
    void subscribe(std::string_view name, void*, TavEventCallback callback, void* userData,
                   std::uint32_t) override {
        if (name == sessionEventName) {
            sessionCallback = callback;
            sessionUserData = userData;
        }
    }

    void deliverSessionUpdate() const {
        TavHostEvent event{};
        event.name = sessionEventName;
        event.payload = sessionUpdate.root();
        event.userData = sessionUserData;
        sessionCallback(&event);
    }
};

// The module file opened, its entry called and Init run against the host.
class LoadedModule {
public:
    explicit LoadedModule(QuietHost& host) : host_(host) {
        std::string error;
        EXPECT_TRUE(module_.open(TAV_PLUGIN_MODULE_PATH, error)) << error;
    }

    bool loadAndInit() {
        return module_.isOpen() && module_.callEntry().callbacks != nullptr &&
               module_.init(host_.table(), nullptr);
    }

    // Bytes and blocks the module's counters hold: allocated less freed.
    std::uint64_t liveBytes() const { return counter(2) - counter(4); }
    std::uint64_t bytesAllocated() const { return counter(2); }

private:
    std::uint64_t counter(int index) const {
        std::uint32_t words[14] = {};
        module_.memoryStats(words);
        return words[2 * index] | (std::uint64_t{words[2 * index + 1]} << 32);
    }

    QuietHost& host_;
    tav::hostkit::PluginModule module_;
};

#if defined(__GLIBC__)
// Bytes in use in malloc's heap, its own block headers included.
std::int64_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}
#endif

}  // namespace

// The module's operator new is its own: loading it, running Init and a
// thousand Updates reaches this program's operator new not once (the host
// here allocates nothing), and the program's allocations leave the module's
// counters alone. Those hold at least three quarters of what the heap grew by
// around the module (the rest is malloc's own per-block headers), never more.
TEST(ModuleMemory, EachSideCountsItsOwnAndTheCountersTrackTheHeap) {
    QuietHost host;
    LoadedModule module(host);
    // Taken after the file is mapped, so that the loader's own records (and
    // the C++ runtime's start-up reserve) are not the module's growth.
    const std::int64_t before = programNewCalls.load();
#if defined(__GLIBC__)
    // Unread under a sanitizer, whose allocator keeps its own books.
    [[maybe_unused]] const std::int64_t heapBefore = heapInUse();
#endif
    const auto check = [&](const char* when) {
#if defined(__GLIBC__) && !defined(TAV_SANITIZED)  // a sanitizer's allocator keeps its own books
        SCOPED_TRACE(when);
        const auto counted = static_cast<std::int64_t>(module.liveBytes());
        const std::int64_t grown = heapInUse() - heapBefore;
        EXPECT_GE(counted * 4, grown * 3) << counted << " bytes counted, heap grew by " << grown;
        EXPECT_LE(counted, grown) << counted << " bytes counted, heap grew by " << grown;
#else
        (void)when;
#endif
    };
    ASSERT_TRUE(module.loadAndInit());
    ASSERT_NE(host.sessionCallback, nullptr);
    std::int64_t programCalls = programNewCalls.load() - before;
    check("after Init");  // allocates in this program: not counted
    const std::int64_t mark = programNewCalls.load();
    for (int i = 0; i < kUpdates; ++i) {
        host.deliverSessionUpdate();
    }
    programCalls += programNewCalls.load() - mark;
    check("after 1,000 session Updates");
    EXPECT_EQ(programCalls, 0);
    EXPECT_EQ(host.published, 2 * kUpdates + 2);  // a Create at Init, then the Updates, twice each

    const std::uint64_t allocated = module.bytesAllocated();
    EXPECT_GT(allocated, 0u);
    auto* mine = new std::string(100000, 'x');
    EXPECT_EQ(module.bytesAllocated(), allocated);
    delete mine;
}
