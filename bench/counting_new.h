// Counting replacements of the global allocation functions: a benchmark
// program that links counting_new.cpp counts every call of operator new.
#pragma once

#include <atomic>
#include <cstdint>

namespace tav::bench {

extern std::atomic<std::uint64_t> globalNewCalls;

}  // namespace tav::bench
