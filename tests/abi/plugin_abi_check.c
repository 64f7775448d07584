/* Compiled as strict C, as a host includes the header: no C++ construct may
 * creep into it, and without TAV_BUILDING_MODULE the entry is declared
 * plainly. Under MSVC's layout rules it proves the asserted byte offsets.
 * Nothing here runs. */
#include <tav/plugin_abi.h>

#define TAV_ABI_CHECK_TEXT(tokens) TAV_ABI_CHECK_TEXT_(tokens)
#define TAV_ABI_CHECK_TEXT_(tokens) #tokens

TAV_STATIC_ASSERT(sizeof(TAV_ABI_CHECK_TEXT(TAV_EXPORT)) == 1, "a host's view exports nothing");
TAV_STATIC_ASSERT(TAV_HOST_OBJECT == 10, "host value tags run from 0 to 10");

uint32_t tavAbiCheckCount(const TavHostValue* value);

uint32_t tavAbiCheckCount(const TavHostValue* value) {
    const TavHostEntry* entries = value->payload.object.entries;
    return value->tag == TAV_HOST_OBJECT && entries != NULL && entries->flag == 1
               ? value->payload.object.count
               : 0u;
}

uint32_t tavAbiCheckFieldCount(const TavEndpointTable* table);

uint32_t tavAbiCheckFieldCount(const TavEndpointTable* table) {
    uint32_t count = 0;
    const TavTypeRecord* type;
    for (type = table->types; type != NULL; type = type->next) {
        count += type->fields != NULL ? type->count : 0u;
    }
    return count;
}
