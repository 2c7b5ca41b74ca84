#include "cell_record.h"

#include <cstdio>
#include <cstring>

#include "ap_list.h"
#include "name_escape.h"
#include "security_text.h"

void clear_security(CellRecord& rec) {
    rec.encrypted = false;
    rec.security = 0;
    rec.cipher = 0;
}

void apply_signal(CellRecord& rec, const iw_quality& qual, const iw_range& range) {
    unsigned flags = qual.updated;
    if (qual.level == 0 && !(flags & (IW_QUAL_DBM | IW_QUAL_RCPI))) return;
    if (flags & IW_QUAL_RCPI) return;
    if (!(flags & IW_QUAL_DBM) && !(qual.level > range.max_qual.level)) return;
    if (flags & IW_QUAL_LEVEL_INVALID) return;
    int level = qual.level;
    if (level >= 64) level -= 256;
    rec.level = level;
}

void store_address(CellRecord& rec, const sockaddr& ap) {
    char text[20];
    iw_ether_ntop(reinterpret_cast<const ether_addr*>(ap.sa_data), text);
    size_t w = 0;
    for (size_t i = 0; text[i] && w < sizeof rec.address - 1; ++i)
        if (text[i] != ':') rec.address[w++] = text[i];
    rec.address[w] = '\0';
}

bool write_out(const CellRecord& rec, ApList& list) {
    if (rec.name[0] == '\0') return true;
    char name[ESSID_COPY_MAX * NAME_ESCAPE_MAX_PER_BYTE + 1];
    escape_name(rec.name, strlen(rec.name), name, sizeof name);
    // Name, five short values (an int is at most 11 characters) and the markup.
    char entry[sizeof name + 160];
    int n = snprintf(entry, sizeof entry,
                     "<AP name=\"%s\" mac=\"%s\" channel=\"%d\" rssi=\"%d\" encrypt=\"%s\" "
                     "tkip_aes=\"%s\" ></AP>",
                     name, rec.address, rec.channel, rec.level,
                     security_text(rec.encrypted, rec.security), cipher_text(rec.cipher));
    if (n < 0 || size_t(n) >= sizeof entry) return false;
    return list.append(entry, size_t(n));
}
