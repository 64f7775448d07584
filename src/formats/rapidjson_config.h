// RapidJSON as the JSON reader, writer and error text use it: the
// configuration macros, then the library's headers. Private to
// src/formats/*.cpp, which include RapidJSON only through this header; no
// header of ours exposes a RapidJSON type.
#pragma once

// Our instantiations live in a namespace of their own, so that another copy
// of RapidJSON linked into the same module, configured differently, cannot
// be mixed up with ours.
#define RAPIDJSON_NAMESPACE tav_rapidjson
#define RAPIDJSON_NAMESPACE_BEGIN namespace tav_rapidjson {
#define RAPIDJSON_NAMESPACE_END }

// Strings and white space of zero-terminated texts scanned 16 bytes at a
// time. The aligned reads never cross a page but may pass the end of the
// text, which AddressSanitizer reports: sanitized builds read byte by byte.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAV_RAPIDJSON_UNDER_ASAN 1
#endif
#endif
#if defined(__SSE2__) && !defined(__SANITIZE_ADDRESS__) && !defined(TAV_RAPIDJSON_UNDER_ASAN)
#define RAPIDJSON_SSE2
#endif

// The reader's behaviour (no comments, no trailing commas, no NaN literals,
// fast number scanning, strings copied out of the text) and the writer's
// (NaN refused, bytes above 0x7F copied unchecked) are the libraries'
// defaults; pinned here so that a build-wide definition cannot change them
// behind the messages and tests that rely on them.
#define RAPIDJSON_PARSE_DEFAULT_FLAGS kParseNoFlags
#define RAPIDJSON_WRITE_DEFAULT_FLAGS kWriteNoFlags

// RAPIDJSON_SSE2 and RAPIDJSON_SSE42 stay undefined: the SIMD scanners read
// whole 16-byte blocks and serve only RapidJSON's zero-terminated string
// stream, while our reader works on a length-bounded stream.

#include <rapidjson/error/error.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
