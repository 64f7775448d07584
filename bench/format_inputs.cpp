#include "format_inputs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string_view>

#include "binding/fnv1a.h"
#include "binding/native_conversion.h"
#include "binding/type_registry.h"
#include "formats/json.h"
#include "formats/yaml.h"
#include "plugin/api_types.h"

namespace tav::bench {
namespace {

using namespace Kelvo::Client::ChampSelect::Api;

// The array holds distinct sessions until its JSON reaches this size.
constexpr std::size_t kArrayJsonBytes = 1000000;

constexpr std::array<const char*, 5> kPositions = {"top", "jungle", "middle", "bottom", "utility"};

// Names, identifiers and picks differ between players and between sessions
// (number is the session's index), so that no reader profits from repeated
// values more than it would on live data; keys and enumerated texts repeat as
// they do there.
ChampSelectPlayerSelection player(std::int64_t cell, std::int32_t team, int number) {
    ChampSelectPlayerSelection p;
    p.cellId = cell;
    p.displayName = "Patient Otter " + std::to_string(4000 + number * 10 + cell) + "#WEST";
    p.championId = 1 + static_cast<std::int32_t>((number * 17 + cell * 31) % 160);
    p.selectedSkinId = p.championId * 1000 + static_cast<std::int32_t>(cell % 3);
    p.wardSkinId = cell % 4 == 0 ? -1 : 40 + cell + number;
    p.spell1Id = 4;
    p.spell2Id = cell % 2 == 0 ? 14 : 7;
    p.team = team;
    p.assignedPosition = kPositions[static_cast<std::size_t>(cell % 5)];
    p.championPickIntent = cell % 3 == 0 ? 0 : 1 + static_cast<std::int32_t>(cell * 11 % 160);
    p.playerType = "PLAYER";
    p.summonerId = 2318562904151744 + static_cast<std::uint64_t>(number) * 7919 +
                   static_cast<std::uint64_t>(cell) * 104729;
    return p;
}

// Actions pass through the plugin as values; these carry what the live
// client sends for each of them. The draft is under way: actions up to
// kInProgress are done.
constexpr std::int64_t kInProgress = 15;

BindingValue action(std::int64_t id, std::int64_t actor, std::int64_t pickTurn, const char* type,
                    int number) {
    BindingValue a;
    a.member("id").setInt64(id);
    a.member("actorCellId").setInt64(actor);
    a.member("championId").setInt64(id <= kInProgress ? 1 + (number * 13 + id * 7) % 160 : 0);
    a.member("type").setString(type);
    a.member("completed").setBool(id < kInProgress);
    a.member("isAllyAction").setBool(actor < 5);
    a.member("isInProgress").setBool(id == kInProgress);
    a.member("pickTurn").setInt64(pickTurn);
    a.member("duration").setInt64(id < kInProgress ? 27000 - id * 311 : 30000);
    return a;
}

ChampSelectSession makeSession(int number) {
    ChampSelectSession s;
    s.timer = {29000 - number * 37,
               28500 - number * 37,
               29,
               28,
               30000,
               "BAN_PICK",
               false,
               1700000000000 + static_cast<std::uint64_t>(number) * 1013};
    s.chatDetails.chatRoomName = "c1~0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9" + std::to_string(number);
    s.chatDetails.chatRoomPassword = "Qm9hcmQgZ2FtZSBwYXNz" + std::to_string(number * 3);
    for (std::int64_t cell = 0; cell < 5; ++cell) {
        s.myTeam.push_back(player(cell, 1, number));
        s.theirTeam.push_back(player(cell + 5, 2, number));
    }
    for (std::int64_t cell = 0; cell < 5; ++cell) {
        if (cell == 2) {
            continue;  // the local player
        }
        s.trades.push_back(
            {cell + 1, cell,
             cell == 3 ? ChampSelectTradeState::SENT : ChampSelectTradeState::AVAILABLE});
    }
    // A draft: one turn of ten bans, then pick turns of one, two, two, two,
    // two and one player.
    std::int64_t id = 0;
    BindingValue& bans = s.actions.emplace_back();
    for (std::int64_t cell = 0; cell < 10; ++cell) {
        bans.append() = action(id++, cell, 1, "ban", number);
    }
    constexpr std::int64_t kPickOrder[] = {0, 5, 6, 1, 2, 7, 8, 3, 4, 9};
    constexpr int kTurnSizes[] = {1, 2, 2, 2, 2, 1};
    std::size_t next = 0;
    for (int turn = 0; turn < 6; ++turn) {
        BindingValue& picks = s.actions.emplace_back();
        for (int i = 0; i < kTurnSizes[turn]; ++i) {
            picks.append() = action(id++, kPickOrder[next++], turn + 1, "pick", number);
        }
    }
    for (std::int32_t i = 0; i < 5; ++i) {
        s.bans.myTeamBans.push_back(1 + (number * 5 + i * 23) % 160);
        s.bans.theirTeamBans.push_back(1 + (number * 3 + i * 29 + 80) % 160);
    }
    s.bans.numBans = 10;
    s.localPlayerCellId = 2;
    s.allowRerolling = number % 2 == 0;
    s.rerollsRemaining = 1;
    return s;
}

const BindingTypeRegistry& apiRegistry() {
    static BindingTypeRegistry registry;
    static const bool registered = [] {
        registry.reset();
        RegisterApiTypes(registry, "TavChampSelect", {"Plugins", "Plugin tav-champ-select"});
        return true;
    }();
    (void)registered;
    return registry;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "format benchmark inputs: %s\n", what);
    std::abort();
}

// A player's identity as a 36-character UUID.
std::string playerUuid(int number, std::int64_t cell) {
    char text[40];
    std::snprintf(
        text, sizeof text, "%08x-%04x-4%03x-8%03x-%012llx",
        static_cast<unsigned>((number + 1) * 2654435761u),
        static_cast<unsigned>(cell * 40503 & 0xFFFF),
        static_cast<unsigned>((number + cell) & 0xFFF),
        static_cast<unsigned>((number * 7 + cell) & 0xFFF),
        (static_cast<unsigned long long>(number) * 0x9E3779B97F4Aull + cell) & 0xFFFFFFFFFFFFull);
    return text;
}

// The session as the host sends it: the record's members and, on each player,
// a few the record does not describe (the plugin ignores them, but every
// reader reads them).
BindingValue sessionValue(int number) {
    BindingResult converted = toValue(makeSession(number), apiRegistry());
    if (!converted.ok) {
        fail("the session does not convert");
    }
    BindingValue& session = converted.value;
    for (const char* team : {"myTeam", "theirTeam"}) {
        for (BindingValue& p : session.member(team).elements()) {
            const std::int64_t cell = p.find("cellId").asInt64();
            p.member("playerUuid").setString(playerUuid(number, cell));
            p.member("obfuscatedPlayerUuid")
                .setString(cell < 5 ? "" : playerUuid(number + 1, cell));
            p.member("nameVisibility").setString(cell < 5 ? "VISIBLE" : "HIDDEN");
            p.member("isAutofilled").setBool(cell % 5 == 3);
        }
    }
    return std::move(converted.value);
}

// The JSON is what our writer prints for the record (enums by name); every
// other form is made from the tree that JSON reads back into, and must read
// back into the same tree.
FormatInput makeInput(const BindingValue& record) {
    FormatInput input;
    input.json = writeJson(record, &apiRegistry());
    BindingResult read = readJson(input.json);
    if (!read.ok) {
        fail("the JSON does not read back");
    }
    input.value = std::move(read.value);
    input.messagePack = encodeMessagePack(input.value);
    input.yaml = writeBlockYaml(input.value);
    const BindingResult yaml = readYaml(input.yaml);
    if (!yaml.ok || !(yaml.value == input.value)) {
        fail("the YAML does not read back into the JSON's tree");
    }
    return input;
}

// The encoder behind encodeMessagePack: big-endian fields, smallest forms.
class MessagePackEncoder final : public BindingValueVisitor {
public:
    explicit MessagePackEncoder(std::vector<std::uint8_t>& out) : out_(out) {}

