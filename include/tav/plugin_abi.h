/* The records exchanged between the plugin and its host, in C. Every record
 * is packed; on the 32-bit target each one has exactly the byte layout the
 * host expects (asserted below), and on 64-bit targets address fields are
 * pointer-sized. Functions use the C calling convention. */
#ifndef TAV_PLUGIN_ABI_H
#define TAV_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TAV_ABI __cdecl
#else
#define TAV_ABI
#endif

#if defined(__cplusplus)
#define TAV_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define TAV_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* Host value tags. */
enum {
    TAV_HOST_EMPTY = 0,
    TAV_HOST_BOOL = 1,
    TAV_HOST_SIGNED = 2,
    TAV_HOST_UNSIGNED = 3,
    TAV_HOST_FLOAT = 4,
    TAV_HOST_STRING = 5,
    TAV_HOST_STRING_ALT = 6,
    TAV_HOST_BLOB = 7,
    TAV_HOST_BLOB_ALT = 8,
    TAV_HOST_ARRAY = 9,
    TAV_HOST_OBJECT = 10
};

#pragma pack(push, 1)

typedef struct TavHostEntry TavHostEntry;

/* A plain value: a tag, then its payload. Texts, bytes, elements and entries
 * belong to whoever built the record and stay valid for the call (or until
 * the record's release function runs, for responses). */
typedef struct TavHostValue {
    uint32_t tag;
    union {
        uint8_t boolean;       /* TAV_HOST_BOOL: 0 or 1 */
        int64_t signedValue;   /* TAV_HOST_SIGNED */
        uint64_t unsignedValue; /* TAV_HOST_UNSIGNED */
        double floatValue;     /* TAV_HOST_FLOAT */
        const char* text;      /* TAV_HOST_STRING(_ALT): NUL-terminated */
        struct {
            const uint8_t* bytes;
            uint32_t count;
        } blob; /* TAV_HOST_BLOB(_ALT) */
        struct {
            const struct TavHostValue* elements;
            uint32_t count;
        } array; /* TAV_HOST_ARRAY */
        struct {
            const TavHostEntry* entries;
            uint32_t count;
        } object; /* TAV_HOST_OBJECT */
    } payload;
} TavHostValue;

/* A member of an object value; flag is 1. */
struct TavHostEntry {
    const char* key; /* NUL-terminated */
    TavHostValue value;
    uint8_t flag;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
TAV_STATIC_ASSERT(sizeof(TavHostValue) == 12, "host value record is 12 bytes");
TAV_STATIC_ASSERT(offsetof(TavHostValue, payload) == 4, "payload at byte 4");
TAV_STATIC_ASSERT(offsetof(TavHostValue, payload.array.count) == 8, "count at byte 8");
TAV_STATIC_ASSERT(sizeof(TavHostEntry) == 17, "object entry is 17 bytes");
TAV_STATIC_ASSERT(offsetof(TavHostEntry, value) == 4, "entry value at byte 4");
TAV_STATIC_ASSERT(offsetof(TavHostEntry, flag) == 16, "entry flag at byte 16");
#else
TAV_STATIC_ASSERT(sizeof(TavHostValue) == 4 + sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavHostEntry) == sizeof(void*) + sizeof(TavHostValue) + 1, "packed");
#endif

#ifdef __cplusplus
}
#endif

#endif /* TAV_PLUGIN_ABI_H */
