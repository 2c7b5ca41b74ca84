#include "nor_slots.h"

#include <cstring>

#define NOR_SLOT(k) \
    { k, sizeof(k) - 1 }

const NorSlot NOR_SLOTS[NOR_SLOT_COUNT] = {
    NOR_SLOT("ssid_name"),        NOR_SLOT("encryption"),   NOR_SLOT("ssid_password"),
    NOR_SLOT("network_mode"),     NOR_SLOT("wan_mode"),     NOR_SLOT("stc_ip"),
    NOR_SLOT("stc_mask"),         NOR_SLOT("stc_gw"),       NOR_SLOT("stc_dns1"),
    NOR_SLOT("stc_dns2"),         NOR_SLOT("smb_password"), NOR_SLOT("smb_enable"),
    NOR_SLOT("smb_anonymous_en"), NOR_SLOT("ftp_password"), NOR_SLOT("ftp_enable"),
    NOR_SLOT("ftp_anonymous_en"), NOR_SLOT("dms_enable"),   NOR_SLOT("dms_name"),
    NOR_SLOT("airplay_name"),     NOR_SLOT("wwanssid"),     NOR_SLOT("wwanpwd"),
    NOR_SLOT("wwanencry"),        NOR_SLOT("wwanchan"),
};

#undef NOR_SLOT

int nor_find_slot_prefix(const char* entry) {
    for (size_t i = 0; i < NOR_SLOT_COUNT; ++i) {
        if (strncmp(entry, NOR_SLOTS[i].key, NOR_SLOTS[i].key_len) == 0) return static_cast<int>(i);
    }
    return -1;
}

int nor_find_slot_exact(const char* name) {
    for (size_t i = 0; i < NOR_SLOT_COUNT; ++i) {
        if (strcmp(name, NOR_SLOTS[i].key) == 0) return static_cast<int>(i);
    }
    return -1;
}
