#include "openapi/asyncapi_document.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "api/method_names.h"
#include "binding/type_kind.h"
#include "framework/resource_events.h"
#include "openapi/openapi_json.h"
#include "openapi/openapi_schemas.h"

namespace tav::devhost {

namespace {

constexpr const char* kDevhostSummary =
    "The implementation the tool simulates as active: sent first to every client, then on "
    "each change.";
constexpr const char* kLogSummary = "A line the module logged; only with ?log=1.";
constexpr const char* kModuleSummary =
    "A rebuilt module was loaded (its version and SHA-256), or did not load and the old one "
    "keeps serving (error).";
constexpr const char* kClosedSummary =
    "The last message of a stream the tool ends (a client that fell too far behind).";
constexpr const char* kMissedSummary =
    "The events after the client's Last-Event-ID are not kept any more, or the id is not one "
    "of this run's: read the state again; live events follow.";

// One message of the stream: its component key, its name, the SSE event
// field it arrives under and, for the module's, what its data may hold.
struct Message {
    std::string key;
    std::string name;
    const char* sseEvent;
    const TavEventRecord* record = nullptr;  // null for the tool's own messages
    std::vector<KindRef> data;
};

bool sameKind(const KindRef& a, const KindRef& b) {
    return a.kind == b.kind && a.elementKind == b.elementKind && a.typeName == b.typeName;
}

// The resources the module may publish events of: its GET routes, under the
// name the framework derives from their URI (several URIs may share one).
// A resource's event carries the resource as its GET route answers it.
struct Resource {
    std::string eventName;
    std::vector<KindRef> answers;
};

std::vector<Resource> collectResources(const TavEndpointTable& table) {
    std::vector<Resource> resources;
    for (std::uint32_t i = 0; table.endpoints != nullptr && i < table.endpointCount; ++i) {
        const TavEndpointRecord& endpoint = table.endpoints[i];
        const TavFunctionRecord& function = endpoint.function;
        if (methodCodeOf(endpoint.method) != MethodCode::Get || endpoint.path == nullptr ||
            static_cast<BindingTypeKind>(function.returnKind) == BindingTypeKind::None) {
            continue;
        }
        std::string eventName = eventNameForUri(endpoint.path);
        // A parameter within the kept pieces leaves the name open.
        if (eventName.find('{') != std::string::npos) {
            continue;
        }
        auto found = std::find_if(resources.begin(), resources.end(),
                                  [&](const Resource& r) { return r.eventName == eventName; });
        if (found == resources.end()) {
            found = resources.insert(resources.end(), {std::move(eventName), {}});
        }
        const KindRef answer{+function.returnKind, +function.returnElementKind,
                             function.returnTypeName != nullptr ? function.returnTypeName : "",
                             false};
        if (std::none_of(found->answers.begin(), found->answers.end(),
                         [&](const KindRef& known) { return sameKind(known, answer); })) {
            found->answers.push_back(answer);
        }
    }
    return resources;
}

// The tool's stream carries a published event's name and the members of a
// resource event (uri, eventType, data): events of other payloads are those
// the module receives (callbacks, LCDS, service proxies), never publishes.
bool resourceEvent(const TavEndpointTable& table, const TavEventRecord& event) {
    for (std::uint32_t i = 0; table.types != nullptr && i < table.typeCount; ++i) {
        const TavTypeRecord& type = table.types[i];
        if (event.payloadTypeName == nullptr || type.fields == nullptr ||
            std::string_view(type.name) != event.payloadTypeName) {
            continue;
        }
        int found = 0;
        for (std::uint32_t f = 0; f < type.count; ++f) {
            const std::string_view name = type.fields[f].name;
            found += name == "uri" || name == "eventType" || name == "data" ? 1 : 0;
        }
        return found == 3;
    }
    return false;
}

// The module's resource events under their own names, each resource's under
// the name derived from its URI (the framework publishes both), then the
// tool's own; a key already taken gets a suffix.
std::vector<Message> collectMessages(const TavEndpointTable& table) {
    std::vector<Message> messages;
    std::set<std::string> keys;
    auto add = [&](std::string_view name, const char* sseEvent) -> Message& {
        std::string key = componentName(name);
        for (int n = 2; !keys.insert(key).second; ++n) {
            key = componentName(name) + "_" + std::to_string(n);
        }
        return messages.emplace_back(
            Message{std::move(key), std::string(name), sseEvent, nullptr, {}});
    };
    const std::vector<Resource> resources = collectResources(table);
    std::vector<KindRef> anyResource;
    for (const Resource& resource : resources) {
        for (const KindRef& answer : resource.answers) {
            if (std::none_of(anyResource.begin(), anyResource.end(),
                             [&](const KindRef& known) { return sameKind(known, answer); })) {
                anyResource.push_back(answer);
            }
        }
    }
    for (std::uint32_t i = 0; table.events != nullptr && i < table.eventCount; ++i) {
        const TavEventRecord& event = table.events[i];
        if (event.name == nullptr || *event.name == '\0' || !resourceEvent(table, event)) {
            continue;
        }
        Message& message = add(event.name, "plugin");
        message.record = &event;
        message.data = anyResource;
        // The derived names start with the name of the event they stand for.
        if (eventNameForUri("") != event.name) {
            continue;
        }
        for (const Resource& resource : resources) {
            Message& derived = add(resource.eventName, "plugin");
            derived.record = &event;
            derived.data = resource.answers;
        }
    }
    for (const char* own : {"devhost", "log", "module", "stream-closed", "events-missed"}) {
        add(own, own);
    }
    return messages;
}

class DocumentWriter {
public:
    DocumentWriter(const TavEndpointTable& table, OpenApiWriter& writer)
        : writer_(writer), schemas_(table) {}

