// The entry in-process: without memory for the plugin object nothing is
// handed to the loader and the host's record stays as it was.
#include <cstring>

#include <gtest/gtest.h>

#include <tav/plugin_abi.h>

#include "diag/allocation.h"

namespace {

void* failingAllocate(std::size_t, void*) {
    return nullptr;
}

}  // namespace

TEST(PluginEntry, WithoutMemoryTheLoadRecordIsLeftUntouched) {
    TavLoadRecord record{};
    record.apiMajor = 18;
    record.apiMinor = 1;
    record.apiPatch = 2;
    TavLoadRecord before = record;

    tav::diag::AllocationHooks hooks = tav::diag::countingAllocationHooks();
    hooks.allocate = failingAllocate;
    tav::diag::installAllocationHooks(hooks);
    load_tav_champ_select(&record);
    tav::diag::installAllocationHooks(tav::diag::countingAllocationHooks());

    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}
