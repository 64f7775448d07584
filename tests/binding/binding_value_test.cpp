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

TEST(BindingValue, DefaultIsAnEmptyRoot) {
    const BindingValue value;
    EXPECT_EQ(value.kind(), BindingValueKind::Empty);
    EXPECT_EQ(value.size(), 0u);
    EXPECT_STREQ(value.kindName(), "empty");
    EXPECT_TRUE(value.isRoot());
    EXPECT_EQ(value.context(), nullptr);
}

TEST(BindingValue, KindNames) {
    const char* expected[] = {"empty",  "bool", "signed", "unsigned",   "float",
                              "string", "blob", "enum",   "collection", "structure"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_STREQ(BindingValue::kindName(static_cast<BindingValueKind>(i)), expected[i]);
    }
    EXPECT_STREQ(BindingValue::kindName(static_cast<BindingValueKind>(10)), "");
    EXPECT_STREQ(BindingValue::kindName(static_cast<BindingValueKind>(255)), "");
}

TEST(BindingValue, SettersAndTypedReads) {
    struct Row {
        const char* name;
        std::function<void(BindingValue&)> set;
        BindingValueKind kind;
        std::size_t size;
        std::function<bool(const BindingValue&)> read;
    };
    const Row rows[] = {
        {"bool", [](BindingValue& v) { v.setBool(true); }, BindingValueKind::Bool, 1,
         [](const BindingValue& v) { return v.asBool(); }},
        {"int32 sign-extends", [](BindingValue& v) { v.setInt32(-5); }, BindingValueKind::Signed, 1,
         [](const BindingValue& v) { return v.asInt64() == -5; }},
        {"uint32 zero-extends", [](BindingValue& v) { v.setUInt32(0xFFFFFFFFu); },
         BindingValueKind::Unsigned, 1,
         [](const BindingValue& v) { return v.asUInt64() == 0xFFFFFFFFull; }},
        {"int64", [](BindingValue& v) { v.setInt64(INT64_MIN); }, BindingValueKind::Signed, 1,
         [](const BindingValue& v) { return v.asInt64() == INT64_MIN; }},
        {"uint64", [](BindingValue& v) { v.setUInt64(UINT64_MAX); }, BindingValueKind::Unsigned, 1,
         [](const BindingValue& v) { return v.asUInt64() == UINT64_MAX; }},
        {"double", [](BindingValue& v) { v.setDouble(2.5); }, BindingValueKind::Float, 1,
         [](const BindingValue& v) { return v.asDouble() == 2.5; }},
        {"string", [](BindingValue& v) { v.setString("Jinx"); }, BindingValueKind::String, 4,
         [](const BindingValue& v) { return v.asString() == "Jinx"; }},
        {"string with a zero byte", [](BindingValue& v) { v.setString(std::string("a\0b", 3)); },
         BindingValueKind::String, 3,
         [](const BindingValue& v) { return v.asString() == std::string_view("a\0b", 3); }},
        {"blob",
         [](BindingValue& v) {
             v.setBlob(BindingBlob{7, 8});
         },
         BindingValueKind::Blob, 2,
         [](const BindingValue& v) { return v.asBlob().size() == 2 && v.asBlob()[1] == 8; }},
        {"enum",
         [](BindingValue& v) {
             v.setEnum({-3, nullptr});
         },
         BindingValueKind::Enum, 1, [](const BindingValue& v) { return v.asEnum().number == -3; }},
        {"collection", [](BindingValue& v) { v.makeCollection(); }, BindingValueKind::Collection, 0,
         [](const BindingValue& v) { return v.elements().empty(); }},
        {"structure", [](BindingValue& v) { v.makeStructure(); }, BindingValueKind::Structure, 0,
         [](const BindingValue& v) { return v.members().empty(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BindingValue value;
        value.setString("previous payload");
        row.set(value);
        EXPECT_EQ(value.kind(), row.kind);
        EXPECT_EQ(value.size(), row.size);
        EXPECT_TRUE(row.read(value));
        // Every read of another kind gives its neutral default.
        if (row.kind != BindingValueKind::Bool) {
            EXPECT_FALSE(value.asBool());
        }
        if (row.kind != BindingValueKind::Signed) {
            EXPECT_EQ(value.asInt64(), 0);
        }
        if (row.kind != BindingValueKind::Unsigned) {
            EXPECT_EQ(value.asUInt64(), 0u);
        }
        if (row.kind != BindingValueKind::Float) {
            EXPECT_EQ(value.asDouble(), 0.0);
        }
        if (row.kind != BindingValueKind::String) {
            EXPECT_STREQ(value.asCString(), "");
        }
        if (row.kind != BindingValueKind::Blob) {
            EXPECT_TRUE(value.asBlob().empty());
        }
        if (row.kind != BindingValueKind::Enum) {
            EXPECT_EQ(value.asEnum(), BindingEnumValue{});
        }
        value.reset();
        EXPECT_EQ(value.kind(), BindingValueKind::Empty);
        EXPECT_NE(value.context(), nullptr);  // reset keeps the context
        EXPECT_EQ(value.context()->slotsInUse(), 0u);
    }
}

TEST(BindingValue, EmptyStringIsSharedAndNeedsNoContext) {
    BindingValue a, b;
    a.setString("");
    b.setString(static_cast<const char*>(nullptr));
    EXPECT_EQ(a.kind(), BindingValueKind::String);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(a.asCString(), b.asCString());
    EXPECT_EQ(a.context(), nullptr);
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

TEST(BindingValue, MembersIterateInByteOrderOfTheirKeys) {
    BindingValue value;
    value.member("b");
    value.member("a");
    EXPECT_EQ(keysOf(value), (std::vector<std::string>{"a", "b"}));

    // Many keys in random order, including bytes above 0x7F and a prefix pair.
    std::vector<std::string> keys = {"", "Z", "a", "ab", "a\xC3\xA9", "\xFF", "\x01"};
    for (int i = 0; i < 500; ++i) {
        keys.push_back("k" + std::to_string(i * 7919 % 1000));
    }
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    BindingValue big;
    for (const std::string& key : keys) {
        big.member(key).setString(key);
    }
    std::sort(keys.begin(), keys.end(), [](const std::string& x, const std::string& y) {
        return std::lexicographical_compare(
            x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
                return static_cast<unsigned char>(c) < static_cast<unsigned char>(d);
            });
    });
    EXPECT_EQ(keysOf(big), keys);
    EXPECT_EQ(big.size(), keys.size());
    for (const std::string& key : keys) {
        ASSERT_EQ(big.find(key).asString(), key);
    }
}

// Readers mostly insert keys in ascending order, which takes a shortcut past
// the largest key; every other order must still find and place keys right.
TEST(BindingValue, MembersKeepKeyOrderWhateverTheInsertionOrder) {
    const std::vector<std::string> sorted = {"", "\x01", "Z", "a", "ab", "abc", "b", "\xFF"};
    // Positions in sorted, in the order of insertion.
    for (const std::string order : {"01234567", "76543210", "07162534", "34501267", "01276543"}) {
        SCOPED_TRACE(order);
        BindingValue value;
        std::vector<const BindingValue*> slots(sorted.size());
        const auto keyAt = [&](std::size_t i) { return static_cast<std::size_t>(order[i] - '0'); };
        for (std::size_t i = 0; i < order.size(); ++i) {
            BindingValue& member = value.member(sorted[keyAt(i)]);
            member.setString(sorted[keyAt(i)]);
            slots[keyAt(i)] = &member;
        }
        EXPECT_EQ(keysOf(value), sorted);
        // Asked for again, forwards and backwards, every key finds its member.
        for (std::size_t i = 0; i < order.size(); ++i) {
            const std::size_t j = order.size() - 1 - i;
            ASSERT_EQ(&value.member(sorted[keyAt(i)]), slots[keyAt(i)]) << i;
            ASSERT_EQ(&value.member(sorted[keyAt(j)]), slots[keyAt(j)]) << j;
        }
        EXPECT_EQ(value.size(), sorted.size());
    }

    // A long ascending run rebalances again and again along the path of the
    // shortcut; earlier keys asked for in between are found, not added again.
    const auto keyOf = [](int i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%05d", i);
        return std::string(key);
    };
    BindingValue big;
    for (int i = 0; i < 2000; ++i) {
        big.member(keyOf(i)).setInt32(i);
        if (i % 100 == 99) {
            ASSERT_EQ(big.member(keyOf(i / 2)).asInt64(), i / 2);
        }
    }
    ASSERT_EQ(big.size(), 2000u);
    int expected = 0;
    for (const BindingMember& m : big.members()) {
        ASSERT_EQ(m.key(), keyOf(expected));
        ASSERT_EQ(m.value().asInt64(), expected);
        ++expected;
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

TEST(BindingValue, MemberWithTheSameKeyIsTheSameMember) {
    BindingValue value;
    BindingValue* first = &value.member("id");
    first->setInt32(1);
    value.member(std::string("id")).setInt32(2);
    EXPECT_EQ(&value.member("id"), first);
    EXPECT_EQ(value.size(), 1u);
    EXPECT_EQ(value.find("id").asInt64(), 2);
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
    EXPECT_EQ(target.context()->stringCount(), source.context()->stringCount());
    EXPECT_EQ(target.context()->stringReferences("Ahri"), 2u);
    EXPECT_EQ(target.context()->stringReferences("old"), 0u);

    BindingValue member;
    member.member("copy") = source.find("skins");  // into a member of another tree
    EXPECT_EQ(member.find("copy"), source.find("skins"));
    EXPECT_FALSE(member.find("copy").isRoot());

    target = target;  // self-assignment
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
        {"move a structure into its own member",
         [](BindingValue& v) { v.member("skins").element(0) = std::move(v.member("skins")); },
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
        const std::size_t slotsBefore = tree.context()->slotsInUse();
        tree.reset();
        EXPECT_EQ(tree.context()->slotsInUse(), 0u) << "was " << slotsBefore;
        EXPECT_EQ(tree.context()->stringCount(), 0u);
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
    EXPECT_EQ(target.context()->stringCount(), 0u);
}

TEST(BindingValue, MovingAMemberIntoARootCopiesIt) {
    BindingValue tree = sampleTree();
    BindingValue root(std::move(tree.member("skins")));
    EXPECT_EQ(tree.find("skins").kind(), BindingValueKind::Empty);
    EXPECT_EQ(tree.size(), 4u);
    EXPECT_EQ(root.size(), 2u);
    EXPECT_TRUE(root.isRoot());
    EXPECT_NE(root.context(), tree.context());
    EXPECT_EQ(tree.context()->stringReferences("Arcade"), 0u);
    EXPECT_EQ(root.context()->stringReferences("Arcade"), 1u);

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
