#include "scan.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iwlib.h>
#include <sys/select.h>

#include "ap_list.h"
#include "cell_record.h"
#include "event_walk.h"
#include "handles.h"

namespace {

constexpr int WE_VERSION_SCAN = 14;       // first version that can scan
constexpr int WE_VERSION_SIZE_HINT = 17;  // first that grows the buffer on E2BIG
constexpr long FIRST_WAIT_US = 250000;
constexpr long STEP_WAIT_US = 100000;
constexpr long BUDGET_US = 15000000;
constexpr int BUFFER_START = 4096;
constexpr int BUFFER_MAX = 65535;  // the driver's length field is 16 bits

constexpr char FAIL_RANGE[] = "cgi_get_scan 1111111111111111111 \n";
constexpr char FAIL_TRIGGER[] = "cgi_get_scan 222222222222222222222222 \n";
constexpr char FAIL_WAIT[] = "cgi_get_scan 333333333333333333333333 \n";
constexpr char FAIL_ALLOC[] = "cgi_get_scan 44444444444444444444444444 \n";
constexpr char FAIL_READ[] = "cgi_get_scan 55555555555555555555555555555 \n";

using Buffer = MallocPtr<char>;

// Name, address, channel and level carry over from scan to scan.
CellRecord g_cell;

int fail(const char* line, int result) {
    fputs(line, stdout);
    return result;
}

// Grows buf to size bytes for the driver, plus zeroed slack for libiw.
bool resize(Buffer& buf, int size) {
    char* p = static_cast<char*>(realloc(buf.get(), size_t(size) + SCAN_BUFFER_SLACK));
    if (!p) return false;
    buf.release();
    buf.reset(p);
    memset(p, 0, size_t(size) + SCAN_BUFFER_SLACK);
    return true;
}

}  // namespace

int select_wait(long usec) {
    timeval tv = {usec / 1000000, usec % 1000000};
    return select(0, nullptr, nullptr, nullptr, &tv) < 0 ? -1 : 0;
}

int cgi_get_scan(int sock, const char* interface, char* list, size_t list_size, ScanWaitFn wait) {
    iw_range range;
    memset(&range, 0, sizeof range);
    if (iw_get_range_info(sock, interface, &range) < 0 ||
        range.we_version_compiled < WE_VERSION_SCAN)
        return fail(FAIL_RANGE, -1);

    iwreq wrq;
    memset(&wrq, 0, sizeof wrq);
    long timeout = FIRST_WAIT_US;
    if (iw_set_ext(sock, interface, SIOCSIWSCAN, &wrq) < 0) {
        if (errno != EPERM) return fail(FAIL_TRIGGER, -1);
        // Not allowed to start one: read what the driver already holds.
        timeout = 0;
    }
    long budget = BUDGET_US - timeout;
    int size = BUFFER_START;
    Buffer buf;

    bool need_wait = true;
    for (;;) {
        while (need_wait && wait(timeout) < 0) {
            if (errno != EAGAIN && errno != EINTR) return fail(FAIL_WAIT, -1);
        }
        if (!resize(buf, size)) return fail(FAIL_ALLOC, -1);
        memset(&wrq, 0, sizeof wrq);
        wrq.u.data.pointer = buf.get();
        wrq.u.data.length = static_cast<__u16>(size);
        wrq.u.data.flags = 0;
        if (iw_get_ext(sock, interface, SIOCGIWSCAN, &wrq) == 0) break;
        if (errno == E2BIG) {
            if (range.we_version_compiled < WE_VERSION_SIZE_HINT || size >= BUFFER_MAX)
                return fail(FAIL_READ, -2);
            int hinted = wrq.u.data.length;
            size = hinted > size ? hinted : size * 2;
            if (size > BUFFER_MAX) size = BUFFER_MAX;
            need_wait = false;
        } else if (errno == EAGAIN) {
            budget -= STEP_WAIT_US;
            if (budget <= 0) return fail(FAIL_READ, -2);
            timeout = STEP_WAIT_US;
            need_wait = true;
        } else {
            return fail(FAIL_READ, -2);
        }
    }

    ApList out(list, list_size);
    out.begin();
    size_t len = wrq.u.data.length;
    if (len == 0) {
        out.close();
        return 0;
    }
    // A driver never returns more than it was given room for; do not trust it.
    if (len > size_t(size)) len = size_t(size);
    walk_scan_events(buf.get(), len, range, g_cell, out);
    return 0;
}

int cgi_scan(const char* interface, char* list, size_t list_size, ScanWaitFn wait) {
    UniqueFd sock(iw_sockets_open());
    if (!sock) {
        printf("cgi_scan error\n");
        return -1;
    }
    cgi_get_scan(sock.get(), interface, list, list_size, wait);
    return 0;
}
