#include "binding/binding_value.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_value_context.h"
#include "binding/member_tree.h"
#include "binding/testing/binding_value_context_probe.h"

using namespace tav;

namespace {

// Compact trace of a walk: "{" count, "k:" key ... "/" key, "[" count,
// "<" index ... ">" index, "]" and "}" for the ends, scalars as letters.
class TraceVisitor : public BindingValueVisitor {
public:
    std::string out;

    void onEmpty() override { out += "E "; }
    void onBool(bool v) override { out += v ? "T " : "F "; }
    void onSigned(std::int64_t v) override { out += "i" + std::to_string(v) + ' '; }
    void onUnsigned(std::uint64_t v) override { out += "u" + std::to_string(v) + ' '; }
    void onFloat(double v) override { out += "d" + std::to_string(static_cast<int>(v)) + ' '; }
    void onString(std::string_view v) override { out += "s:" + std::string(v) + ' '; }
    void onBlob(std::span<const std::uint8_t> v) override {
        out += "b" + std::to_string(v.size()) + ' ';
    }
    void onEnum(const BindingEnumValue& v) override { out += "n" + std::to_string(v.number) + ' '; }
    void beginCollection(std::size_t n) override { out += "[" + std::to_string(n) + ' '; }
    void beginElement(std::size_t i) override { out += "<" + std::to_string(i) + ' '; }
    void endElement(std::size_t i) override { out += std::to_string(i) + "> "; }
    void endCollection() override { out += "] "; }
    void beginStructure(std::size_t n) override { out += "{" + std::to_string(n) + ' '; }
    void key(std::string_view k) override { out += "k:" + std::string(k) + ' '; }
    void endKey(std::string_view k) override { out += "/" + std::string(k) + ' '; }
    void endStructure() override { out += "} "; }
};

std::string trace(const BindingValue& value) {
    TraceVisitor visitor;
    value.accept(visitor);
    return visitor.out;
}

std::vector<std::string> keysOf(const BindingValue& value) {
    std::vector<std::string> keys;
    for (const BindingMember& m : value.members()) {
        keys.emplace_back(m.key());
    }
    return keys;
}

BindingValue sampleTree() {
    BindingValue root;
    root.member("name").setString("Ahri");
    root.member("id").setInt32(103);
    BindingValue& skins = root.member("skins");
    skins.element(1).setString("Arcade");
    skins.element(0).member("tag").setString("Ahri");
    root.member("raw").setBlob(BindingBlob{1, 2, 3});
    return root;
}

}  // namespace

namespace {

// Kind, size and every typed read: the payload for the value's kind, the
// neutral default for every other ("\0" shows an embedded zero byte).
std::string reads(const BindingValue& v) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%s/%zu: %d %lld %llu %g", v.kindName(), v.size(),
                  v.asBool() ? 1 : 0, static_cast<long long>(v.asInt64()),
                  static_cast<unsigned long long>(v.asUInt64()), v.asDouble());
    std::string out = std::string(numbers) + " '";
    for (const char c : v.asString()) {
        out += c == '\0' ? std::string("\\0") : std::string(1, c);
    }
    out += "' \"" + std::string(v.asCString()) + "\" [";
    for (const std::uint8_t byte : v.asBlob()) {
        out += std::to_string(byte) + ";";
    }
    const BindingEnumValue e = v.asEnum();
    return out + "] " + std::to_string(e.number) + (e.type != nullptr ? " typed" : "");
}

}  // namespace

