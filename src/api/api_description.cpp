#include "api/api_description.h"

#include <cassert>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "binding/type_registry.h"

namespace tav {

namespace {

// Stands for every absent text, so the host never meets a null text.
constexpr char kEmptyText[] = "";

const char* text(const std::string& s) {
    return s.empty() ? kEmptyText : s.c_str();
}

std::uint32_t kindNumber(BindingTypeKind kind) {
    const auto number = static_cast<std::uint32_t>(kind);
    return number <= static_cast<std::uint32_t>(BindingTypeKind::Map) ? number : 0;
}

// Only containers and registered types are named; a scalar's kind says it all.
const char* typeName(const BindingTypeRef& type) {
    switch (type.kind) {
        case BindingTypeKind::Vector:
        case BindingTypeKind::Enum:
        case BindingTypeKind::Struct:
        case BindingTypeKind::Map:
            return type.descriptor != nullptr ? text(type.descriptor->name) : kEmptyText;
        default:
            return kEmptyText;
    }
}

std::uint32_t count32(std::size_t n) {
    return static_cast<std::uint32_t>(n);
}

// Links records [first, end of array) into a list through their first word.
template <class Record>
void chain(std::vector<Record>& records, std::size_t first) {
    for (std::size_t i = first; i + 1 < records.size(); ++i) {
        records[i].next = &records[i + 1];
    }
}

void chainEndpoints(std::vector<TavEndpointRecord>& records) {
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        records[i].function.next = &records[i + 1].function;
    }
}

template <class Record>
const Record* firstOrNull(const std::vector<Record>& records, std::size_t first) {
    return first < records.size() ? &records[first] : nullptr;
}

}  // namespace

class ApiDescription::Builder {
public:
    Builder(ApiDescription& d, const BindingTypeRegistry& registry,
            const std::vector<RouteRegistration*>& registrations)
        : d_(d),
          registrations_(registrations),
          functions_(registry.snapshotFunctions()),
          types_(registry.snapshotTypes()),
          events_(registry.snapshotEvents()) {}

    void build(TavEndpointEntry entry) {
        collectUnlisted();
        reserve();
        for (const BindingFunctionDescriptor* f : functions_) {
            d_.functions_.push_back(functionRecord(*f));
        }
        chain(d_.functions_, 0);
        // A registration's function missing from the registry still gets a
        // record to copy, outside the list, so its endpoint is fully described.
        for (const BindingFunctionDescriptor* f : unlisted_) {
            d_.functions_.push_back(functionRecord(*f));
        }
        for (const BindingTypeDescriptor* t : types_) {
            d_.types_.push_back(typeRecord(*t));
        }
        chain(d_.types_, 0);
        for (const BindingEventDescriptor* e : events_) {
            d_.events_.push_back(eventRecord(*e));
        }
        chain(d_.events_, 0);
        for (const RouteRegistration* r : registrations_) {
            if (r != nullptr) {
                d_.endpoints_.push_back(endpointRecord(*r, entry));
            }
        }
        // Unlike the function record it starts with, an endpoint record links
        // to the next endpoint, so the host can walk the endpoints as a list.
        chainEndpoints(d_.endpoints_);

        d_.table_.endpoints = firstOrNull(d_.endpoints_, 0);
        d_.table_.endpointCount = count32(d_.endpoints_.size());
        d_.table_.types = firstOrNull(d_.types_, 0);
        d_.table_.typeCount = count32(d_.types_.size());
        d_.table_.events = firstOrNull(d_.events_, 0);
        d_.table_.eventCount = count32(d_.events_.size());
    }

private:
    void collectUnlisted() {
        for (std::size_t i = 0; i < functions_.size(); ++i) {
            byName_.emplace(functions_[i]->name, i);  // the first of a name wins
        }
        for (const RouteRegistration* r : registrations_) {
            if (r == nullptr || r->function == nullptr ||
                byName_.contains(std::string_view(r->function->name))) {
                continue;
            }
            byName_.emplace(r->function->name, functions_.size() + unlisted_.size());
            unlisted_.push_back(r->function);
        }
    }