    void onEmpty() override { out_.push_back(0xC0); }
    void onBool(bool value) override { out_.push_back(value ? 0xC3 : 0xC2); }
    void onSigned(std::int64_t value) override {
        if (value >= 0) {
            onUnsigned(static_cast<std::uint64_t>(value));
        } else if (value >= -32) {
            out_.push_back(static_cast<std::uint8_t>(value));
        } else if (value >= INT8_MIN) {
            field(0xD0, static_cast<std::uint64_t>(value), 1);
        } else if (value >= INT16_MIN) {
            field(0xD1, static_cast<std::uint64_t>(value), 2);
        } else if (value >= INT32_MIN) {
            field(0xD2, static_cast<std::uint64_t>(value), 4);
        } else {
            field(0xD3, static_cast<std::uint64_t>(value), 8);
        }
    }
    void onUnsigned(std::uint64_t value) override {
        if (value < 0x80) {
            out_.push_back(static_cast<std::uint8_t>(value));
        } else if (value <= UINT8_MAX) {
            field(0xCC, value, 1);
        } else if (value <= UINT16_MAX) {
            field(0xCD, value, 2);
        } else if (value <= UINT32_MAX) {
            field(0xCE, value, 4);
        } else {
            field(0xCF, value, 8);
        }
    }
    void onFloat(double value) override { field(0xCB, std::bit_cast<std::uint64_t>(value), 8); }
    void onString(std::string_view text) override { string(text); }
    void onBlob(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() <= UINT8_MAX) {
            field(0xC4, bytes.size(), 1);
        } else if (bytes.size() <= UINT16_MAX) {
            field(0xC5, bytes.size(), 2);
        } else {
            field(0xC6, bytes.size(), 4);
        }
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void onEnum(const BindingEnumValue& value) override { onSigned(value.number); }
    void beginCollection(std::size_t count) override { container(count, 0x90, 0xDC); }
    void beginStructure(std::size_t count) override { container(count, 0x80, 0xDE); }
    void key(std::string_view key) override { string(key); }

private:
    void field(std::uint8_t lead, std::uint64_t value, unsigned width) {
        out_.push_back(lead);
        for (unsigned i = width; i-- > 0;) {
            out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    void string(std::string_view text) {
        if (text.size() < 32) {
            out_.push_back(static_cast<std::uint8_t>(0xA0 | text.size()));
        } else if (text.size() <= UINT8_MAX) {
            field(0xD9, text.size(), 1);
        } else if (text.size() <= UINT16_MAX) {
            field(0xDA, text.size(), 2);
        } else {
            field(0xDB, text.size(), 4);
        }
        out_.insert(out_.end(), text.begin(), text.end());
    }
    // Arrays and maps: the fix form below 16 entries, then 16 and 32 bits.
    void container(std::size_t count, std::uint8_t fixLead, std::uint8_t lead16) {
        if (count < 16) {
            out_.push_back(static_cast<std::uint8_t>(fixLead | count));
        } else if (count <= UINT16_MAX) {
            field(lead16, count, 2);
        } else {
            field(static_cast<std::uint8_t>(lead16 + 1), count, 4);
        }
    }

    std::vector<std::uint8_t>& out_;
};

// A string may go unquoted when it starts with a letter, holds only
// letters, digits and a few punctuation marks, and reads back as a string
// (not "null", "true", "nan", "inf" and the like).
bool isPlainScalar(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text.front()))) {
        return false;
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!std::isalnum(byte) && c != ' ' && c != '_' && c != '-' && c != '.' && c != '~' &&
            c != '/') {
            return false;
        }
    }
    if (text.back() == ' ') {
        return false;
    }
    for (const std::string_view word :
         {"null", "Null", "NULL", "true", "True", "TRUE", "false", "False", "FALSE"}) {
        if (text == word) {
            return false;
        }
    }
    const std::string copy(text);
    char* end = nullptr;
    std::strtod(copy.c_str(), &end);
    return end != copy.c_str() + copy.size();
}