TEST(BindingValue, SettersAndTypedReads) {
    const std::pair<std::function<void(BindingValue&)>, const char*> rows[] = {
        {[](BindingValue& v) { v.setBool(true); }, "bool/1: 1 0 0 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setInt32(-5); }, "signed/1: 0 -5 0 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setUInt32(0xFFFFFFFFu); },
         "unsigned/1: 0 0 4294967295 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setInt64(INT64_MIN); },
         "signed/1: 0 -9223372036854775808 0 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setUInt64(UINT64_MAX); },
         "unsigned/1: 0 0 18446744073709551615 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setDouble(2.5); }, "float/1: 0 0 0 2.5 '' \"\" [] 0"},
        {[](BindingValue& v) { v.setString("Jinx"); }, "string/4: 0 0 0 0 'Jinx' \"Jinx\" [] 0"},
        {[](BindingValue& v) { v.setString(std::string("a\0b", 3)); },
         "string/3: 0 0 0 0 'a\\0b' \"a\" [] 0"},
        {[](BindingValue& v) { v.setBlob(BindingBlob(2, 7)); }, "blob/2: 0 0 0 0 '' \"\" [7;7;] 0"},
        {[](BindingValue& v) {
             v.setEnum(BindingEnumValue{-3, &staticTypeInfo<int>()});
         },
         "enum/1: 0 0 0 0 '' \"\" [] -3 typed"},
        {[](BindingValue& v) { v.makeCollection(); }, "collection/0: 0 0 0 0 '' \"\" [] 0"},
        {[](BindingValue& v) { v.makeStructure(); }, "structure/0: 0 0 0 0 '' \"\" [] 0"},
    };
    const BindingValue fresh;
    EXPECT_EQ(reads(fresh), "empty/0: 0 0 0 0 '' \"\" [] 0");
    EXPECT_TRUE(fresh.isRoot());
    EXPECT_EQ(fresh.context(), nullptr);
    EXPECT_STREQ(BindingValue::kindName(static_cast<BindingValueKind>(10)), "");
    for (const auto& [set, expected] : rows) {
        SCOPED_TRACE(expected);
        BindingValue value;
        value.setString("previous payload");
        set(value);
        EXPECT_EQ(reads(value), expected);
        value.reset();
        EXPECT_EQ(value.kind(), BindingValueKind::Empty);
        EXPECT_NE(value.context(), nullptr);  // reset keeps the context
        EXPECT_EQ(BindingValueContextProbe::slotsInUse(*value.context()), 0u);
    }
    // The empty string is shared and needs no context.
    BindingValue empty, null;
    empty.setString("");
    null.setString(static_cast<const char*>(nullptr));
    EXPECT_EQ(reads(empty), "string/0: 0 0 0 0 '' \"\" [] 0");
    EXPECT_EQ(empty.asCString(), null.asCString());
    EXPECT_EQ(empty.context(), nullptr);
}

TEST(BindingValue, ElementAppendsEmptyElementsUpToTheIndex) {
    BindingValue value;
    value.element(3).setInt32(9);
    ASSERT_EQ(value.kind(), BindingValueKind::Collection);
    ASSERT_EQ(value.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(value.elementAt(i).kind(), BindingValueKind::Empty);
        EXPECT_FALSE(value.elementAt(i).isRoot());
    }
    EXPECT_EQ(value.elementAt(3).asInt64(), 9);
    value.element(1).setBool(true);
    value.append().setString("last");
    EXPECT_EQ(value.size(), 5u);
    EXPECT_EQ(&value.elementAt(9), &BindingValue::emptyValue());
    EXPECT_EQ(trace(value), "[5 <0 E 0> <1 T 1> <2 E 2> <3 i9 3> <4 s:last 4> ] ");
}

namespace {

// Keys as the tree orders them: bytes unsigned, a prefix first.
std::vector<std::string> byteOrder(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end(), [](const std::string& x, const std::string& y) {
        return std::lexicographical_compare(
            x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
                return static_cast<unsigned char>(c) < static_cast<unsigned char>(d);
            });
    });
    return keys;
}

}  // namespace

