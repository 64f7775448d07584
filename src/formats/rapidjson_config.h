// RapidJSON as the JSON reader, writer and error text use it: the
// configuration macros, then the library's headers. Private to
// src/formats/*.cpp (and the development host's document generators), which
// include RapidJSON only through this header; no public header of ours
// exposes a RapidJSON type.
#pragma once

// Our instantiations live in a namespace of their own, so that another copy
// of RapidJSON linked into the same module, configured differently, cannot
// be mixed up with ours.
#define RAPIDJSON_NAMESPACE tav_rapidjson
#define RAPIDJSON_NAMESPACE_BEGIN namespace tav_rapidjson {
#define RAPIDJSON_NAMESPACE_END }

// White space of zero-terminated texts scanned 16 bytes at a time (strings
// have the reader's own scan). The aligned reads never cross a page but may pass the end of the
// text, which AddressSanitizer and ThreadSanitizer report (the bytes past it
// may belong to a freed block): sanitized builds read byte by byte.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAV_RAPIDJSON_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAV_RAPIDJSON_UNDER_SANITIZER 1
#endif
#if defined(__SSE2__) && !defined(TAV_RAPIDJSON_UNDER_SANITIZER)
#define RAPIDJSON_SSE2
#endif

// The reader's behaviour (no comments, no trailing commas, no NaN literals,
// fast number scanning, strings copied out of the text) and the writer's
// (NaN refused, bytes above 0x7F copied unchecked) are the libraries'
// defaults; pinned here so that a build-wide definition cannot change them
// behind the messages and tests that rely on them.
#define RAPIDJSON_PARSE_DEFAULT_FLAGS kParseNoFlags
#define RAPIDJSON_WRITE_DEFAULT_FLAGS kWriteNoFlags

#include <rapidjson/error/error.h>
#include <rapidjson/internal/dtoa.h>
#include <rapidjson/internal/itoa.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "diag/allocation.h"

namespace tav {

// RapidJSON's heap blocks (the reader's stack, the writers' buffers and level
// stacks) come from the framework's counting functions, as every other
// allocation of the module does; CrtAllocator would take them from malloc.
// RapidJSON does not check for a null block, so a failure throws, as the
// value trees' allocator does, and the reader unwinds with its stack freed.
class JsonHeapAllocator {
public:
    static const bool kNeedFree = true;
    void* Malloc(std::size_t size) { return size != 0 ? orThrow(diag::allocate(size)) : nullptr; }
    void* Realloc(void* block, std::size_t /*originalSize*/, std::size_t newSize) {
        if (newSize == 0) {
            diag::deallocate(block);
            return nullptr;
        }
        return orThrow(diag::reallocate(block, newSize));
    }
    static void Free(void* block) { diag::deallocate(block); }

private:
    static void* orThrow(void* block) {
        if (block == nullptr) {
            diag::throwBadAlloc();
        }
        return block;
    }
};

using JsonReader =
    RAPIDJSON_NAMESPACE::GenericReader<RAPIDJSON_NAMESPACE::UTF8<>, RAPIDJSON_NAMESPACE::UTF8<>,
                                       JsonHeapAllocator>;
using JsonStringBuffer =
    RAPIDJSON_NAMESPACE::GenericStringBuffer<RAPIDJSON_NAMESPACE::UTF8<>, JsonHeapAllocator>;
template <class Output>
using JsonWriter = RAPIDJSON_NAMESPACE::Writer<Output, RAPIDJSON_NAMESPACE::UTF8<>,
                                               RAPIDJSON_NAMESPACE::UTF8<>, JsonHeapAllocator>;
template <class Output>
using JsonPrettyWriter =
    RAPIDJSON_NAMESPACE::PrettyWriter<Output, RAPIDJSON_NAMESPACE::UTF8<>,
                                      RAPIDJSON_NAMESPACE::UTF8<>, JsonHeapAllocator>;

}  // namespace tav
