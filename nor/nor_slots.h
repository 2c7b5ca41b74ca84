// Layout of the user settings record on the flash: 23 slots of 64 bytes, each
// holding one "key=value" text owned by a fixed key.
#pragma once

#include <cstddef>

constexpr long NOR_RECORD_OFFSET = 114688;  // 0x1C000
constexpr size_t NOR_SLOT_SIZE = 64;
constexpr size_t NOR_SLOT_COUNT = 23;
constexpr size_t NOR_RECORD_SIZE = NOR_SLOT_SIZE * NOR_SLOT_COUNT;  // 1472
constexpr size_t NOR_ENTRY_MAX = NOR_SLOT_SIZE - 1;                 // the last byte stays zero

struct NorSlot {
    const char* key;
    size_t key_len;
};

// The slots in table order, which is also the order keys are matched in.
extern const NorSlot NOR_SLOTS[NOR_SLOT_COUNT];

// Byte offset of slot n on the device.
inline long nor_slot_offset(size_t n) {
    return NOR_RECORD_OFFSET + static_cast<long>(n * NOR_SLOT_SIZE);
}

// First slot whose key the entry begins with (nothing after the key is
// looked at), or -1.
int nor_find_slot_prefix(const char* entry);

// Slot whose key equals name exactly, or -1.
int nor_find_slot_exact(const char* name);