    void writeMessage(const Message& message);
    void writeSchemas() { schemas_.writeComponents(writer_); }

private:
    void writePluginPayload(const Message& message);
    void writeOwnPayload(std::string_view name);
    void writeStringEnum(std::initializer_list<const char*> values, bool nullable);
    void writeString();

    OpenApiWriter& writer_;
    SchemaWriter schemas_;
};

void DocumentWriter::writeString() {
    writer_.StartObject();
    writeSchemaType(writer_, "string");
    writer_.EndObject();
}

void DocumentWriter::writeStringEnum(std::initializer_list<const char*> values, bool nullable) {
    writer_.StartObject();
    if (nullable) {
        writer_.Key("type");
        writer_.StartArray();
        writer_.String("string");
        writer_.String("null");
        writer_.EndArray();
    } else {
        writeSchemaType(writer_, "string");
    }
    writer_.Key("enum");
    writer_.StartArray();
    for (const char* value : values) {
        writer_.String(value);
    }
    if (nullable) {
        writer_.Null();
    }
    writer_.EndArray();
    writer_.EndObject();
}

void DocumentWriter::writeMessage(const Message& message) {
    writer_.StartObject();
    writer_.Key("name");
    writeText(writer_, message.name);
    writer_.Key("x-sse-event");
    writer_.String(message.sseEvent);
    writer_.Key("contentType");
    writer_.String("application/json");
    if (message.record != nullptr) {
        const TavEventRecord& event = *message.record;
        if (event.description != nullptr && *event.description != '\0') {
            writer_.Key("summary");
            writer_.String(event.description);
        }
        if (event.tagCount != 0 && event.tags != nullptr) {
            writer_.Key("tags");
            writer_.StartArray();
            for (std::uint32_t i = 0; i < event.tagCount; ++i) {
                writer_.StartObject();
                writer_.Key("name");
                writer_.String(event.tags[i]);
                writer_.EndObject();
            }
            writer_.EndArray();
        }
        writer_.Key("payload");
        writePluginPayload(message);
    } else {
        writer_.Key("summary");
        writer_.String(message.name == "devhost"         ? kDevhostSummary
                       : message.name == "log"           ? kLogSummary
                       : message.name == "module"        ? kModuleSummary
                       : message.name == "events-missed" ? kMissedSummary
                                                         : kClosedSummary);
        writer_.Key("payload");
        writeOwnPayload(message.name);
    }
    writer_.EndObject();
}

// What the tool sends for an event the module published: its name and the
// resource event's members, the resource as the module's GET routes answer
// it (null on Delete).
void DocumentWriter::writePluginPayload(const Message& message) {
    writer_.StartObject();
    writeSchemaType(writer_, "object");
    writer_.Key("properties");
    writer_.StartObject();
    writer_.Key("name");
    writer_.StartObject();
    writer_.Key("const");
    writeText(writer_, message.name);
    writer_.EndObject();
    writer_.Key("uri");
    writeString();
    writer_.Key("eventType");
    writeStringEnum({"Create", "Update", "Delete"}, false);
    writer_.Key("data");
    writer_.StartObject();
    writer_.Key("anyOf");
    writer_.StartArray();
    for (const KindRef& answer : message.data) {
        schemas_.writeSchema(writer_, answer);
    }
    writer_.StartObject();
    writeSchemaType(writer_, "null");
    writer_.EndObject();
    writer_.EndArray();
    writer_.EndObject();
    writer_.EndObject();
    writer_.Key("required");
    writer_.StartArray();
    for (const char* name : {"name", "uri", "eventType", "data"}) {
        writer_.String(name);
    }
    writer_.EndArray();
    writer_.EndObject();
}

void DocumentWriter::writeOwnPayload(std::string_view name) {
    writer_.StartObject();
    writeSchemaType(writer_, "object");
    writer_.Key("properties");
    writer_.StartObject();
    std::vector<const char*> required;
    if (name == "devhost") {
        writer_.Key("activeImplementation");
        writeStringEnum({"legacy", "team-builder"}, true);
        required = {"activeImplementation"};
    } else if (name == "log") {
        writer_.Key("level");
        writeStringEnum({"OKAY", "WARN", "ERROR", "ALWAYS"}, false);
        writer_.Key("message");
        writeString();
        required = {"level", "message"};
    } else if (name == "module") {
        writer_.Key("action");
        writeStringEnum({"reloaded", "reload-failed"}, false);
        for (const char* member : {"version", "sha256", "error"}) {
            writer_.Key(member);
            writeString();
        }
        required = {"action"};
    } else if (name == "events-missed") {
        // null: the client's id was not a number.
        writer_.Key("lastEventId");
        writer_.StartObject();
        writer_.Key("type");
        writer_.StartArray();
        writer_.String("integer");
        writer_.String("null");
        writer_.EndArray();
        writer_.EndObject();
        writer_.Key("firstKeptId");
        writer_.StartObject();
        writeSchemaType(writer_, "integer");
        writer_.EndObject();
        writer_.Key("reason");
        writeString();
        required = {"lastEventId", "firstKeptId", "reason"};
    } else {
        writer_.Key("reason");
        writeString();
        required = {"reason"};
    }
    writer_.EndObject();
    writer_.Key("required");
    writer_.StartArray();
    for (const char* member : required) {
        writer_.String(member);
    }
    writer_.EndArray();
    writer_.EndObject();
}

}  // namespace

std::string asyncApiDocument(const TavEndpointTable& table, const AsyncApiInfo& info) {
    OpenApiBuffer buffer;
    OpenApiWriter writer(buffer);
    writer.SetIndent(' ', 2);
    DocumentWriter document(table, writer);
    const std::vector<Message> messages = collectMessages(table);

    writer.StartObject();
    writer.Key("asyncapi");
    writer.String("3.0.0");
    writer.Key("info");
    writer.StartObject();
    writer.Key("title");
    writeText(writer, info.title);
    writer.Key("version");
    writeText(writer, info.version);
    writer.Key("description");
    writer.String(
        "The Server-Sent Events stream of the development host, generated at run time from the "
        "event records of the loaded module. Each message arrives under the SSE event field "
        "its x-sse-event names, its payload as JSON in the data field.");
    writer.EndObject();
    if (!info.host.empty()) {
        writer.Key("servers");
        writer.StartObject();
        writer.Key("devhost");
        writer.StartObject();
        writer.Key("host");
        writeText(writer, info.host);
        writer.Key("protocol");
        writer.String("http");
        writer.EndObject();
        writer.EndObject();
    }
    writer.Key("defaultContentType");
    writer.String("application/json");

    writer.Key("channels");
    writer.StartObject();
    writer.Key("events");
    writer.StartObject();
    writer.Key("address");
    writer.String("/events");
    writer.Key("description");
    writer.String("GET /events (text/event-stream); ?log=1 adds the module's log lines.");
    writer.Key("messages");
    writer.StartObject();
    for (const Message& message : messages) {
        writeKey(writer, message.key);
        writer.StartObject();
        writer.Key("$ref");
        writeText(writer, "#/components/messages/" + message.key);
        writer.EndObject();
    }
    writer.EndObject();
    writer.EndObject();
    writer.EndObject();

    writer.Key("operations");
    writer.StartObject();
    writer.Key("receiveEvents");
    writer.StartObject();
    writer.Key("action");
    writer.String("receive");
    writer.Key("channel");
    writer.StartObject();
    writer.Key("$ref");
    writer.String("#/channels/events");
    writer.EndObject();
    writer.Key("messages");
    writer.StartArray();
    for (const Message& message : messages) {
        writer.StartObject();
        writer.Key("$ref");
        writeText(writer, "#/channels/events/messages/" + message.key);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    writer.EndObject();

    writer.Key("components");
    writer.StartObject();
    writer.Key("messages");
    writer.StartObject();
    for (const Message& message : messages) {
        writeKey(writer, message.key);
        document.writeMessage(message);
    }
    writer.EndObject();
    // After the messages: their payloads are what reference the records.
    writer.Key("schemas");
    writer.StartObject();
    document.writeSchemas();
    writer.EndObject();
    writer.EndObject();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace tav::devhost
