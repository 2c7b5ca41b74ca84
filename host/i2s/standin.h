// The I2S device stand-in: what a process sees when it opens "/dev/i2s" on
// a PC. Each opening becomes a WAV file, every open, request and close a
// journal line; writes are paced like the real device plays them.
//
// Settings, read from the environment at each open:
//   BOX_I2S_DIR          journal and WAV files (default /box/out/i2s inside
//                        the box sandbox, else /tmp/i2s)
//   BOX_I2S_SPEED        pacing factor: 1 real time (default), 2 twice as
//                        fast, 0 unpaced
//   BOX_I2S_DISCARD      1: keep no PCM (the WAV holds the header only), for
//                        benchmarks that compare with decoding to /dev/null
//   BOX_I2S_PARTIAL      take at most this many bytes per write
//   BOX_I2S_FAIL_OPEN    fail this many opens (with ENODEV), then succeed
//   BOX_I2S_FAIL_REQUEST fail this request (FREQ, FORMAT, CHANNEL, VOLUME or
//                        MUTE) with EIO
//   BOX_I2S_FAIL_WRITE_AFTER  fail writes with EIO once an opening has taken
//                        this many bytes
//   BOX_I2S_STALL_AFTER  take nothing (write returns 0) once an opening has
//                        taken this many bytes
//   BOX_I2S_FAIL_CLOSE   1: close releases the descriptor but reports EIO
#pragma once

#include <cstddef>
#include <sys/types.h>

bool standin_is_device(const char* path);
// Opens the device: a descriptor, or -1 with errno set.
int standin_open();
bool standin_owns(int fd);
int standin_ioctl(int fd, unsigned long request, long arg);
ssize_t standin_write(int fd, const void* data, size_t size);
int standin_close(int fd);
// Completes the WAV headers of openings still open (at process exit);
// without wait, only if no other thread is inside the stand-in just then.
void standin_finish_all(bool wait = true);
