/* The plugin's C contract with its host: the API version, the one exported
 * entry, the function tables each side calls and the records they exchange.
 * Every record is packed; on the 32-bit target each one has exactly the byte
 * layout the host expects (asserted below), and on 64-bit targets address
 * fields are pointer-sized. Valid C99, C11 and C++; every function pointer
 * uses the C calling convention (TAV_ABI).
 *
 * Each function's comment opens with who calls it, and on which thread:
 *   [host, alone]      the host, with no other call into the module in flight.
 *   [host, serial]     the host, one call at a time, never during an [alone]
 *                      call, possibly alongside endpoint calls.
 *   [host, concurrent] the host, from several threads at once and alongside
 *                      an event delivery, never during an [alone] call.
 *   [host, any]        the host, from any thread at any time while loaded.
 *   [module]           the module, only on the thread of a call the host made
 *                      into it (init, an endpoint entry, an event callback,
 *                      shutdown): possibly on several threads at once.
 *   [receiver]         the side that sent the request, one thread at a time;
 *                      the module within the call that sent it.
 * Texts and records passed to a function are the caller's and valid for the
 * call only, unless its comment says otherwise. */
#ifndef TAV_PLUGIN_ABI_H
#define TAV_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

/* The plugin API version the load record reports: the project's one version
 * number, which the build reads from here for the DLL's version resource,
 * the tools and the release's name. The module accepts a host of its own
 * major whose minor.patch is at least its own. So a minor version only
 * appends slots to a function table and adds records, keeping every offset
 * and every other record's size (records lie in arrays walked by size); a
 * patch version changes no layout; anything else takes a new major. A host
 * calls an appended slot only on a module that reports its minor. */
#define TAV_PLUGIN_API_VERSION_MAJOR 18
#define TAV_PLUGIN_API_VERSION_MINOR 0
#define TAV_PLUGIN_API_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TAV_ABI __cdecl
#else
#define TAV_ABI
#endif

/* Marks the entry for export only where the module itself is built
 * (TAV_BUILDING_MODULE). A host looks the entry up at run time
 * (LoadLibraryW and GetProcAddress, dlopen and dlsym) and never links
 * against it, so its view is a plain declaration: no dllimport. */
#if !defined(TAV_BUILDING_MODULE)
#define TAV_EXPORT
#elif defined(_WIN32)
#define TAV_EXPORT __declspec(dllexport)
#else
#define TAV_EXPORT __attribute__((visibility("default")))
#endif

#if defined(__cplusplus)
#define TAV_STATIC_ASSERT(condition, message) static_assert(condition, message)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TAV_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#else
/* C99 has no _Static_assert: a failed condition declares an array of
 * negative size. One assertion per line keeps the names apart. */
#define TAV_STATIC_ASSERT_NAME(line) TAV_STATIC_ASSERT_JOIN(tav_static_assert_, line)
#define TAV_STATIC_ASSERT_JOIN(a, b) a##b
#define TAV_STATIC_ASSERT(condition, message) \
    typedef char TAV_STATIC_ASSERT_NAME(__LINE__)[(condition) ? 1 : -1]
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
        uint8_t boolean;        /* TAV_HOST_BOOL: 0 or 1 */
        int64_t signedValue;    /* TAV_HOST_SIGNED */
        uint64_t unsignedValue; /* TAV_HOST_UNSIGNED */
        double floatValue;      /* TAV_HOST_FLOAT */
        const char* text;       /* TAV_HOST_STRING(_ALT): NUL-terminated */
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

/* One argument of a request: a name (or null) and its value. */
typedef struct TavHostArgument {
    const char* name;
    TavHostValue value;
} TavHostArgument;

/* A header of a request or response. */
typedef struct TavHostHeader {
    const char* name;
    const char* value;
} TavHostHeader;

/* Method codes of a request. */
enum {
    TAV_METHOD_NONE = 0,
    TAV_METHOD_DELETE = 1,
    TAV_METHOD_GET = 2,
    TAV_METHOD_HEAD = 3,
    TAV_METHOD_OPTIONS = 4,
    TAV_METHOD_PATCH = 5,
    TAV_METHOD_POST = 6,
    TAV_METHOD_PUT = 7,
    TAV_METHOD_CUSTOM = 8
};

