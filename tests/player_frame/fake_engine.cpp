// Stand-ins for the engine, playlist and device operations the poll calls:
// they journal each call so a test can check what one cycle asked for.
#include "fake_engine.h"

#include "player.h"
#include "playstate.h"

#include <string>

std::vector<std::string> g_calls;
int32_t g_fake_state = STATE_STOPPED;
int32_t g_fake_position = 0;
bool g_fake_stop_on_set_uri = true;

namespace {

void fake_set_uri(const char* url) {
    g_calls.push_back(std::string("set_uri ") + url);
    // As the real one: the stop inside resets the start position.
    if (g_fake_stop_on_set_uri) setxmlStartposition("0");
}
void fake_play() { g_calls.push_back("play"); }
void fake_pause() { g_calls.push_back("pause"); }
void fake_seek(int32_t s) { g_calls.push_back("seek " + std::to_string(s)); }
int fake_start_at(int32_t s) {
    g_calls.push_back("startposition " + std::to_string(s));
    return 0;
}
int fake_select_by_start(int s) {
    g_calls.push_back("numbyposition " + std::to_string(s));
    return 0;
}
int32_t fake_state() { return g_fake_state; }
int32_t fake_position() { return g_fake_position; }
int fake_set_volume(int v) {
    g_calls.push_back("volume " + std::to_string(v));
    return 0;
}

}  // namespace

PollOps fake_poll_ops(void (*sleep_s)(unsigned)) {
    return PollOps{fake_set_uri,         fake_play,  fake_pause,    fake_seek,       fake_start_at,
                   fake_select_by_start, fake_state, fake_position, fake_set_volume, sleep_s};
}
