/* A reference host for the champ-select module, in plain C99: it loads the
 * module as the client's core process does, answers the module's requests
 * from canned JSON, calls one endpoint and prints what the module describes.
 *
 *   tav-example-host PATH-TO-MODULE
 *
 * Copy it and replace the canned answers with your own request routing. */
#include <inttypes.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tav/plugin_abi.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

/* ---- Loading the module ------------------------------------------------ */

#ifdef _WIN32
typedef HMODULE Module;

/* LoadLibraryW wants UTF-16; the path argument is taken as UTF-8. */
static Module openModule(const char* path) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, NULL, 0);
    wchar_t* wide = length > 0 ? malloc((size_t)length * sizeof *wide) : NULL;
    Module module = NULL;
    if (wide != NULL && MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, length) == length) {
        module = LoadLibraryW(wide);
    }
    free(wide);
    if (module == NULL) {
        fprintf(stderr, "host: cannot load %s (error %lu)\n", path, (unsigned long)GetLastError());
    }
    return module;
}
/* FARPROC is stdcall at 32 bits; going through void (*)(void), the generic
 * function pointer, keeps -Wcast-function-type quiet. */
static TavLoadFunction findEntry(Module module) {
    return (TavLoadFunction)(void (*)(void))GetProcAddress(module, "load_tav_champ_select");
}
#define closeModule FreeLibrary
#else
typedef void* Module;

static Module openModule(const char* path) {
    Module module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == NULL) {
        fprintf(stderr, "host: cannot load %s: %s\n", path, dlerror());
    }
    return module;
}
/* ISO C has no cast from void* to a function pointer; POSIX promises that
 * copying the bytes works. */
static TavLoadFunction findEntry(Module module) {
    void* symbol = dlsym(module, "load_tav_champ_select");
    TavLoadFunction entry = NULL;
    if (symbol != NULL) {
        memcpy(&entry, &symbol, sizeof entry);
    }
    return entry;
}
#define closeModule dlclose
#endif

/* ---- The host's services: the TavPluginHost slots ---------------------- */

/* Answered as the team-builder implementation would: it is active, and this
 * is its session. The module fills absent members with their defaults. */
static const struct {
    const char* url;
    const char* json;
} kAnswers[] = {
    {"/tav-lobby-team-builder/champ-select/v1/implementation-active", "true"},
    {"/tav-lobby-team-builder/champ-select/v1/session",
     "{\"timer\": {\"phase\": \"BAN_PICK\", \"timeLeftInPhase\": 27000},"
     " \"myTeam\": [{\"cellId\": 0, \"displayName\": \"Ana \\\"the Bold\\\"\", \"team\": 1}],"
     " \"theirTeam\": [{\"cellId\": 5, \"displayName\": \"Bo\", \"team\": 2}],"
     " \"actions\": [[{\"id\": 1, \"actorCellId\": 0, \"type\": \"ban\"}]],"
     " \"localPlayerCellId\": 0}"},
};

/* What the module did with the host, checked at the end. The host context
 * word points here. */
static struct {
    int streamsOpened, streamsClosed, answersGiven, answersReleased, subscribed, unsubscribed;
} state;

static const char* methodName(uint32_t method) {
    static const char* const names[] = {"NONE",    "DELETE", "GET",  "HEAD",
                                        "OPTIONS", "PATCH",  "POST", "PUT"};
    return method < 8 ? names[method] : "CUSTOM";
}

/* A C host has no JSON parser, so it answers with a stream of JSON text:
 * the module reads it in chunks and parses it itself. */
typedef struct {
    const char* text;
    size_t left;
} CannedStream;

static uint8_t TAV_ABI streamRead(void* stream, uint8_t* buffer, uint32_t* count, uint8_t* more) {
    CannedStream* canned = stream;
    size_t n = canned->left < *count ? canned->left : *count;
    memcpy(buffer, canned->text, n);
    canned->text += n;
    canned->left -= n;
    *count = (uint32_t)n;
    *more = canned->left > 0;
    return 1;
}