// Readers mostly insert keys in ascending order, which takes a shortcut past
// the largest key; every order must keep the tree balanced (checked after
// each insertion), find every key again and iterate in byte order.
TEST(BindingValue, MemberTreeStaysSoundInEveryInsertionOrder) {
    std::vector<std::string> keys = {"", "Z", "a", "ab", "a\xC3\xA9", "\xFF", "\x01"};
    for (int i = 0; i < 300; ++i) {
        keys.push_back("k" + std::to_string(i * 7919 % 1000));
    }
    const std::vector<std::string> sorted = byteOrder(keys);
    std::vector<std::string> random = keys;
    std::shuffle(random.begin(), random.end(), std::mt19937(42));
    std::vector<std::string> zigzag;  // smallest, largest, second smallest, ...
    for (std::size_t i = 0, j = sorted.size(); i < j; ++i) {
        zigzag.push_back(sorted[i]);
        if (i < --j) {
            zigzag.push_back(sorted[j]);
        }
    }
    const std::pair<const char*, std::vector<std::string>> orders[] = {
        {"ascending", sorted},
        {"descending", {sorted.rbegin(), sorted.rend()}},
        {"random", random},
        {"zigzag", zigzag},
    };
    for (const auto& [name, order] : orders) {
        SCOPED_TRACE(name);
        BindingValue value;
        for (std::size_t i = 0; i < order.size(); ++i) {
            value.member(order[i]).setString(order[i]);
            ASSERT_STREQ(detail::checkMemberTree(value), nullptr) << "after " << order[i];
            // An earlier key asked for in between is found, not added.
            if (i % 50 == 49) {
                ASSERT_EQ(value.member(order[i / 2]).asString(), order[i / 2]);
            }
        }
        EXPECT_EQ(keysOf(value), sorted);
        for (const std::string& key : sorted) {
            ASSERT_EQ(value.find(key).asString(), key);
        }
        // A copy takes the tree's shape; a refilled structure starts over.
        const BindingValue copy = value;
        EXPECT_STREQ(detail::checkMemberTree(copy), nullptr);
        value.reset();
        for (auto key = order.rbegin(); key != order.rend(); ++key) {
            value.member(*key);
        }
        EXPECT_STREQ(detail::checkMemberTree(value), nullptr);
        EXPECT_EQ(value.size(), sorted.size());
    }
}