void appendQuoted(std::string_view text, std::string& out) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendText(std::string_view text, std::string& out) {
    if (isPlainScalar(text)) {
        out += text;
    } else {
        appendQuoted(text, out);
    }
}

template <class T>
void appendNumber(T number, std::string& out) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    (void)error;
    out.append(buffer, end);
}

// Shortest round trip, with ".0" where that would otherwise read back as an
// integer.
void appendFloat(double number, std::string& out) {
    const std::size_t start = out.size();
    appendNumber(number, out);
    if (out.find_first_not_of("-0123456789", start) == std::string::npos) {
        out += ".0";
    }
}

void appendMembers(const BindingValue& value, std::size_t indent, bool firstInline,
                   std::string& out);
void appendItems(const BindingValue& value, std::size_t indent, bool firstInline, std::string& out);

// A value whose line has been started by "key:" or "-" (afterDash); nested
// lines are indented by indent.
void appendNode(const BindingValue& value, std::size_t indent, bool afterDash, std::string& out) {
    const bool nested = (value.kind() == BindingValueKind::Structure ||
                         value.kind() == BindingValueKind::Collection) &&
                        value.size() != 0;
    if (nested) {
        if (afterDash) {
            out += ' ';
        } else {
            out += '\n';
        }
        if (value.kind() == BindingValueKind::Structure) {
            appendMembers(value, indent, afterDash, out);
        } else {
            appendItems(value, indent, afterDash, out);
        }
        return;
    }
    out += ' ';
    switch (value.kind()) {
        case BindingValueKind::Bool:
            out += value.asBool() ? "true" : "false";
            break;
        case BindingValueKind::Signed:
            appendNumber(value.asInt64(), out);
            break;
        case BindingValueKind::Unsigned:
            appendNumber(value.asUInt64(), out);
            break;
        case BindingValueKind::Float:
            appendFloat(value.asDouble(), out);
            break;
        case BindingValueKind::String:
            appendText(value.asString(), out);
            break;
        case BindingValueKind::Enum:
            appendNumber(value.asEnum().number, out);
            break;
        case BindingValueKind::Collection:
            out += "[]";
            break;
        case BindingValueKind::Structure:
            out += "{}";
            break;
        default:  // empty; blobs do not occur in these inputs
            out += "null";
            break;
    }
    out += '\n';
}