/* A request to a plugin's endpoint. Built (zeroed first) by the sender and
 * valid for the call only. */
typedef struct TavRequest {
    uint32_t method;                  /* TAV_METHOD_* */
    const char* url;                  /* path with optional "?query" */
    const TavHostArgument* arguments; /* may be null when count is 0 */
    uint32_t argumentCount;
    const void* endpoint; /* the receiving endpoint's own word */
    const TavHostHeader* headers;
    uint32_t headerCount;
    const char* contentType; /* of the body */
    const uint8_t* body;
    uint32_t bodyLength;
    void* requestContext;     /* the sender's host context */
    const char* customMethod; /* with TAV_METHOD_CUSTOM */
} TavRequest;

typedef struct TavResponse TavResponse;

/* [receiver] Fills up to *count bytes of the receiver's buffer, sets *count
 * to what it wrote (never more) and *more to 1 while more follows; 0 on
 * failure. */
typedef uint8_t(TAV_ABI* TavStreamRead)(void* stream, uint8_t* buffer, uint32_t* count,
                                        uint8_t* more);
/* [receiver] Once per stream, read to its end or not, before release: ends
 * the stream and frees it (release does not). */
typedef void(TAV_ABI* TavStreamClose)(void* stream);
/* [receiver] Exactly once, after streamClose: frees everything else the
 * record points to; the record itself stays the receiver's. */
typedef void(TAV_ABI* TavResponseRelease)(TavResponse* response);

/* The answer to a request, zeroed by the sender and filled by the answering
 * side before the call returns, release function included. What it points
 * to stays the answering side's until release. */
struct TavResponse {
    TavHostValue value;    /* the answer when not streamed */
    const char* errorText; /* null on success */
    uint8_t isError;       /* 1 when the record carries an error */
    uint8_t flag;
    uint32_t mode;   /* 0 to 3 */
    uint32_t status; /* HTTP numbering; 0 when none was set */
    const char* contentType;
    const TavHostHeader* headers;
    uint32_t headerCount;
    TavStreamRead streamRead; /* null when not streamed */
    TavStreamClose streamClose;
    uint32_t streamLengthHint; /* expected length in bytes: a hint only */
    uint32_t reserved;
    void* stream;
    TavResponseRelease release; /* null when nothing is to be released */
};

/* An event published to or delivered by the host. */
typedef struct TavHostEvent {
    const char* name;
    TavHostValue payload;
    uint32_t word;  /* 0 on every event the plugin publishes */
    void* userData; /* on delivery: the user data given to subscribe */
} TavHostEvent;

/* [host, serial] Delivers an event of a name subscribed to, with the user
 * data given to subscribe; never once unsubscribe for that name returned,
 * nor after shutdown. */
typedef void(TAV_ABI* TavEventCallback)(const TavHostEvent* event);

/* The host's services, each [module], so each must be safe to call from
 * every thread the host calls into the module on, at once. Every slot
 * receives the table itself first; the module skips a null slot. */
