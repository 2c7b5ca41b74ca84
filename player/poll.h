// The playlist thread: follows the play-state file once a second and turns
// what the web interface changed into engine requests.
#pragma once

// What the poll keeps from one cycle to the next.
struct PollMemory {
    int volume;  // last <volume> applied to the device
};

// One cycle of the poll; sleep_s is the sleeper (seconds). Returns 1 when
// the thread is asked to end (the document is released then), else 0.
int poll_cycle(PollMemory* mem, void (*sleep_s)(unsigned));

// The thread function: 2 s, one read of the file, then cycles until asked
// to end.
void* updatePlayDate(void*);

// Creates the playlist thread; 0, or -1 when it could not be created.
int start_playlist_thread();