void appendMembers(const BindingValue& value, std::size_t indent, bool firstInline,
                   std::string& out) {
    bool first = true;
    for (const BindingMember& member : value.members()) {
        if (!(first && firstInline)) {
            out.append(indent, ' ');
        }
        first = false;
        appendText(member.key(), out);
        out += ':';
        appendNode(member.value(), indent + 2, false, out);
    }
}

void appendItems(const BindingValue& value, std::size_t indent, bool firstInline,
                 std::string& out) {
    bool first = true;
    for (const BindingValue& element : value.elements()) {
        if (!(first && firstInline)) {
            out.append(indent, ' ');
        }
        first = false;
        out += '-';
        appendNode(element, indent + 2, true, out);
    }
}

}  // namespace

std::vector<std::uint8_t> encodeMessagePack(const BindingValue& value) {
    std::vector<std::uint8_t> out;
    MessagePackEncoder encoder(out);
    value.accept(encoder);
    return out;
}

std::string writeBlockYaml(const BindingValue& value) {
    std::string out;
    if (value.kind() == BindingValueKind::Structure && value.size() != 0) {
        appendMembers(value, 0, false, out);
    } else if (value.kind() == BindingValueKind::Collection && value.size() != 0) {
        appendItems(value, 0, false, out);
    } else {
        appendNode(value, 0, false, out);
    }
    return out;
}

const FormatInput& sessionInput() {
    static const FormatInput input = makeInput(sessionValue(0));
    return input;
}

const FormatInput& sessionArrayInput() {
    static const FormatInput input = [] {
        const std::size_t sessionBytes = sessionInput().json.size();
        const std::size_t count = (kArrayJsonBytes + sessionBytes - 1) / sessionBytes;
        BindingValue sessions;
        sessions.makeCollection();
        sessions.reserve(count);
        for (std::size_t number = 0; number < count; ++number) {
            sessions.append() = sessionValue(static_cast<int>(number));
        }
        return makeInput(sessions);
    }();
    return input;
}

const FormatInput& nestedArraysInput() {
    static const FormatInput input = [] {
        FormatInput nested;
        std::string& json = nested.json;
        json = "[";
        for (int group = 0; json.size() < kArrayJsonBytes; ++group) {
            const std::string a = std::to_string(group % 100);
            const std::string b = std::to_string((group + 7) % 100);
            json += group == 0 ? "" : ",";
            json +=
                "[[" + a + ",[" + b + "," + a + "]],[[" + b + "]," + a + ",[]],[[[" + b + "]]]]";
        }
        json += "]";
        nested.value = readJson(json).value;
        return nested;
    }();
    return input;
}

const FormatInput& hostileShapesInput(bool shuffled) {
    static const auto make = [](bool shuffle) {
        constexpr int kVocabulary = 200;
        constexpr int kRecordKeys = 10;
        std::mt19937 random(shuffle ? 11 : 13);
        std::vector<std::string> names;
        for (int i = 0; i < kVocabulary; ++i) {
            names.push_back("field" + std::to_string(i * 7919 % 1000));
        }
        std::vector<int> all(kVocabulary);
        std::iota(all.begin(), all.end(), 0);
        std::vector<int> keys(all.begin(), all.begin() + kRecordKeys);
        FormatInput hostile;
        std::string& json = hostile.json;
        json = "[";
        for (int record = 0; json.size() < kArrayJsonBytes; ++record) {
            if (shuffle) {
                std::shuffle(keys.begin(), keys.end(), random);
            } else {
                std::shuffle(all.begin(), all.end(), random);
                keys.assign(all.begin(), all.begin() + kRecordKeys);
            }
            json += record == 0 ? "{" : ",{";
            for (int i = 0; i < kRecordKeys; ++i) {
                json += (i == 0 ? "\"" : ",\"") +
                        names[static_cast<std::size_t>(keys[static_cast<std::size_t>(i)])] +
                        "\":" + std::to_string(record * kRecordKeys + i);
            }
            json += "}";
        }
        json += "]";
        hostile.value = readJson(json).value;
        return hostile;
    };
    static const FormatInput otherKeys = make(false);
    static const FormatInput shuffledKeys = make(true);
    return shuffled ? shuffledKeys : otherKeys;
}