/* The receiver closes each stream once, which frees it. */
static void TAV_ABI streamClose(void* stream) {
    ++state.streamsClosed;
    free(stream);
}

/* The texts are static and the stream goes with streamClose: nothing to free. */
static void TAV_ABI releaseAnswer(TavResponse* response) {
    (void)response;
    ++state.answersReleased;
}

/* Fills the zeroed response before returning; anything unknown is a 404. */
static void TAV_ABI sendRequest(const TavPluginHost* host, TavResponse* response,
                                const TavRequest* request) {
    const char* json = NULL;
    CannedStream* stream;
    size_t i;
    (void)host;
    ++state.answersGiven;
    response->release = releaseAnswer;
    for (i = 0; i < sizeof kAnswers / sizeof kAnswers[0]; ++i) {
        if (request->method == TAV_METHOD_GET && strcmp(request->url, kAnswers[i].url) == 0) {
            json = kAnswers[i].json;
        }
    }
    stream = json != NULL ? malloc(sizeof *stream) : NULL;
    if (stream == NULL) {
        response->isError = 1;
        response->errorText = json != NULL ? "Out of memory" : "Not found";
        response->status = json != NULL ? 500 : 404;
    } else {
        stream->text = json;
        stream->left = strlen(json);
        ++state.streamsOpened;
        response->status = 200;
        response->contentType = "application/json";
        response->streamRead = streamRead;
        response->streamClose = streamClose;
        response->streamLengthHint = (uint32_t)stream->left;
        response->stream = stream;
    }
    printf("request: %s %s -> %" PRIu32 "\n", methodName(request->method), request->url,
           response->status);
}

static void TAV_ABI publishEvent(const TavPluginHost* host, const TavHostEvent* event) {
    (void)host;
    printf("event: %s\n", event->name);
}

/* This host never delivers events; a real one keeps callback and userData
 * by name and calls them until unsubscribe. */
static void TAV_ABI subscribe(const TavPluginHost* host, const char* name, void* hostContext,
                              TavEventCallback callback, void* userData, uint32_t flag) {
    (void)host, (void)name, (void)hostContext, (void)callback, (void)userData, (void)flag;
    ++state.subscribed;
}

static void TAV_ABI unsubscribe(const TavPluginHost* host, const char* name, void* hostContext) {
    (void)host, (void)name, (void)hostContext;
    ++state.unsubscribed;
}

/* One call at a time here, so a yield has nothing to wait for. */
static void TAV_ABI waitNothing(const TavPluginHost* host) {
    (void)host;
}
static void TAV_ABI waitLabel(const TavPluginHost* host, const char* label, uintptr_t zero) {
    (void)host, (void)label, (void)zero;
}

static void TAV_ABI logLine(const TavPluginHost* host, int32_t level, const char* message) {
    static const char* const names[] = {"okay", "warning", "error", "always"};
    (void)host;
    fprintf(stderr, "log %s: %s\n", level >= 0 && level <= 3 ? names[level] : "?", message);
}

/* Valid and unchanged until Shutdown returns; slots 1 and 5 are never called. */
static const TavPluginHost kHostTable = {sendRequest, NULL,   publishEvent, subscribe,
                                         unsubscribe, NULL,   waitNothing,  waitLabel,
                                         waitNothing, logLine};

/* ---- Reading what the module hands back -------------------------------- */

static void printJsonString(const char* text) {
    const unsigned char* c;
    putchar('"');
    for (c = (const unsigned char*)text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            printf("\\%c", *c);
        } else if (*c < 0x20) {
            printf("\\u%04x", *c);
        } else {
            putchar(*c); /* UTF-8 passes through */
        }
    }
    putchar('"');
}

