// The playlist thread: follows the play-state file once a second and turns
// what the web interface changed into engine requests.
#pragma once

#include <cstdint>

// What the poll keeps from one cycle to the next.
struct PollMemory {
    int volume;  // last <volume> applied to the device
};

// What a cycle asks of the world outside the play-state file: the engine,
// the song list, the device and the clock. The daemon passes
// box_poll_ops(); tests pass fakes.
struct PollOps {
    void (*set_uri)(const char* url);  // a song asked for: the current one stops
    void (*play)();
    void (*pause)();
    void (*seek)(int32_t seconds);
    int (*start_at)(int32_t seconds);   // the entry's start, and a seek to it
    int (*select_by_start)(int start);  // the list entry starting there
    int32_t (*state)();                 // the engine's STATE_*
    int32_t (*position)();              // seconds into the entry
    int (*set_volume)(int volume);
    void (*sleep_s)(unsigned seconds);
};

// One cycle of the poll. Returns 1 when the thread is asked to end (the
// document is released then), else 0.
int poll_cycle(PollMemory* mem, const PollOps& ops);

// The engine's output operations, the I2S device and sleep(3).
PollOps box_poll_ops();

// The thread function: 2 s, one read of the file, then cycles with
// box_poll_ops() until asked to end.
void* updatePlayDate(void*);

// Creates the playlist thread; 0, or -1 when it could not be created.
int start_playlist_thread();