typedef struct TavPluginHost TavPluginHost;
struct TavPluginHost {
    /* 0: from init or an endpoint call; fills response before returning
     * (the caller waits). The module then reads, closes and releases it. */
    void(TAV_ABI* sendRequest)(const TavPluginHost* host, TavResponse* response,
                               const TavRequest* request);
    /* 1: not called by this plugin. */
    void(TAV_ABI* slot1)(const TavPluginHost* host, uintptr_t a, uintptr_t b);
    /* 2: publishes event to the subscribers of its name (word 0, userData
     * null). */
    void(TAV_ABI* publishEvent)(const TavPluginHost* host, const TavHostEvent* event);
    /* 3: delivers events of eventName to callback, with userData, until
     * unsubscribe; flag 0 for resource events, 1 for service-proxy events. */
    void(TAV_ABI* subscribe)(const TavPluginHost* host, const char* eventName, void* hostContext,
                             TavEventCallback callback, void* userData, uint32_t flag);
    /* 4: no delivery of eventName may start once this returns; shutdown
     * unsubscribes every name still subscribed. */
    void(TAV_ABI* unsubscribe)(const TavPluginHost* host, const char* eventName, void* hostContext);
    /* 5: not called by this plugin. */
    void(TAV_ABI* slot5)(const TavPluginHost* host, uintptr_t a, uintptr_t b, uintptr_t c,
                         uint64_t d, uintptr_t e);
    /* 6, 7, 8: a yield while reading a streamed answer in init or an endpoint
     * call: 7 (label "Wait: yield", 0), 6, then 8, which returns when the
     * module may continue. */
    void(TAV_ABI* waitStep)(const TavPluginHost* host);
    void(TAV_ABI* waitLabel)(const TavPluginHost* host, const char* label, uintptr_t zero);
    void(TAV_ABI* waitResume)(const TavPluginHost* host);
    /* 9: one line's text, level 0 okay, 1 warning, 2 error, 3 always. Called
     * under the module's log lock: it must not wait for another thread's call
     * into the module. */
    void(TAV_ABI* log)(const TavPluginHost* host, int32_t level, const char* message);
};

/* Handed to init: the host's table, which must stay valid and unchanged
 * until shutdown returns, and its context word, which the module passes
 * back with requests and subscriptions. */
typedef struct TavInitRecord {
    const TavPluginHost* host;
    void* hostContext;
} TavInitRecord;

/* The module's callbacks, static in the module; context is word 4 of the
 * load record. */
typedef struct TavPluginCallbacks {
    /* [host, alone] After load; may call the host's slots already. Nonzero:
     * success. */
    uint8_t(TAV_ABI* init)(void* context, const TavInitRecord* init);
    /* [host, alone] Exactly once, also after a failed init: unsubscribes and
     * destroys the module's object, so context, shortName and the endpoint
     * table are invalid afterwards. */
    void(TAV_ABI* shutdown)(void* context);
    /* [host, any] Writes 14 words: six 64-bit allocation counters, low word
     * first, then two zero words. Context is not read. */
    void(TAV_ABI* memoryStats)(void* context, uint32_t* words);
} TavPluginCallbacks;

/* The record load_tav_champ_select receives, zeroed by the host but for its
 * version. The module replaces that with its own and fills the rest, last:
 * a failed load leaves callbacks null. Context, shortName and endpointTable
 * are the module's until shutdown. */
typedef struct TavLoadRecord {
    uint32_t apiMajor;
    uint32_t apiMinor;
    uint32_t apiPatch;
    const TavPluginCallbacks* callbacks;
    void* context;
    const char* shortName;
    const void* endpointTable; /* a TavEndpointTable; owned by the plugin */
} TavLoadRecord;

/* [host, concurrent] The one function behind every endpoint: always fills
 * the zeroed response, release included; the request's endpoint word
 * (offset 16) tells which endpoint was called. The host then reads the
 * response, closes its stream and releases it. */
typedef void(TAV_ABI* TavEndpointEntry)(TavResponse* response, const TavRequest* request);

/* The API description (word 6 of the load record). The plugin builds it once
 * and owns every record, array and list in it until it is destroyed; the host
 * reads it and frees nothing. Each kind of record lies in one contiguous
 * array whose first word is the next record of the same array (null in the
 * last), so an array can be walked by count or as a list. Texts are
 * NUL-terminated and never null: an absent text is a shared empty text. Kind
 * words are the binding kinds 1 (bool) to 19 (map), 0 for anything else; a
 * type name is given only for vectors (15), enums (16), structs (17) and maps
 * (19) and is the empty text otherwise. Empty arrays are null with count 0. */

/* An argument of a function. */
typedef struct TavArgumentRecord {
    const struct TavArgumentRecord* next; /* within its function's arguments */
    const char* name;
    const char* description;
    uint32_t kind;
    uint32_t elementKind; /* of vectors and maps, else 0 */
    const char* typeName;
    uint8_t optional;
} TavArgumentRecord;