/* A value record as compact JSON; bytes become an array of numbers. */
static void printJson(const TavHostValue* value) {
    uint32_t i;
    switch (value->tag) {
        case TAV_HOST_BOOL:
            fputs(value->payload.boolean ? "true" : "false", stdout);
            break;
        case TAV_HOST_SIGNED:
            printf("%" PRId64, value->payload.signedValue);
            break;
        case TAV_HOST_UNSIGNED:
            printf("%" PRIu64, value->payload.unsignedValue);
            break;
        case TAV_HOST_FLOAT: /* JSON has no infinity or NaN */
            isfinite(value->payload.floatValue) ? printf("%.17g", value->payload.floatValue)
                                                : printf("null");
            break;
        case TAV_HOST_STRING:
        case TAV_HOST_STRING_ALT:
            printJsonString(value->payload.text);
            break;
        case TAV_HOST_BLOB:
        case TAV_HOST_BLOB_ALT:
            for (i = 0; i < value->payload.blob.count; ++i) {
                printf("%s%u", i == 0 ? "[" : ",", value->payload.blob.bytes[i]);
            }
            fputs(value->payload.blob.count == 0 ? "[]" : "]", stdout);
            break;
        case TAV_HOST_ARRAY:
            for (i = 0; i < value->payload.array.count; ++i) {
                fputs(i == 0 ? "[" : ",", stdout);
                printJson(&value->payload.array.elements[i]);
            }
            fputs(value->payload.array.count == 0 ? "[]" : "]", stdout);
            break;
        case TAV_HOST_OBJECT:
            for (i = 0; i < value->payload.object.count; ++i) {
                fputs(i == 0 ? "{" : ",", stdout);
                printJsonString(value->payload.object.entries[i].key);
                putchar(':');
                printJson(&value->payload.object.entries[i].value);
            }
            fputs(value->payload.object.count == 0 ? "{}" : "}", stdout);
            break;
        default: /* TAV_HOST_EMPTY */
            fputs("null", stdout);
    }
}

/* Calls GET path through its endpoint record and prints the answer. */
static int callGet(const TavEndpointTable* table, const char* path) {
    const TavEndpointRecord* endpoint = NULL;
    TavRequest request;
    TavResponse response;
    uint32_t i;
    int ok;
    for (i = 0; i < table->endpointCount; ++i) { /* the records lie in one array */
        if (table->endpoints[i].method == TAV_METHOD_GET &&
            strcmp(table->endpoints[i].path, path) == 0) {
            endpoint = &table->endpoints[i];
        }
    }
    if (endpoint == NULL) {
        fprintf(stderr, "host: the module has no endpoint GET %s\n", path);
        return 0;
    }
    memset(&request, 0, sizeof request);
    memset(&response, 0, sizeof response);
    request.method = TAV_METHOD_GET;
    request.url = path;
    request.endpoint = endpoint->function.endpoint; /* tells the entry which endpoint */
    request.requestContext = &state;
    endpoint->entry(&response, &request);

    ok = !response.isError && response.errorText == NULL;
    /* The module leaves the status 0 where it set none, as on success. */
    printf("GET %s: status %" PRIu32 "\n", path,
           response.status != 0 ? response.status
           : ok                 ? 200u
                                : 400u);
    if (!ok) {
        fprintf(stderr, "host: GET %s failed: %s\n", path,
                response.errorText != NULL ? response.errorText : "");
    } else if (response.streamRead != NULL) { /* no route streams yet; one may */
        uint8_t chunk[4096], more = 1;
        while (more && ok) {
            uint32_t count = sizeof chunk;
            ok = response.streamRead(response.stream, chunk, &count, &more) != 0;
            fwrite(chunk, 1, ok ? count : 0, stdout);
        }
        response.streamClose(response.stream);
    } else {
        printJson(&response.value);
    }
    putchar('\n');
    if (response.release != NULL) {
        response.release(&response); /* once, when done reading */
    }
    return ok;
}

