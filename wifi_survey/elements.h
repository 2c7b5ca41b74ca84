// The information elements of a scanned cell: which of RSN and WPA it
// offers, with which pairwise ciphers and whether with 802.1X.
#pragma once

#include <cstddef>

// Walks the elements in data[0, len) and ORs what they offer into *security
// and *cipher (bits of security_text.h). Reads nothing outside data.
void parse_elements(const unsigned char* data, size_t len, unsigned* security, unsigned* cipher);
