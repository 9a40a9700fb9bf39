#include "platform/win9x_driver_api.h"

namespace quorvane {

DosAddressSpace& DosAddressSpace::instance() {
    static DosAddressSpace space;
    return space;
}

std::uint32_t DosAddressSpace::lend(void* p, std::size_t size) {
    if (p == nullptr || size > (std::size_t{1} << SLOT_BITS)) return 0;
    for (std::uint32_t i = 1; i < 16; ++i) {
        if (slots_[i].base == nullptr) {
            slots_[i] = {static_cast<std::uint8_t*>(p), size};
            return i << SLOT_BITS;
        }
    }
    return 0;
}

void DosAddressSpace::release(std::uint32_t address) {
    const std::uint32_t i = address >> SLOT_BITS;
    if (i != 0) slots_[i] = {};
}

void* DosAddressSpace::resolve(std::uint32_t address, std::size_t size) const {
    const std::uint32_t i = address >> SLOT_BITS;
    const std::size_t offset = address & ((std::uint32_t{1} << SLOT_BITS) - 1);
    const Slot& slot = slots_[i];
    if (i == 0 || slot.base == nullptr) return nullptr;
    if (offset > slot.size || slot.size - offset < size) return nullptr;
    return slot.base + offset;
}

}  // namespace quorvane