/* ---- The host's life with the module ----------------------------------- */

int main(int argc, char** argv) {
    static const char* const counters[] = {"peak live bytes", "live blocks at peak",
                                           "bytes allocated", "blocks allocated",
                                           "bytes freed",     "blocks freed"};
    TavLoadRecord record;
    TavInitRecord init;
    const TavEndpointTable* table;
    uint32_t words[14], i;
    TavLoadFunction load;
    Module module;
    int ok;

    if (argc != 2) {
        fprintf(stderr, "usage: %s PATH-TO-MODULE\n", argv[0]);
        return 2;
    }
    if ((module = openModule(argv[1])) == NULL) {
        return 1;
    }
    if ((load = findEntry(module)) == NULL) {
        fprintf(stderr, "host: %s exports no load_tav_champ_select\n", argv[1]);
        closeModule(module);
        return 1;
    }

    /* A zeroed record carrying the host's version; the module writes its own. */
    memset(&record, 0, sizeof record);
    record.apiMajor = TAV_PLUGIN_API_VERSION_MAJOR;
    record.apiMinor = TAV_PLUGIN_API_VERSION_MINOR;
    record.apiPatch = TAV_PLUGIN_API_VERSION_PATCH;
    load(&record);
    if (record.callbacks == NULL) { /* out of memory while loading */
        fprintf(stderr, "host: the module did not load\n");
        closeModule(module);
        return 1;
    }
    printf("module %s: plugin API %" PRIu32 ".%" PRIu32 ".%" PRIu32 "\n", record.shortName,
           record.apiMajor, record.apiMinor, record.apiPatch);
    /* Another major may lay out its records differently: call nothing of it. */
    if (record.apiMajor != TAV_PLUGIN_API_VERSION_MAJOR || record.callbacks->init == NULL ||
        record.callbacks->shutdown == NULL || record.callbacks->memoryStats == NULL ||
        record.endpointTable == NULL) {
        fprintf(stderr, "host: refused: host plugin API major %d, or callbacks missing\n",
                TAV_PLUGIN_API_VERSION_MAJOR);
        closeModule(module);
        return 1;
    }
    table = record.endpointTable;

    /* Init: the module subscribes and reads the implementations' state. */
    init.host = &kHostTable;
    init.hostContext = &state;
    ok = record.callbacks->init(record.context, &init) != 0;
    printf("init: %s\n", ok ? "ok" : "failed");
    ok = ok && callGet(table, "/tav-champ-select/v1/session");

    printf("endpoints: %" PRIu32 "\n", table->endpointCount);
    for (i = 0; i < table->endpointCount; ++i) {
        const TavEndpointRecord* endpoint = &table->endpoints[i];
        printf("  %-7s %s\n",
               endpoint->method == TAV_METHOD_CUSTOM ? endpoint->customMethod
                                                     : methodName(endpoint->method),
               endpoint->path);
    }

    record.callbacks->memoryStats(record.context, words);
    for (i = 0; i < 6; ++i) { /* 64-bit counters, low word first */
        printf("memory: %s %" PRIu64 "\n", counters[i],
               (uint64_t)words[2 * i + 1] << 32 | words[2 * i]);
    }

    /* Once, also after a failed Init; context and endpoint table go with it. */
    record.callbacks->shutdown(record.context);
    closeModule(module);

    printf("streams: %d opened, %d closed; answers: %d given, %d released\n", state.streamsOpened,
           state.streamsClosed, state.answersGiven, state.answersReleased);
    printf("subscriptions: %d, unsubscriptions: %d\n", state.subscribed, state.unsubscribed);
    if (state.streamsOpened != state.streamsClosed || state.answersGiven != state.answersReleased) {
        fprintf(stderr, "host: leak: a stream left open or an answer not released\n");
        ok = 0;
    }
    return ok ? 0 : 1;
}
