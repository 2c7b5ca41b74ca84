// Arbitrary bytes as the information elements of a cell, and as a driver's
// whole scan result walked into an AP list: no read outside the data, and
// the list always closed within its buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iwlib.h>
#include <vector>

#include "ap_list.h"
#include "cell_record.h"
#include "elements.h"
#include "event_walk.h"

namespace {

iw_range make_range() {
    iw_range r;
    memset(&r, 0, sizeof r);
    r.we_version_compiled = 22;
    r.num_frequency = 13;
    for (int k = 0; k < 13; ++k) {
        r.freq[k].m = 2412 + 5 * k;
        r.freq[k].e = 6;
        r.freq[k].i = static_cast<uint8_t>(k + 1);
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly sized, so that any read past the elements is caught.
    std::vector<unsigned char> elements(data, data + size);
    unsigned security = 0, cipher = 0;
    parse_elements(elements.data(), elements.size(), &security, &cipher);

    // As the scan keeps it: the data, then zeroed slack.
    std::vector<char> result(size + SCAN_BUFFER_SLACK, 0);
    if (size) memcpy(result.data(), data, size);
    static const iw_range range = make_range();
    CellRecord rec;
    const size_t list_size = 2048;
    std::vector<char> list(list_size + 1, '#');
    ApList out(list.data(), list_size);
    out.begin();
    walk_scan_events(result.data(), size, range, rec, out);
    if (list[list_size] != '#' || strlen(list.data()) != out.length()) abort();
    if (out.length() < 17 || memcmp(list.data() + out.length() - 9, "</APList>", 9) != 0) abort();
    return 0;
}
