#include "hostkit/LWItem.h"

#include <cstdint>

#include "hostkit/Services.h"

namespace hostkit {

namespace {
const LWBlockIdent kItemLevel[] = {{blockId("ITEM"), "Item"}, {0, nullptr}};
const LWBlockIdent kItemFields[] = {
    {blockId("ITID"), "ItemID"}, {blockId("ITTY"), "ItemType"}, {0, nullptr}};
} // namespace

std::string LWItem::name() const { return ItemInfo().name(id_); }

ErrorText LWItem::load(LoadState &state)
{
    while (unsigned int id = state.findBlock(kItemLevel)) {
        if (id == blockId("ITEM")) {
            while (unsigned int field = state.findBlock(kItemFields)) {
                if (field == blockId("ITID")) {
                    if (const auto v = state.readU4())
                        id_ = reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(*v));
                } else if (field == blockId("ITTY")) {
                    if (const auto v = state.readI4())
                        type_ = *v;
                }
                state.endBlock();
            }
        }
        state.endBlock();
    }
    return {};
}

ErrorText LWItem::save(SaveState &state)
{
    state.beginBlock(kItemLevel[0], false);
    state.writeBlock(kItemFields[0],
                     static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(id_)));
    state.writeBlock(kItemFields[1], static_cast<std::int32_t>(type_));
    state.endBlock();
    return {};
}

} // namespace hostkit