    // Exact sizes up front: no array may move once records point into it.
    void reserve() {
        std::size_t arguments = 0;
        std::size_t texts = 0;
        for (const auto* list : {&functions_, &unlisted_}) {
            for (const BindingFunctionDescriptor* f : *list) {
                arguments += f->arguments.size();
                texts += f->tags.size();
            }
        }
        std::size_t fields = 0;
        std::size_t enumerators = 0;
        for (const BindingTypeDescriptor* t : types_) {
            fields += t->fields.size();
            enumerators += t->enumerators.size();
            texts += t->tags.size();
        }
        for (const BindingEventDescriptor* e : events_) {
            texts += e->tags.size();
        }
        std::size_t endpoints = 0;
        std::size_t locations = 0;
        std::size_t textLists = 0;
        for (const RouteRegistration* r : registrations_) {
            if (r == nullptr) {
                continue;
            }
            ++endpoints;
            locations += r->locations.size();
            textLists += r->textLists.size();
            for (const auto& list : r->textLists) {
                texts += list.size();
            }
        }
        d_.functions_.reserve(functions_.size() + unlisted_.size());
        d_.arguments_.reserve(arguments);
        d_.types_.reserve(types_.size());
        d_.fields_.reserve(fields);
        d_.enumerators_.reserve(enumerators);
        d_.events_.reserve(events_.size());
        d_.endpoints_.reserve(endpoints);
        d_.locations_.reserve(locations);
        d_.textLists_.reserve(textLists);
        d_.texts_.reserve(texts);
    }

    // Appends one array of text addresses; null when there are none.
    template <class Texts>
    const char* const* textArray(const Texts& texts) {
        assert(d_.texts_.size() + texts.size() <= d_.texts_.capacity());
        const std::size_t first = d_.texts_.size();
        for (const std::string& t : texts) {
            d_.texts_.push_back(text(t));
        }
        return firstOrNull(d_.texts_, first);
    }

    TavFunctionRecord functionRecord(const BindingFunctionDescriptor& f) {
        const std::size_t first = d_.arguments_.size();
        assert(first + f.arguments.size() <= d_.arguments_.capacity());
        for (const BindingFunctionArgument& a : f.arguments) {
            TavArgumentRecord record{};
            record.name = text(a.name);
            record.description = text(a.description);
            record.kind = kindNumber(a.type.kind);
            record.elementKind = kindNumber(a.type.elementKind);
            record.typeName = typeName(a.type);
            record.optional = a.optional ? 1 : 0;
            d_.arguments_.push_back(record);
        }
        chain(d_.arguments_, first);

        TavFunctionRecord record{};
        record.name = text(f.name);
        record.nameSpace = text(f.nameSpace);
        record.arguments = firstOrNull(d_.arguments_, first);
        record.argumentCount = count32(f.arguments.size());
        record.returnKind = kindNumber(f.returns.kind);
        record.returnElementKind = kindNumber(f.returns.elementKind);
        record.returnTypeName = typeName(f.returns);
        record.description = text(f.description);
        record.help = text(f.help);
        record.threadSafe = f.threadSafe ? 1 : 0;
        record.asyncResult = f.async && f.returns.descriptor != nullptr
                                 ? text(f.returns.descriptor->name)
                                 : kEmptyText;
        record.tags = textArray(f.tags);
        record.tagCount = count32(f.tags.size());
        return record;
    }

