#include "elements.h"

#include "security_text.h"

namespace {

constexpr unsigned char ID_RSN = 48;
constexpr unsigned char ID_VENDOR = 221;
constexpr unsigned char OUI_RSN[3] = {0x00, 0x0F, 0xAC};
constexpr unsigned char OUI_WPA[3] = {0x00, 0x50, 0xF2};

bool same_oui(const unsigned char* p, const unsigned char* oui) {
    return p[0] == oui[0] && p[1] == oui[1] && p[2] == oui[2];
}

unsigned cipher_bit(unsigned char type) {
    switch (type) {
    case 2:
        return CIPHER_TKIP;
    case 4:
        return CIPHER_CCMP;
    case 1:
        return CIPHER_WEP40;
    case 5:
        return CIPHER_WEP104;
    case 3:
        return CIPHER_TYPE3;
    default:
        return 0;
    }
}

unsigned read_le16(const unsigned char* p) { return p[0] | (unsigned(p[1]) << 8); }

// One RSN or WPA element of usable length e (never past the data).
void parse_suites(const unsigned char* el, size_t e, size_t base, const unsigned char* oui,
                  unsigned* security, unsigned* cipher) {
    if (e < base + 8) {
        // No pairwise list: the element's default is TKIP.
        *cipher |= CIPHER_TKIP;
        return;
    }
    size_t n = read_le16(el + base + 6);
    if (e < base + 8 + 4 * n) return;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* s = el + base + 8 + 4 * i;
        if (same_oui(s, oui)) *cipher |= cipher_bit(s[3]);
    }
    size_t a = base + 8 + 4 * n;
    if (e < a + 2) return;
    size_t m = read_le16(el + a);
    if (e < a + 2 + 4 * m) return;
    for (size_t i = 0; i < m; ++i) {
        const unsigned char* s = el + a + 2 + 4 * i;
        if (same_oui(s, oui) && s[3] == 1) *security |= SEC_8021X;
    }
}

}  // namespace

void parse_elements(const unsigned char* data, size_t len, unsigned* security, unsigned* cipher) {
    size_t off = 0;
    while (len >= 2 && off <= len - 2) {
        const unsigned char* el = data + off;
        size_t e = size_t(el[1]) + 2;
        // An element near the end may claim more than is left: use only what is there.
        if (e > len - off) e = len - off;
        if (el[0] == ID_RSN) {
            if (e >= 4) {
                *security |= SEC_RSN;
                parse_suites(el, e, 2, OUI_RSN, security, cipher);
            }
        } else if (el[0] == ID_VENDOR) {
            if (e >= 8 && same_oui(el + 2, OUI_WPA) && el[5] == 1) {
                *security |= SEC_WPA;
                parse_suites(el, e, 6, OUI_WPA, security, cipher);
            }
        }
        off += size_t(el[1]) + 2;
    }
}