// The shortcut for keys past the largest remembers structures by their
// storage; structures that go, move, or take the storage of one that went must
// not inherit what was remembered for another.
TEST(BindingValue, AscendingKeysStayInPlaceAcrossResetsMovesAndCopies) {
    const auto fill = [](BindingValue& value, const std::vector<std::string>& keys) {
        for (const std::string& key : keys) {
            value.member(key).setString(key);
        }
    };
    const std::vector<std::string> ab = {"a", "b"};
    const std::vector<std::string> cd = {"c", "d"};
    const std::vector<std::string> abcd = {"a", "b", "c", "d"};

    BindingValue root;
    BindingValue& reused = root.member("reused");
    fill(reused, cd);
    reused.reset();  // its storage is the next structure's
    fill(reused, ab);
    EXPECT_EQ(keysOf(reused), ab);
    reused.setInt32(1);
    fill(reused, ab);
    EXPECT_EQ(keysOf(reused), ab);

    BindingValue& from = root.member("from");
    fill(from, ab);
    BindingValue& to = root.member("to");
    to = std::move(from);  // within one tree: the storage changes hands
    fill(to, cd);
    fill(from, cd);
    EXPECT_EQ(keysOf(to), abcd);
    EXPECT_EQ(keysOf(from), cd);

    BindingValue& copy = root.member("x");
    copy = to;
    fill(copy, {"e"});
    EXPECT_EQ(keysOf(copy), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(keysOf(to), abcd);

    BindingValue other;
    fill(other, cd);
    BindingValue swapped;
    fill(swapped, ab);
    swapped = std::move(other);  // two roots exchange their trees
    fill(swapped, {"e"});
    fill(other, ab);
    EXPECT_EQ(keysOf(swapped), (std::vector<std::string>{"c", "d", "e"}));
    EXPECT_EQ(keysOf(other), ab);

    // More structures grown side by side than are remembered at once.
    BindingValue many;
    for (int key = 0; key < 10; ++key) {
        for (int i = 0; i < 40; ++i) {
            many.element(static_cast<std::size_t>(i)).member(std::to_string(key)).setInt32(i);
        }
    }
    for (const BindingValue& element : many.elements()) {
        ASSERT_EQ(keysOf(element),
                  (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    }
}

TEST(BindingValue, FindNeverInsertsNorAllocates) {
    BindingValue collection;
    collection.element(1);
    BindingValue structure = sampleTree();
    const auto before = diag::readAllocationCounters();
    EXPECT_EQ(&collection.find("x"), &BindingValue::emptyValue());
    EXPECT_EQ(&structure.find("missing"), &BindingValue::emptyValue());
    EXPECT_EQ(structure.find("name").asString(), "Ahri");
    EXPECT_EQ(structure.tryFind("missing"), nullptr);
    EXPECT_EQ(diag::readAllocationCounters().allocations, before.allocations);
    EXPECT_EQ(collection.kind(), BindingValueKind::Collection);
    EXPECT_EQ(collection.size(), 2u);
    EXPECT_EQ(structure.size(), 4u);
}

TEST(BindingValue, VisitorSeesTheOperationsInOrder) {
    EXPECT_EQ(trace(sampleTree()),
              "{4 k:id i103 /id k:name s:Ahri /name k:raw b3 /raw "
              "k:skins [2 <0 {1 k:tag s:Ahri /tag } 0> <1 s:Arcade 1> ] /skins } ");
    BindingValue scalar;
    scalar.setUInt64(7);
    EXPECT_EQ(trace(scalar), "u7 ");
}

TEST(BindingValue, CollectionsStopAtTheStandardLimit) {
    BindingValue value;
    value.element(0).setInt32(1);
    for (const std::function<void()>& grow :
         {std::function<void()>([&] { value.element(BindingValue::kMaxElements); }),
          std::function<void()>([&] { value.reserve(BindingValue::kMaxElements + 1); })}) {
        try {
            grow();
            ADD_FAILURE() << "no length error";
        } catch (const std::length_error& error) {
            EXPECT_STREQ(error.what(), "vector<T> too long");
        }
    }
    EXPECT_EQ(value.size(), 1u);
    EXPECT_EQ(value.elementAt(0).asInt64(), 1);
}

TEST(BindingValue, DeepCopyBetweenTreesSharesNoStrings) {
    const BindingValue source = sampleTree();
    BindingValue target;
    target.setString("old");
    target = source;
    EXPECT_EQ(target, source);
    EXPECT_EQ(trace(target), trace(source));
    EXPECT_NE(target.context(), source.context());
    EXPECT_NE(target.find("name").asCString(), source.find("name").asCString());
    EXPECT_EQ(BindingValueContextProbe::stringCount(*target.context()),
              BindingValueContextProbe::stringCount(*source.context()));
    EXPECT_EQ(BindingValueContextProbe::stringReferences(*target.context(), "Ahri"), 2u);
    EXPECT_EQ(BindingValueContextProbe::stringReferences(*target.context(), "old"), 0u);

    BindingValue member;
    member.member("copy") = source.find("skins");  // into a member of another tree
    EXPECT_EQ(member.find("copy"), source.find("skins"));
    EXPECT_FALSE(member.find("copy").isRoot());

    const BindingValue& self = target;
    target = self;  // self-assignment
    EXPECT_EQ(target, source);
}

TEST(BindingValue, CopyAndMoveWithinOneTree) {
    struct Row {
        const char* name;
        std::function<void(BindingValue&)> act;
        std::string expected;
    };
    const Row rows[] = {
        {"copy a member over its root", [](BindingValue& v) { v = v.find("skins"); },
         "[2 <0 {1 k:tag s:Ahri /tag } 0> <1 s:Arcade 1> ] "},
        {"copy the root into one of its members", [](BindingValue& v) { v.member("id") = v; },
         "{4 k:id {4 k:id i103 /id k:name s:Ahri /name k:raw b3 /raw k:skins [2 <0 {1 k:tag "
         "s:Ahri /tag } 0> <1 s:Arcade 1> ] /skins } /id k:name s:Ahri /name k:raw b3 /raw "
         "k:skins [2 <0 {1 k:tag s:Ahri /tag } 0> <1 s:Arcade 1> ] /skins } "},
        {"move a member over its root",
         [](BindingValue& v) { v = std::move(v.member("skins").element(0)); },
         "{1 k:tag s:Ahri /tag } "},
        {"move a member to a sibling",
         [](BindingValue& v) { v.member("id") = std::move(v.member("name")); },
         "{4 k:id s:Ahri /id k:name E /name k:raw b3 /raw k:skins [2 <0 {1 k:tag s:Ahri /tag } "
         "0> <1 s:Arcade 1> ] /skins } "},
        {"move a structure into its own grandchild",
         [](BindingValue& v) {
             v.member("skins").element(0).member("tag") = std::move(v.member("skins"));
         },
         "{4 k:id i103 /id k:name s:Ahri /name k:raw b3 /raw k:skins E /skins } "},
        {"move the root into its own member",
         [](BindingValue& v) { v.member("id") = std::move(v); }, "E "},
        {"set a string from its own text",
         [](BindingValue& v) { v.setString(v.find("name").asString()); }, "s:Ahri "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BindingValue tree = sampleTree();
        row.act(tree);
        EXPECT_EQ(trace(tree), row.expected);
        const std::size_t slotsBefore = BindingValueContextProbe::slotsInUse(*tree.context());
        tree.reset();
        EXPECT_EQ(BindingValueContextProbe::slotsInUse(*tree.context()), 0u)
            << "was " << slotsBefore;
        EXPECT_EQ(BindingValueContextProbe::stringCount(*tree.context()), 0u);
    }
}

TEST(BindingValue, MoveBetweenRootsSwapsAndEmptiesTheSource) {
    BindingValue source = sampleTree();
    const BindingValueContext* context = source.context();
    const char* name = source.find("name").asCString();

    BindingValue target(std::move(source));
    EXPECT_EQ(source.kind(), BindingValueKind::Empty);
    EXPECT_EQ(target.context(), context);
    EXPECT_EQ(target.find("name").asCString(), name);  // moved, not copied

    BindingValue other;
    other.setString("other");
    other = std::move(target);
    EXPECT_EQ(target.kind(), BindingValueKind::Empty);
    EXPECT_EQ(other.context(), context);
    EXPECT_NE(target.context(), nullptr);  // the target's old context, now empty
    EXPECT_EQ(BindingValueContextProbe::stringCount(*target.context()), 0u);
}

TEST(BindingValue, MovingAMemberIntoARootCopiesIt) {
    BindingValue tree = sampleTree();
    BindingValue root(std::move(tree.member("skins")));
    EXPECT_EQ(tree.find("skins").kind(), BindingValueKind::Empty);
    EXPECT_EQ(tree.size(), 4u);
    EXPECT_EQ(root.size(), 2u);
    EXPECT_TRUE(root.isRoot());
    EXPECT_NE(root.context(), tree.context());
    EXPECT_EQ(BindingValueContextProbe::stringReferences(*tree.context(), "Arcade"), 0u);
    EXPECT_EQ(BindingValueContextProbe::stringReferences(*root.context(), "Arcade"), 1u);

    BindingValue assigned;
    assigned.setInt32(1);
    assigned = std::move(tree.member("name"));
    EXPECT_EQ(assigned.asString(), "Ahri");
    EXPECT_EQ(tree.find("name").kind(), BindingValueKind::Empty);
}

TEST(BindingValue, BlobIsTakenOverAndCopiedOnCopy) {
    BindingBlob bytes{1, 2, 3, 4};
    const std::uint8_t* data = bytes.data();
    BindingValue value;
    value.setBlob(std::move(bytes));
    EXPECT_EQ(value.asBlob().data(), data);
    const BindingValue copy = value;
    EXPECT_NE(copy.asBlob().data(), data);
    EXPECT_EQ(copy, value);
    value.setBlob(value.asBlob().subspan(1, 2));  // from its own bytes
    EXPECT_EQ(std::vector<std::uint8_t>(value.asBlob().begin(), value.asBlob().end()),
              (std::vector<std::uint8_t>{2, 3}));
}