/* A function of the API; also the first part of every endpoint record. */
typedef struct TavFunctionRecord {
    const struct TavFunctionRecord* next;
    uint32_t reserved; /* 0 */
    /* Null here; in an endpoint record, the endpoint word the host passes
     * back at offset 16 of each request to it (the plugin's own pointer). */
    const void* endpoint;
    const char* name;
    const char* nameSpace;
    const TavArgumentRecord* arguments; /* plugin-owned array */
    uint32_t argumentCount;
    uint32_t returnKind;
    uint32_t returnElementKind;
    const char* returnTypeName;
    const char* description;
    const char* help;
    uint8_t threadSafe;
    const char* asyncResult; /* the return type's name when asynchronous */
    const char* const* tags; /* plugin-owned array of texts */
    uint32_t tagCount;
} TavFunctionRecord;

/* A member of a record type. */
typedef struct TavFieldRecord {
    const struct TavFieldRecord* next; /* within its type's fields */
    const char* name;
    const char* description;
    uint32_t offset; /* in the native record */
    uint32_t kind;
    uint32_t elementKind;
    const char* typeName;
    uint8_t optional;
} TavFieldRecord;

/* A named value of an enum type. */
typedef struct TavEnumeratorRecord {
    const struct TavEnumeratorRecord* next; /* within its enum, in name order */
    const char* name;
    const char* description;
    int32_t number;
} TavEnumeratorRecord;

/* A registered record or enum type. */
typedef struct TavTypeRecord {
    const struct TavTypeRecord* next;
    const char* name;
    const char* nameSpace;
    uint32_t nativeSize; /* in bytes */
    const char* description;
    const char* const* tags; /* plugin-owned array of texts */
    uint32_t tagCount;
    const TavFieldRecord* fields;           /* types with fields, else null */
    const TavEnumeratorRecord* enumerators; /* types without fields, else null */
    uint32_t count;                         /* of fields, or of enumerators */
} TavTypeRecord;

/* An event the plugin may publish. */
typedef struct TavEventRecord {
    const struct TavEventRecord* next;
    const char* name;
    const char* nameSpace;
    const char* payloadTypeName;
    const char* description;
    const char* const* tags; /* plugin-owned array of texts */
    uint32_t tagCount;
} TavEventRecord;

/* Where one parameter of an endpoint may be given: 1 query, 2 path,
 * 4 header, 5 body, 0 anywhere. One node per parameter, in order. */
typedef struct TavArgumentLocationNode {
    const struct TavArgumentLocationNode* next;
    uint32_t location;
} TavArgumentLocationNode;

/* One list of texts copied from an endpoint's registration. */
typedef struct TavTextListNode {
    const struct TavTextListNode* next;
    const char* const* texts; /* plugin-owned array of texts */
    uint32_t count;
} TavTextListNode;

/* An endpoint: its function's record (with the endpoint word filled), the
 * entry the host calls for it and how requests reach it. */
typedef struct TavEndpointRecord {
    TavFunctionRecord function; /* next: the next endpoint record */
    TavEndpointEntry entry;
    const TavArgumentLocationNode* locations; /* list, null when no parameters */
    const char* path;
    uint32_t method; /* TAV_METHOD_DELETE to TAV_METHOD_CUSTOM, else 0 */
    uint8_t flag;
    const TavTextListNode* textLists; /* list of textListCount nodes */
    uint32_t textListCount;
    const char* customMethod; /* with TAV_METHOD_CUSTOM */
} TavEndpointRecord;

