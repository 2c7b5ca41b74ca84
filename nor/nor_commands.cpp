#include "nor_commands.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "nor_slots.h"

namespace {

int fail(FILE* err, const char* what) {
    // errno is 0 when a read simply ran into the end of the device.
    fprintf(err, "nor: %s: %s\n", what, errno ? strerror(errno) : "device too short");
    return 1;
}

// A regular file standing in for the flash must already cover the record:
// writing past its end would grow it instead of failing as the device does.
bool covers_record(FILE* dev) {
    struct stat st;
    if (fstat(fileno(dev), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    return st.st_size >= NOR_RECORD_OFFSET + static_cast<off_t>(NOR_RECORD_SIZE);
}

int write_at(FILE* dev, long offset, const void* data, size_t len, FILE* err) {
    errno = 0;
    if (!covers_record(dev)) return fail(err, "write failed");
    if (fseek(dev, offset, SEEK_SET) != 0) return fail(err, "seek failed");
    if (fwrite(data, 1, len, dev) != len) return fail(err, "write failed");
    // The stream is buffered: only a flush tells whether the bytes arrived.
    if (fflush(dev) != 0) return fail(err, "write failed");
    return 0;
}

int read_slot(FILE* dev, size_t n, char (&slot)[NOR_SLOT_SIZE], FILE* err) {
    memset(slot, 0, sizeof slot);
    errno = 0;
    if (fseek(dev, nor_slot_offset(n), SEEK_SET) != 0) return fail(err, "seek failed");
    if (fread(slot, 1, sizeof slot, dev) != sizeof slot) return fail(err, "read failed");
    return 0;
}

}  // namespace

int nor_set(FILE* dev, const char* entry, FILE* err) {
    if (!entry) return 0;
    // A cut entry would be a silently corrupted setting (a password, say).
    if (strlen(entry) > NOR_ENTRY_MAX) {
        fprintf(err, "nor: entry longer than %zu characters, not stored\n", NOR_ENTRY_MAX);
        return 1;
    }
    int n = nor_find_slot_prefix(entry);
    if (n < 0) return 0;
    char slot[NOR_SLOT_SIZE] = {};
    memcpy(slot, entry, strlen(entry));
    return write_at(dev, nor_slot_offset(static_cast<size_t>(n)), slot, sizeof slot, err);
}

int nor_get(FILE* dev, const char* key, FILE* out, FILE* err) {
    if (!key) return 0;
    int n = nor_find_slot_exact(key);
    if (n < 0) return 0;
    char slot[NOR_SLOT_SIZE];
    if (read_slot(dev, static_cast<size_t>(n), slot, err) != 0) return 1;
    size_t key_len = NOR_SLOTS[n].key_len;
    if (memcmp(slot, key, key_len) != 0) return 0;
    // The value starts after the key and the one character that follows it.
    const char* value = slot + key_len + 1;
    fwrite(value, 1, strnlen(value, NOR_SLOT_SIZE - key_len - 1), out);
    fputc('\n', out);
    return 0;
}

int nor_reset(FILE* dev, FILE* err) {
    static const char zeros[NOR_RECORD_SIZE] = {};
    return write_at(dev, NOR_RECORD_OFFSET, zeros, sizeof zeros, err);
}

int nor_show(FILE* dev, FILE* out, FILE* err) {
    for (size_t n = 0; n < NOR_SLOT_COUNT; ++n) {
        char slot[NOR_SLOT_SIZE];
        if (read_slot(dev, n, slot, err) != 0) return 1;
        if (slot[0] == '\0') continue;
        fwrite(slot, 1, strnlen(slot, sizeof slot), out);
        fputc('\n', out);
    }
    return 0;
}
