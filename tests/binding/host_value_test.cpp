#include "binding/host_value.h"

#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/builtin_types.h"
#include "binding/type_registry.h"
#include "binding_test_support.h"

namespace {

using namespace tav;
using namespace tav::testing;

// value -> host record -> value, as a dump (or the reader's message).
std::string throughHost(const BindingValue& value, const BindingTypeRegistry* registry) {
    HostValueRecord record;
    if (!valueToHost(registry, record, value)) {
        return "valueToHost failed";
    }
    BindingErrorSink sink;
    BindingValue back;
    if (!hostToValue(sink, back, record.root(), "<value>")) {
        return "error: " + sink.message;
    }
    return dump(back);
}

std::string readHost(const TavHostValue& host) {
    BindingErrorSink sink;
    BindingValue value;
    const bool ok = hostToValue(sink, value, host, "<value>");
    EXPECT_EQ(ok, !sink.error);
    return ok ? dump(value) : "error: " + sink.message;
}

// A packed field copied out: the assertions take their arguments by
// reference, which a misaligned field cannot bind to.
template <class T>
T loaded(T value) {
    return value;
}

TavHostValue hostOf(std::uint32_t tag) {
    TavHostValue v{};
    v.tag = tag;
    return v;
}

TavHostValue hostArray(const TavHostValue* elements, std::uint32_t count) {
    TavHostValue v = hostOf(TAV_HOST_ARRAY);
    v.payload.array.elements = elements;
    v.payload.array.count = count;
    return v;
}

TavHostValue hostObject(const TavHostEntry* entries, std::uint32_t count) {
    TavHostValue v = hostOf(TAV_HOST_OBJECT);
    v.payload.object.entries = entries;
    v.payload.object.count = count;
    return v;
}

BindingValue everyKind() {
    return object({
        {"bool", boolean(true)},
        {"signed", sgn(-5)},
        {"unsigned", uns(UINT64_MAX)},
        {"float", flt(0.5)},
        {"text", text("h\xC3\xA9llo")},
        {"empty text", text("")},
        {"blob", blob({0, 255, 7})},
        {"empty blob", blob({})},
        {"state", enumOf(BindingAsyncState::Running)},
        {"unnamed", enumValue(9, &staticTypeInfo<BindingAsyncState>())},
        {"nested", list({list({}), object({}), none(),
                         list({object({{"deep", list({sgn(1), text("")})}})})})},
        {"", none()},
    });
}

// Enums travel as their enumerator name when the registry has one, else as
// their number; everything else comes back as it went.
TEST(HostValue, RoundTripOfEveryKind) {
    BindingTypeRegistry registry;
    registry.reset();
    const std::string rest =
        "blob: blob 00ff07, bool: true, empty blob: blob, empty text: string \"\", float: float "
        "0.5, nested: [[], {}, empty, [{deep: [signed 1, string \"\"]}]], signed: signed -5, ";
    EXPECT_EQ(throughHost(everyKind(), &registry),
              "{: empty, " + rest +
                  "state: string \"Running\", text: string \"h\xC3\xA9llo\", unnamed: signed 9, "
                  "unsigned: unsigned 18446744073709551615}");
    EXPECT_EQ(throughHost(everyKind(), nullptr),
              "{: empty, " + rest +
                  "state: signed 1, text: string \"h\xC3\xA9llo\", unnamed: signed 9, "
                  "unsigned: unsigned 18446744073709551615}");
    EXPECT_EQ(throughHost(none(), nullptr), "empty");
    EXPECT_EQ(throughHost(list({}), nullptr), "[]");
}

// The record owns copies of everything it points at, members in key order.
TEST(HostValue, RecordOutlivesItsValue) {
    HostValueRecord record;
    {
        const BindingValue value = object({{"b", text("bee")}, {"a", list({sgn(1), sgn(2)})}});
        ASSERT_TRUE(valueToHost(nullptr, record, value));
    }
    const TavHostValue& root = record.root();
    ASSERT_EQ(loaded(root.tag), static_cast<std::uint32_t>(TAV_HOST_OBJECT));
    ASSERT_EQ(loaded(root.payload.object.count), 2u);
    const TavHostEntry* entries = root.payload.object.entries;
    EXPECT_STREQ(entries[0].key, "a");
    EXPECT_EQ(loaded(entries[0].flag), 1);
    EXPECT_STREQ(entries[1].key, "b");
    EXPECT_EQ(loaded(entries[1].flag), 1);
    EXPECT_STREQ(entries[1].value.payload.text, "bee");
    EXPECT_EQ(readHost(root), "{a: [signed 1, signed 2], b: string \"bee\"}");
}

// What a record reads as, or the message that fails the whole read: a tag
// outside 0 to 10 at any depth, nesting beyond 512 levels, a count beyond the
// element limit (refused before the elements it announces are touched or room
// is reserved for them). Null pointers read as empty.
TEST(HostValue, ReadsOrRefusesHostRecords) {
    const std::string refused =
        "error: Couldn't assign value to '<value>' of type object because the input ";
    const std::string badTag = refused + "is of an incompatible type ''.";
    const TavHostValue elements[] = {hostOf(TAV_HOST_BOOL), hostOf(0xFFFFFFFFu)};
    TavHostEntry entries[2] = {};
    entries[0].key = "ok";
    entries[0].value = hostOf(TAV_HOST_EMPTY);
    entries[1].key = "bad";
    entries[1].value = hostOf(11);
    const TavHostValue inner[] = {hostObject(entries, 2)};
    std::vector<TavHostValue> chain(514, hostOf(TAV_HOST_EMPTY));  // chain[i]: 513 - i levels
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i] = hostArray(&chain[i + 1], 1);
    }
    TavHostValue nullText = hostOf(TAV_HOST_STRING_ALT);
    nullText.payload.text = nullptr;
    TavHostValue nullBlob = hostOf(TAV_HOST_BLOB_ALT);
    nullBlob.payload.blob.count = 5;
    TavHostEntry nullKey{};
    nullKey.value = hostOf(TAV_HOST_BOOL);

    const std::vector<std::pair<TavHostValue, std::string>> cases = {
        {hostOf(11), badTag},
        {hostArray(elements, 2), badTag},
        {hostObject(entries, 2), badTag},
        {hostArray(inner, 1), badTag},
        {chain[1], std::string(512, '[') + "empty" + std::string(512, ']')},
        {chain[0], refused + "is nested too deeply."},
        {hostArray(&chain.back(), 0xFFFFFFFFu), refused + "has too many elements."},
        {nullText, "string \"\""},
        {nullBlob, "blob"},
        {hostArray(nullptr, 3), "[]"},
        {hostObject(nullptr, 2), "{}"},
        {hostObject(&nullKey, 1), "{: false}"},
    };
    for (const auto& [host, expected] : cases) {
        SCOPED_TRACE(expected.substr(0, 80));
        EXPECT_EQ(readHost(host), expected);
    }
}