namespace {

constexpr std::size_t kFloodBytes = 1000000;
constexpr std::size_t kFloodKeyLength = 12;

// Keys of three 4-character blocks, each of which leads the FNV-1a state
// from the offset basis back to itself in the low 18 bits; any sequence of
// blocks then hashes alike there.
std::vector<std::string> collidingKeys(std::size_t count) {
    constexpr std::uint32_t kMask = (1u << 18) - 1;
    std::uint32_t inverse = detail::kFnvPrime;  // modulo 2^32
    for (int i = 0; i < 5; ++i) {
        inverse *= 2 - detail::kFnvPrime * inverse;
    }
    const auto step = [](std::uint32_t state, char c) {
        return (state ^ static_cast<unsigned char>(c)) * detail::kFnvPrime;
    };
    const auto plain = [](unsigned c) { return c >= '0' && c <= 'z' && c != '\\'; };
    const std::uint32_t before = (detail::kFnvOffsetBasis * inverse) & kMask;
    std::vector<std::string> blocks;
    for (char a = '0'; a <= 'z'; ++a) {
        for (char b = '0'; b <= 'z'; ++b) {
            for (char c = '0'; c <= 'z'; ++c) {
                if (!plain(static_cast<unsigned>(a)) || !plain(static_cast<unsigned>(b)) ||
                    !plain(static_cast<unsigned>(c))) {
                    continue;
                }
                const std::uint32_t state =
                    step(step(step(detail::kFnvOffsetBasis, a), b), c) & kMask;
                if (plain(state ^ before)) {
                    blocks.push_back({a, b, c, static_cast<char>(state ^ before)});
                }
            }
        }
    }
    std::vector<std::string> keys;
    const std::size_t n = blocks.size();
    for (std::size_t i = 0; keys.size() < count && i < n * n * n; ++i) {
        keys.push_back(blocks[i % n] + blocks[i / n % n] + blocks[i / n / n]);
    }
    return keys;
}

std::vector<std::string> randomKeys(std::size_t count) {
    std::mt19937 random(17);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::vector<std::string> keys;
    while (keys.size() < count) {
        std::string key(kFloodKeyLength, ' ');
        for (char& c : key) {
            c = static_cast<char>(letter(random));
        }
        keys.push_back(key);
    }
    return keys;
}

KeyFloodInput makeFloodInput(const std::vector<std::string>& keys) {
    KeyFloodInput input;
    input.jsonObject = "{";
    input.jsonStrings = "[";
    std::vector<std::uint8_t>& map = input.messagePackMap;
    map = {0xDF, 0, 0, 0, 0};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        input.jsonObject += (i == 0 ? "\"" : ",\"") + keys[i] + "\":0";
        input.jsonStrings += (i == 0 ? "\"" : ",\"") + keys[i] + "\"";
        map.push_back(static_cast<std::uint8_t>(0xA0 + keys[i].size()));
        map.insert(map.end(), keys[i].begin(), keys[i].end());
        map.push_back(0);
    }
    input.jsonObject += "}";
    input.jsonStrings += "]";
    for (int byte = 0; byte < 4; ++byte) {
        map[static_cast<std::size_t>(1 + byte)] =
            static_cast<std::uint8_t>(keys.size() >> (24 - 8 * byte));
    }
    return input;
}

}  // namespace

const KeyFloodInput& keyFloodInput(bool colliding) {
    // "key":0, with its comma: about 17 bytes a key.
    constexpr std::size_t kCount = kFloodBytes / (kFloodKeyLength + 5);
    if (colliding) {
        static const KeyFloodInput input = makeFloodInput(collidingKeys(kCount));
        return input;
    }
    static const KeyFloodInput input = makeFloodInput(randomKeys(kCount));
    return input;
}

}  // namespace tav::bench
