// Security and cipher bits of one cell, and the texts the AP list shows.
#pragma once

// Security bits: which elements a cell carried and whether 802.1X is offered.
constexpr unsigned SEC_RSN = 1;
constexpr unsigned SEC_WPA = 2;
constexpr unsigned SEC_8021X = 4;

// Cipher bits, one per pairwise suite type listed.
constexpr unsigned CIPHER_TKIP = 1;
constexpr unsigned CIPHER_CCMP = 2;
constexpr unsigned CIPHER_WEP40 = 4;
constexpr unsigned CIPHER_WEP104 = 8;
constexpr unsigned CIPHER_TYPE3 = 16;

// "NONE", "WEP", "WPA-PSK", "WPA2-PSK", "WPA/WPA2-PSK" or one of the -1X kinds.
const char* security_text(bool encrypted, unsigned security_bits);
// "tkip/aes", "aes", "tkip" or "".
const char* cipher_text(unsigned cipher_bits);