    TavTypeRecord typeRecord(const BindingTypeDescriptor& t) {
        TavTypeRecord record{};
        record.name = text(t.name);
        record.nameSpace = text(t.nameSpace);
        record.nativeSize = t.nativeSize;
        record.description = text(t.description);
        record.tags = textArray(t.tags);
        record.tagCount = count32(t.tags.size());
        if (!t.fields.empty()) {
            const std::size_t first = d_.fields_.size();
            for (const BindingField& f : t.fields) {
                TavFieldRecord field{};
                field.name = text(f.name);
                field.description = text(f.description);
                field.offset = f.offset;
                field.kind = kindNumber(f.type.kind);
                field.elementKind = kindNumber(f.type.elementKind);
                field.typeName = typeName(f.type);
                field.optional = f.optional ? 1 : 0;
                d_.fields_.push_back(field);
            }
            chain(d_.fields_, first);
            record.fields = &d_.fields_[first];
            record.count = count32(t.fields.size());
        } else {
            const std::size_t first = d_.enumerators_.size();
            for (const auto& [name, e] : t.enumerators) {  // in name order
                TavEnumeratorRecord enumerator{};
                enumerator.name = text(e.name);
                enumerator.description = text(e.description);
                enumerator.number = static_cast<std::int32_t>(e.number);
                d_.enumerators_.push_back(enumerator);
            }
            chain(d_.enumerators_, first);
            record.enumerators = firstOrNull(d_.enumerators_, first);
            record.count = count32(t.enumerators.size());
        }
        return record;
    }

    TavEventRecord eventRecord(const BindingEventDescriptor& e) {
        TavEventRecord record{};
        record.name = text(e.name);
        record.nameSpace = text(e.nameSpace);
        record.payloadTypeName = e.payload != nullptr ? text(e.payload->name) : kEmptyText;
        record.description = text(e.description);
        record.tags = textArray(e.tags);
        record.tagCount = count32(e.tags.size());
        return record;
    }

    TavEndpointRecord endpointRecord(const RouteRegistration& r, TavEndpointEntry entry) {
        TavEndpointRecord record{};
        if (r.function != nullptr) {
            record.function = d_.functions_[byName_.at(r.function->name)];
        } else {
            // No function to describe: still no null text for the host.
            TavFunctionRecord& f = record.function;
            f.name = f.nameSpace = f.returnTypeName = f.description = f.help = f.asyncResult =
                kEmptyText;
        }
        record.function.next = nullptr;
        record.function.endpoint = &r.binding;
        record.entry = entry;

        const std::size_t firstLocation = d_.locations_.size();
        for (ArgumentLocation location : r.locations) {
            const auto code = static_cast<std::uint32_t>(location);
            d_.locations_.push_back({nullptr, code <= 5 ? code : 0});
        }
        chain(d_.locations_, firstLocation);
        record.locations = firstOrNull(d_.locations_, firstLocation);

        record.path = text(r.path);
        record.method = r.method >= 1 && r.method <= 8 ? r.method : 0;
        record.flag = r.flag;

        const std::size_t firstList = d_.textLists_.size();
        for (const auto& list : r.textLists) {
            d_.textLists_.push_back({nullptr, textArray(list), count32(list.size())});
        }
        chain(d_.textLists_, firstList);
        record.textLists = firstOrNull(d_.textLists_, firstList);
        record.textListCount = count32(r.textLists.size());
        record.customMethod = text(r.customMethod);
        return record;
    }

    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };

    ApiDescription& d_;
    const std::vector<RouteRegistration*>& registrations_;
    std::vector<const BindingFunctionDescriptor*> functions_;
    std::vector<const BindingFunctionDescriptor*> unlisted_;
    std::vector<const BindingTypeDescriptor*> types_;
    std::vector<const BindingEventDescriptor*> events_;
    // Function name to its record's index in the description's array.
    std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> byName_;
};

std::unique_ptr<ApiDescription> ApiDescription::build(
    const BindingTypeRegistry& registry, const std::vector<RouteRegistration*>& registrations,
    TavEndpointEntry entry) {
    std::unique_ptr<ApiDescription> description(new ApiDescription());
    Builder(*description, registry, registrations).build(entry);
    return description;
}

}  // namespace tav
