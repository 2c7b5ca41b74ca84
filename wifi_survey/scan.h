// The Wi-Fi site survey: scan an interface through the wireless extensions
// and write what it hears as the AP list text.
#pragma once

#include <cstddef>

// The caller's AP list buffer.
constexpr size_t AP_LIST_SIZE = 10240;

// Waits usec microseconds; 0, or -1 with errno set. The box waits with
// select on no descriptors; tests pass a recorder instead.
using ScanWaitFn = int (*)(long usec);
int select_wait(long usec);

// Scans interface and writes the AP list into list (list_size bytes, cleared
// by the caller). Prints "cgi_scan error" when no socket can be opened and
// returns -1; otherwise returns 0 whatever the scan's result.
int cgi_scan(const char* interface, char* list, size_t list_size = AP_LIST_SIZE,
             ScanWaitFn wait = select_wait);

// The scan on an open wireless-extensions socket: 0 when results were read
// and listed, -1 when the interface cannot scan or a resource failed, -2
// when no results came within the time budget or the read failed. Every
// failure prints its marker line and leaves the list unwritten.
int cgi_get_scan(int sock, const char* interface, char* list, size_t list_size = AP_LIST_SIZE,
                 ScanWaitFn wait = select_wait);
