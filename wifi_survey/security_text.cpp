#include "security_text.h"

const char* security_text(bool encrypted, unsigned bits) {
    if (!encrypted) return "NONE";
    bool rsn = bits & SEC_RSN;
    bool wpa = bits & SEC_WPA;
    if (bits & SEC_8021X) {
        if (rsn && wpa) return "WPA/WPA2-1X";
        if (wpa) return "WPA-1X";
        if (rsn) return "WPA2-1X";
        // 802.1X is only ever set together with one of the elements.
        return "WEP";
    }
    if (rsn && wpa) return "WPA/WPA2-PSK";
    if (wpa) return "WPA-PSK";
    if (rsn) return "WPA2-PSK";
    return "WEP";
}

const char* cipher_text(unsigned bits) {
    if ((bits & CIPHER_TKIP) && (bits & CIPHER_CCMP)) return "tkip/aes";
    if (bits & CIPHER_CCMP) return "aes";
    if (bits) return "tkip";
    return "";
}
