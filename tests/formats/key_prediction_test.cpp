// The readers (and the host record reader) predict a structure's keys and
// tree from its siblings'. Whether
// a prediction holds, half holds or fails, the tree must be the one that
// inserting the members one by one in their order of arrival builds: the
// same members, and node for node the same links and colours. The reference
// here is the same text read through a sink that predicts nothing.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/reader.h>

#include "binding/host_value.h"
#include "binding/member_tree.h"
#include "formats/json.h"
#include "formats/message_pack.h"
#include "formats/value_tree_sink.h"

namespace tav {
namespace {

using Tree = detail::MemberTree;

// RapidJSON's events into a sink that predicts nothing.
class ReferenceBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ReferenceBuilder> {
public:
    explicit ReferenceBuilder(BindingValue& root) : sink_(root) {}
    bool Null() {
        sink_.slot();
        return true;
    }
    bool Bool(bool value) {
        sink_.slot().setBool(value);
        return true;
    }
    bool Int(int value) { return Int64(value); }
    bool Uint(unsigned value) { return Uint64(value); }
    bool Int64(std::int64_t value) {
        sink_.slot().setInt64(value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        sink_.slot().setUInt64(value);
        return true;
    }
    bool Double(double value) {
        sink_.slot().setDouble(value);
        return true;
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        sink_.slot().setString({text, length});
        return true;
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        sink_.key({text, length});
        return true;
    }
    bool StartObject() { return sink_.openStructure() != nullptr; }
    bool StartArray() { return sink_.openCollection(ReopenedCollection::Extend) != nullptr; }
    bool EndObject(rapidjson::SizeType) {
        sink_.close();
        return true;
    }
    bool EndArray(rapidjson::SizeType) { return EndObject(0); }

private:
    ValueTreeSink sink_;
};

BindingValue readReference(const std::string& json) {
    BindingValue root;
    {
        ReferenceBuilder builder(root);
        rapidjson::Reader reader;
        rapidjson::StringStream stream(json.c_str());
        EXPECT_FALSE(reader.Parse(stream, builder).IsError()) << json;
    }
    return root;
}

const BindingMember* rootOf(const BindingValue& structure) {
    const BindingConstMembers members = structure.members();
    const BindingMember* node = members.empty() ? nullptr : &*members.begin();
    while (node != nullptr && Tree::parentOf(node) != nullptr) {
        node = Tree::parentOf(node);
    }
    return node;
}

void expectSameValues(const BindingValue& read, const BindingValue& reference,
                      const std::string& path);

// MessagePack reads every integer as signed, JSON a positive one as unsigned.
bool isInteger(const BindingValue& value) {
    return value.kind() == BindingValueKind::Signed || value.kind() == BindingValueKind::Unsigned;
}
std::int64_t integerOf(const BindingValue& value) {
    return value.kind() == BindingValueKind::Signed ? value.asInt64()
                                                    : static_cast<std::int64_t>(value.asUInt64());
}

void expectSameNodes(const BindingMember* read, const BindingMember* reference,
                     const std::string& path) {
    ASSERT_EQ(read == nullptr, reference == nullptr) << path;
    if (read == nullptr) {
        return;
    }
    const std::string here = path + "." + std::string(reference->key());
    ASSERT_EQ(read->key(), reference->key()) << path;
    EXPECT_EQ(Tree::isRed(read), Tree::isRed(reference)) << here;
    expectSameNodes(Tree::left(read), Tree::left(reference), here + "<");
    expectSameNodes(Tree::right(read), Tree::right(reference), here + ">");
    expectSameValues(read->value(), reference->value(), here);
}

void expectSameValues(const BindingValue& read, const BindingValue& reference,
                      const std::string& path) {
    if (isInteger(read) && isInteger(reference)) {
        EXPECT_EQ(integerOf(read), integerOf(reference)) << path;
        return;
    }
    ASSERT_EQ(read.kind(), reference.kind()) << path;
    if (read.kind() == BindingValueKind::Structure) {
        EXPECT_STREQ(detail::checkMemberTree(read), nullptr) << path;
        EXPECT_EQ(read.size(), reference.size()) << path;
        expectSameNodes(rootOf(read), rootOf(reference), path);
    } else if (read.kind() == BindingValueKind::Collection) {
        ASSERT_EQ(read.size(), reference.size()) << path;
        for (std::size_t i = 0; i < read.size(); ++i) {
            expectSameValues(read.elementAt(i), reference.elementAt(i),
                             path + "[" + std::to_string(i) + "]");
        }
    } else {
        EXPECT_EQ(read, reference) << path;
    }
}

std::string records(const std::vector<std::vector<std::string>>& keyLists) {
    std::string json = "[";
    int value = 0;
    for (const std::vector<std::string>& keys : keyLists) {
        json += json.size() > 1 ? ",{" : "{";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            json += (i == 0 ? "\"" : ",\"") + keys[i] + "\":" + std::to_string(value++);
        }
        json += "}";
    }
    return json + "]";
}

std::vector<std::string> manyKeys(int count) {
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        keys.push_back("k" + std::to_string(i * 7919 % count));
    }
    return keys;
}

TEST(KeyPrediction, BuildsTheTreesThatInsertingOneByOneBuilds) {
    const std::vector<std::string> abc = {"c", "a", "b", "e", "d"};
    std::vector<std::vector<std::string>> alternating;
    for (int round = 0; round < 3; ++round) {
        for (const char* first : {"p", "q", "r", "s", "t", "u"}) {
            alternating.push_back({first, "x", "y"});
        }
    }
    const struct {
        const char* name;
        std::string json;
    } cases[] = {
        {"siblings alike", records({abc, abc, abc, abc})},
        {"a sibling with fewer keys", records({abc, {"c", "a", "b"}, abc})},
        {"a sibling with more keys", records({abc, {"c", "a", "b", "e", "d", "f", "g"}, abc})},
        {"a key that differs midway", records({abc, {"c", "a", "z", "e", "d"}, abc})},
        {"the same keys shuffled",
         records({abc, {"a", "c", "b", "d", "e"}, {"e", "d", "c", "b", "a"}, abc})},
        {"a repeated key", records({abc, {"c", "a", "c", "b", "e", "d"}, abc})},
        {"more first keys than remembered shapes", records(alternating)},
        {"more keys than a shape holds", records({manyKeys(300), manyKeys(300), manyKeys(300)})},
        {"empty structures and empty keys", records({{}, {""}, {"", "a"}, {}, {"", "a"}})},
        {"records in records",
         R"([{"id":1,"team":[{"id":2,"spell":3},{"id":4,"spell":5}],"pick":{"id":6,"spell":7}},
             {"id":8,"team":[{"id":9,"spell":10},{"spell":11,"id":12}],"pick":{"id":13}}])"},
        {"a repeated key merging structures",
         R"([{"a":{"x":1,"y":2},"b":3},{"a":{"x":1},"a":{"y":2,"z":3},"b":4},{"a":{"x":1,"y":2},"b":5}])"},
        {"a repeated key replacing a record's list",
         R"({"l":[{"a":1,"b":2},{"a":3,"b":4}],"l":7,"m":[{"a":5,"b":6},{"a":7,"b":8}]})"},
    };
    for (const auto& [name, json] : cases) {
        SCOPED_TRACE(name);
        const BindingValue reference = readReference(json);
        const BindingResult read = readJson(json);
        ASSERT_TRUE(read.ok) << read.error();
        expectSameValues(read.value, reference, "json");
        // The writers list members in key order, which the reference then
        // follows too.
        const BindingValue sorted = readReference(writeJson(reference));
        const std::string packed = writeMessagePack(reference);
        std::uint32_t position = 0;
        const BindingResult unpacked =
            readMessagePack(reinterpret_cast<const std::uint8_t*>(packed.data()),
                            static_cast<std::uint32_t>(packed.size()), position);
        ASSERT_TRUE(unpacked.ok) << unpacked.error();
        expectSameValues(unpacked.value, sorted, "msgpack");
        HostValueRecord record;
        ASSERT_TRUE(valueToHost(nullptr, record, reference));
        BindingErrorSink sink;
        BindingValue fromHost;
        ASSERT_TRUE(hostToValue(sink, fromHost, record.root(), "<value>")) << sink.message;
        expectSameValues(fromHost, sorted, "host");
    }
}

// Input that ends inside a predicted record leaves a tree that holds what was
// read (the sanitizers see that nothing predicted is lost), or the error.
TEST(KeyPrediction, InputThatStopsInsideAPredictedRecord) {
    const BindingResult json = readJson(R"([{"a":1,"b":{"c":2}},{"a":3,"b":{"c")");
    EXPECT_FALSE(json.ok);
    EXPECT_EQ(json.error(), "Error: Missing a colon after a name of object member. at offset 37.");

    const BindingValue reference = readReference(R"([{"a":1,"b":2},{"a":3,"b":4}])");
    const std::string packed = writeMessagePack(reference);
    for (std::size_t length = 1; length < packed.size(); ++length) {
        std::uint32_t position = 0;
        const BindingResult cut =
            readMessagePack(reinterpret_cast<const std::uint8_t*>(packed.data()),
                            static_cast<std::uint32_t>(length), position);
        if (cut.ok) {
            for (const BindingValue& record : cut.value.elements()) {
                EXPECT_STREQ(detail::checkMemberTree(record), nullptr) << length;
            }
        }
    }
}

}  // namespace
}  // namespace tav
