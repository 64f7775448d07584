// tav-value: decodes a request body exactly as the plugin does and prints the
// value as JSON, for people writing front-end code or debugging a request.
//
//   tav-value [--content-type TYPE] [--as RECORD] [--pretty] [--kinds] [FILE|-]
//   tav-value --list
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_result.h"
#include "binding/native_conversion.h"
#include "binding/type_registry.h"
#include "formats/body.h"
#include "formats/json.h"
#include "openapi/openapi_schemas.h"
#include "plugin/api_types.h"

namespace {

using tav::BindingResult;
using tav::BindingValue;
using tav::BindingValueKind;

constexpr const char* kUsage =
    R"(usage: tav-value [--content-type TYPE] [--as RECORD] [--pretty] [--kinds] [FILE|-]
       tav-value --list

Decodes a request body as the tav-champ-select plugin does and prints the value
as JSON. Reads FILE, or standard input when FILE is "-" or missing.

  --content-type TYPE  decode as the body of a request with this content type:
                       application/json, application/vnd.api+json (JSON),
                       application/x-msgpack (MessagePack; bytes after the value
                       are an error), application/x-yaml (YAML); the type is
                       compared by prefix, ignoring case, as the plugin does.
                       Without it the text is sniffed: a MessagePack map or
                       array lead byte, "{" or "[" (JSON), "---" (YAML);
                       anything else is read as JSON.
  --as RECORD          convert the value into the API record RECORD and back,
                       showing defaults filled in and members dropped; RECORD
                       is a schema name of the development host's OpenAPI
                       document, for an answer or a body (the same conversion):
                       TavChampSelectChampSelectSession or
                       TavChampSelectChampSelectSessionBody
  --list               print the names --as takes, one a line
  --pretty             indent the JSON output by 4 spaces
  --kinds              print each scalar as a one-member object naming its
                       kind ({"unsigned":7}, {"string":"x"}, ...), empty as null
  --help               print this text

Exit status: 0 on success; 1 when the body does not decode or convert (the
plugin's message is printed on standard error); 2 on wrong usage.
)";

struct Options {
    std::string contentType;
    std::string record;
    std::string file = "-";
    bool pretty = false;
    bool kinds = false;
};

// No content type: sniffed as the plugin sniffs container arguments, and
// read as JSON when nothing matches.
BindingResult decodeSniffed(std::string_view body) {
    BindingResult result;
    if (tav::readSniffedContainer(body, result)) {
        return result;
    }
    return tav::readJson(body);
}

// Each API record: into the record and back.
template <class T>
BindingResult roundTrip(const BindingValue& value, const tav::BindingTypeRegistry& registry) {
    T record{};
    BindingResult in = tav::fromValue(record, value, "body", registry);
    if (!in.ok) {
        return in;
    }
    return tav::toValue(record, registry);
}

using RoundTrip = BindingResult (*)(const BindingValue&, const tav::BindingTypeRegistry&);

struct Record {
    const char* name;  // without the plugin's type name prefix
    RoundTrip convert;
};

// The API records (the enums convert as part of them).
constexpr std::string_view kTypePrefix = "TavChampSelect";
namespace Api = Kelvo::Client::ChampSelect::Api;
constexpr Record kRecords[] = {
    {"ChampSelectPlayerSelection", &roundTrip<Api::ChampSelectPlayerSelection>},
    {"ChampSelectMySelection", &roundTrip<Api::ChampSelectMySelection>},
    {"ChampSelectTimer", &roundTrip<Api::ChampSelectTimer>},
    {"ChampSelectChatRoomDetails", &roundTrip<Api::ChampSelectChatRoomDetails>},
    {"ChampSelectTradeContract", &roundTrip<Api::ChampSelectTradeContract>},
    {"ChampSelectAction", &roundTrip<Api::ChampSelectAction>},
    {"ChampSelectBannedChampions", &roundTrip<Api::ChampSelectBannedChampions>},
    {"ChampSelectSession", &roundTrip<Api::ChampSelectSession>},
    {"ChampSelectPickableChampions", &roundTrip<Api::ChampSelectPickableChampions>},
    {"ChampSelectBannableChampions", &roundTrip<Api::ChampSelectBannableChampions>},
    {"ChampSelectDisabledChampions", &roundTrip<Api::ChampSelectDisabledChampions>},
    {"ChampSelectPickableSkins", &roundTrip<Api::ChampSelectPickableSkins>},
    {"TeamBoost", &roundTrip<Api::TeamBoost>},
};

// The record's OpenAPI component names, answer first: named as the
// development host's document names them, so a name copied from
// /openapi.json is taken as it is.
std::vector<std::string> schemaNames(const Record& record) {
    std::string answer = tav::devhost::componentName(std::string(kTypePrefix) + record.name);
    return {answer, answer + "Body"};
}

RoundTrip findRecord(std::string_view name) {
    for (const Record& record : kRecords) {
        for (const std::string& known : schemaNames(record)) {
            if (name == known) {
                return record.convert;
            }
        }
    }
    return nullptr;
}

void listRecords(std::ostream& out) {
    for (const Record& record : kRecords) {
        for (const std::string& known : schemaNames(record)) {
            out << known << '\n';
        }
    }
}

// Every scalar as {"kind": value}; containers keep their shape.
void typedTree(const BindingValue& value, BindingValue& out) {
    switch (value.kind()) {
        case BindingValueKind::Empty:
            out.reset();
            break;
        case BindingValueKind::Collection:
            out.makeCollection();
            for (const BindingValue& element : value.elements()) {
                typedTree(element, out.append());
            }
            break;
        case BindingValueKind::Structure:
            out.makeStructure();
            for (const tav::BindingMember& member : value.members()) {
                typedTree(member.value(), out.member(member.key()));
            }
            break;
        case BindingValueKind::Enum:
            out.member("enum").setInt32(value.asEnum().number);
            break;
        default:
            out.member(value.kindName()) = value;
    }
}

int usageError(const std::string& why) {
    std::cerr << "tav-value: " << why << "\n\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--list") {
            listRecords(std::cout);
            return 0;
        }
        if (arg == "--pretty") {
            options.pretty = true;
        } else if (arg == "--kinds") {
            options.kinds = true;
        } else if (arg == "--content-type" || arg == "--as") {
            if (i + 1 >= argc) {
                return usageError(std::string(arg) + " needs a value");
            }
            (arg == "--as" ? options.record : options.contentType) = argv[++i];
        } else if (arg.starts_with("--")) {
            return usageError("unknown option " + std::string(arg));
        } else if (!haveFile) {
            options.file = arg;
            haveFile = true;
        } else {
            return usageError("only one input may be given");
        }
    }

    tav::BindingTypeRegistry registry;
    registry.reset();
    Kelvo::Client::ChampSelect::Api::RegisterApiTypes(registry, "TavChampSelect",
                                                      {"Plugins", "Plugin tav-champ-select"});
    RoundTrip convert = nullptr;
    if (!options.record.empty()) {
        convert = findRecord(options.record);
        if (convert == nullptr) {
            std::cerr << "tav-value: no API record named " << options.record << ". --as takes:\n";
            listRecords(std::cerr);
            return 2;
        }
    }

    std::string body;
    if (options.file == "-") {
        body.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(options.file, std::ios::binary);
        if (!in) {
            return usageError("cannot read " + options.file);
        }
        body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    BindingResult result = options.contentType.empty() ? decodeSniffed(body)
                                                       : tav::readBody(options.contentType, body);
    if (result.ok && convert != nullptr) {
        result = convert(result.value, registry);
    }
    if (!result.ok) {
        std::cerr << result.error() << '\n';
        return 1;
    }

    const char* newline = options.pretty ? "\n" : nullptr;
    if (options.kinds) {
        BindingValue typed;
        typedTree(result.value, typed);
        const std::string text = tav::writeJson(typed, &registry, newline);
        std::cout << (text.empty() ? "null" : text) << '\n';
    } else {
        std::cout << tav::writeJson(result.value, &registry, newline) << '\n';
    }
    return 0;
}