// One block holds every record and every byte the records point at, texts
// and keys with their terminating zero: nothing more, nothing less.
TEST(HostValue, BlockIsExactlyTheRecordsAndTheirBytes) {
    BindingTypeRegistry registry;
    registry.reset();
    constexpr std::size_t kValue = sizeof(TavHostValue);
    constexpr std::size_t kEntry = sizeof(TavHostEntry);
    const std::vector<std::pair<BindingValue, std::size_t>> cases = {
        {sgn(1), 0},
        {text("abc"), 4},
        {text(""), 1},
        {blob({1, 2, 3}), 3},
        {enumOf(BindingAsyncState::Running), 8},  // "Running" and its zero
        {enumValue(9, &staticTypeInfo<BindingAsyncState>()), 0},
        {list({text("a"), sgn(2)}), 2 * kValue + 2},
        {object({{"key", text("xy")}, {"", none()}}), 2 * kEntry + 4 + 3 + 1},
        {list({object({{"k", list({})}})}), kValue + kEntry + 2},
    };
    for (const auto& [value, size] : cases) {
        SCOPED_TRACE(dump(value));
        HostValueRecord record;
        ASSERT_TRUE(valueToHost(&registry, record, value));
        EXPECT_EQ(record.storageSize(), size);
    }
}

}  // namespace
