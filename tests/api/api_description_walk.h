// Reading the API description as the host does, through the C records only:
// an array walked as a list must give exactly its count of records, each the
// next element of one contiguous array.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tav/plugin_abi.h"

namespace tav::testing {

template <class Record>
const Record* nextOf(const Record* record) {
    return record->next;
}

// An endpoint record links through the function record it starts with.
inline const TavEndpointRecord* nextOf(const TavEndpointRecord* record) {
    return reinterpret_cast<const TavEndpointRecord*>(record->function.next);
}

template <class Record>
std::vector<const Record*> walk(const Record* first, std::uint32_t count) {
    std::vector<const Record*> records;
    for (const Record* r = first; r != nullptr && records.size() <= count; r = nextOf(r)) {
        EXPECT_EQ(r, first + records.size()) << "records lie in one array";
        records.push_back(r);
    }
    EXPECT_EQ(records.size(), count) << "the list and the count agree";
    return records;
}

inline std::vector<std::string> texts(const char* const* array, std::uint32_t count) {
    std::vector<std::string> result;
    if (count != 0) {
        EXPECT_NE(array, nullptr);
    }
    for (std::uint32_t i = 0; array != nullptr && i < count; ++i) {
        EXPECT_NE(array[i], nullptr);
        result.emplace_back(array[i] != nullptr ? array[i] : "");
    }
    return result;
}

inline const TavTypeRecord* findType(const TavEndpointTable* table, std::string_view name) {
    for (const TavTypeRecord* t : walk(table->types, table->typeCount)) {
        if (t->name != nullptr && t->name == name) {
            return t;
        }
    }
    return nullptr;
}

}  // namespace tav::testing