/* The six words the load record points to. */
typedef struct TavEndpointTable {
    const TavEndpointRecord* endpoints;
    uint32_t endpointCount;
    const TavTypeRecord* types;
    uint32_t typeCount;
    const TavEventRecord* events;
    uint32_t eventCount;
} TavEndpointTable;

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
TAV_STATIC_ASSERT(sizeof(TavHostValue) == 12, "host value record is 12 bytes");
TAV_STATIC_ASSERT(offsetof(TavHostValue, payload) == 4, "payload at byte 4");
TAV_STATIC_ASSERT(offsetof(TavHostValue, payload.array.count) == 8, "count at byte 8");
TAV_STATIC_ASSERT(sizeof(TavHostEntry) == 17, "object entry is 17 bytes");
TAV_STATIC_ASSERT(offsetof(TavHostEntry, value) == 4, "entry value at byte 4");
TAV_STATIC_ASSERT(offsetof(TavHostEntry, flag) == 16, "entry flag at byte 16");
TAV_STATIC_ASSERT(sizeof(TavHostArgument) == 16, "argument entry is 16 bytes");
TAV_STATIC_ASSERT(sizeof(TavRequest) == 48, "request record is 48 bytes");
TAV_STATIC_ASSERT(offsetof(TavRequest, endpoint) == 16, "endpoint word at 16");
TAV_STATIC_ASSERT(offsetof(TavRequest, requestContext) == 40, "request context at 40");
TAV_STATIC_ASSERT(offsetof(TavRequest, customMethod) == 44, "custom method at 44");
TAV_STATIC_ASSERT(sizeof(TavResponse) == 62, "response record is 62 bytes");
TAV_STATIC_ASSERT(offsetof(TavResponse, errorText) == 12, "error text at 12");
TAV_STATIC_ASSERT(offsetof(TavResponse, isError) == 16, "error byte at 16");
TAV_STATIC_ASSERT(offsetof(TavResponse, flag) == 17, "flag at 17");
TAV_STATIC_ASSERT(offsetof(TavResponse, mode) == 18, "mode at 18");
TAV_STATIC_ASSERT(offsetof(TavResponse, status) == 22, "status at 22");
TAV_STATIC_ASSERT(offsetof(TavResponse, contentType) == 26, "content type at 26");
TAV_STATIC_ASSERT(offsetof(TavResponse, streamRead) == 38, "stream read at 38");
TAV_STATIC_ASSERT(offsetof(TavResponse, streamLengthHint) == 46, "length hint at 46");
TAV_STATIC_ASSERT(offsetof(TavResponse, stream) == 54, "stream handle at 54");
TAV_STATIC_ASSERT(offsetof(TavResponse, release) == 58, "release at 58");
TAV_STATIC_ASSERT(sizeof(TavHostEvent) == 24, "event record is 24 bytes");
TAV_STATIC_ASSERT(offsetof(TavHostEvent, word) == 16, "event word at 16");
TAV_STATIC_ASSERT(offsetof(TavHostEvent, userData) == 20, "user data at 20");
TAV_STATIC_ASSERT(sizeof(TavPluginHost) == 40, "ten host slots");
TAV_STATIC_ASSERT(sizeof(TavInitRecord) == 8, "init record is two words");
TAV_STATIC_ASSERT(sizeof(TavPluginCallbacks) == 12, "three callbacks");
TAV_STATIC_ASSERT(sizeof(TavLoadRecord) == 28, "load record is seven words");
TAV_STATIC_ASSERT(sizeof(TavArgumentRecord) == 25, "argument record is 25 bytes");
TAV_STATIC_ASSERT(offsetof(TavArgumentRecord, kind) == 12, "argument kind at 12");
TAV_STATIC_ASSERT(offsetof(TavArgumentRecord, typeName) == 20, "argument type name at 20");
TAV_STATIC_ASSERT(offsetof(TavArgumentRecord, optional) == 24, "argument optional at 24");
TAV_STATIC_ASSERT(sizeof(TavFunctionRecord) == 61, "function record is 61 bytes");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, endpoint) == 8, "endpoint word at 8");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, name) == 12, "function name at 12");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, arguments) == 20, "arguments at 20");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, returnKind) == 28, "return kind at 28");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, description) == 40, "description at 40");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, threadSafe) == 48, "thread-safe byte at 48");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, asyncResult) == 49, "async result at 49");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, tags) == 53, "tags at 53");
TAV_STATIC_ASSERT(offsetof(TavFunctionRecord, tagCount) == 57, "tag count at 57");
TAV_STATIC_ASSERT(sizeof(TavFieldRecord) == 29, "field record is 29 bytes");
TAV_STATIC_ASSERT(offsetof(TavFieldRecord, offset) == 12, "field offset at 12");
TAV_STATIC_ASSERT(offsetof(TavFieldRecord, typeName) == 24, "field type name at 24");
TAV_STATIC_ASSERT(offsetof(TavFieldRecord, optional) == 28, "field optional at 28");
TAV_STATIC_ASSERT(sizeof(TavEnumeratorRecord) == 16, "enumerator record is 16 bytes");
TAV_STATIC_ASSERT(offsetof(TavEnumeratorRecord, number) == 12, "enumerator number at 12");
TAV_STATIC_ASSERT(sizeof(TavTypeRecord) == 40, "type record is 40 bytes");
TAV_STATIC_ASSERT(offsetof(TavTypeRecord, nativeSize) == 12, "native size at 12");
TAV_STATIC_ASSERT(offsetof(TavTypeRecord, tags) == 20, "type tags at 20");
TAV_STATIC_ASSERT(offsetof(TavTypeRecord, fields) == 28, "fields at 28");
TAV_STATIC_ASSERT(offsetof(TavTypeRecord, enumerators) == 32, "enumerators at 32");
TAV_STATIC_ASSERT(offsetof(TavTypeRecord, count) == 36, "count at 36");
TAV_STATIC_ASSERT(sizeof(TavEventRecord) == 28, "event record is 28 bytes");
TAV_STATIC_ASSERT(offsetof(TavEventRecord, payloadTypeName) == 12, "payload type at 12");
TAV_STATIC_ASSERT(offsetof(TavEventRecord, tagCount) == 24, "event tag count at 24");
TAV_STATIC_ASSERT(sizeof(TavArgumentLocationNode) == 8, "location node is 8 bytes");
TAV_STATIC_ASSERT(sizeof(TavTextListNode) == 12, "text list node is 12 bytes");
TAV_STATIC_ASSERT(sizeof(TavEndpointRecord) == 90, "endpoint record is 90 bytes");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, entry) == 61, "entry function at 61");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, locations) == 65, "locations at 65");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, path) == 69, "path at 69");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, method) == 73, "method at 73");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, flag) == 77, "flag at 77");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, textLists) == 78, "text lists at 78");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, textListCount) == 82, "text list count at 82");
TAV_STATIC_ASSERT(offsetof(TavEndpointRecord, customMethod) == 86, "custom method at 86");
TAV_STATIC_ASSERT(sizeof(TavEndpointTable) == 24, "endpoint table is six words");
#else
TAV_STATIC_ASSERT(sizeof(TavHostValue) == 4 + sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavHostEntry) == sizeof(void*) + sizeof(TavHostValue) + 1, "packed");
TAV_STATIC_ASSERT(sizeof(TavRequest) == 4 * 4 + 8 * sizeof(void*), "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavResponse) == sizeof(TavHostValue) + 2 + 4 * 5 + 7 * sizeof(void*),
                  "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavHostEvent) == sizeof(TavHostValue) + 4 + 2 * sizeof(void*),
                  "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavArgumentRecord) == 4 * sizeof(void*) + 9, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavFunctionRecord) == 10 * sizeof(void*) + 21, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavFieldRecord) == 4 * sizeof(void*) + 13, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavEnumeratorRecord) == 3 * sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavTypeRecord) == 7 * sizeof(void*) + 12, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavEventRecord) == 6 * sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavArgumentLocationNode) == sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavTextListNode) == 2 * sizeof(void*) + 4, "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavEndpointRecord) == sizeof(TavFunctionRecord) + 5 * sizeof(void*) + 9,
                  "packed, pointer-sized");
TAV_STATIC_ASSERT(sizeof(TavEndpointTable) == 3 * sizeof(void*) + 12, "packed, pointer-sized");
#endif

/* [host, alone] The entry the host looks up and calls with its load record;
 * the module calls nothing of the host's in it. A host version it refuses
 * ends the process after an ERROR report. */
typedef void(TAV_ABI* TavLoadFunction)(TavLoadRecord* record);
TAV_EXPORT void TAV_ABI load_tav_champ_select(TavLoadRecord* record);

#ifdef __cplusplus
}
#endif

#endif /* TAV_PLUGIN_ABI_H */
