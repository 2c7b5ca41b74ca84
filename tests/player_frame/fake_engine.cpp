// Stand-ins for the engine, playlist and device operations the poll calls:
// they journal each call so a test can check what one cycle asked for.
#include "fake_engine.h"

#include "engine.h"
#include "i2s.h"
#include "output.h"
#include "playlist.h"
#include "playstate.h"

#include <string>

std::vector<std::string> g_calls;
int32_t g_fake_state = STATE_STOPPED;
int32_t g_fake_position = 0;
bool g_fake_stop_on_set_uri = true;

void output_set_uri(const char* url) {
    g_calls.push_back(std::string("set_uri ") + url);
    // As the real one: the stop inside resets the start position.
    if (g_fake_stop_on_set_uri) setxmlStartposition("0");
}
void output_play() { g_calls.push_back("play"); }
void output_pause() { g_calls.push_back("pause"); }
void output_seek(int32_t s) { g_calls.push_back("seek " + std::to_string(s)); }
int apply_startposition(int32_t s) {
    g_calls.push_back("startposition " + std::to_string(s));
    return 0;
}
int updatenumbyposition(int s) {
    g_calls.push_back("numbyposition " + std::to_string(s));
    return 0;
}
int32_t get_position_sec() { return g_fake_position; }
int32_t player_state() { return g_fake_state; }
int i2s_set_volume(int v) {
    g_calls.push_back("volume " + std::to_string(v));
    return 0;
}
int cached_volume() { return 80; }
