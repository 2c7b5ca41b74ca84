#include "audio_fixture.h"

#include "decoder.h"
#include "i2s.h"
#include "playstate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

// Two different tones, so that swapped or mixed channels show; quoted for
// the shell because of the '|'.
#define STEREO(rate) \
    "-f lavfi -i 'aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=" rate ":d=2' "
#define MONO(rate) "-f lavfi -i 'aevalsrc=0.7*sin(523*2*PI*t):s=" rate ":d=2' "

const std::vector<Fixture>& fixtures() {
    static const std::vector<Fixture> list = {
        {"stereo441.mp3", STEREO("44100") "-c:a libmp3lame -b:a 128k", 44100, 2, 1, 2, "mp3"},
        {"mono48.mp2", MONO("48000") "-c:a mp2 -b:a 128k", 48000, 1, 1, 2, "mp2"},
        {"stereo441.flac", STEREO("44100") "-c:a flac -sample_fmt s16", 44100, 2, 1, 2, "flac"},
        {"stereo48_24.flac", STEREO("48000") "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24",
         48000, 2, 1, 2, "flac"},
        {"stereo441.wma", STEREO("44100") "-c:a wmav2 -b:a 128k", 44100, 2, 1, 2, "wmav2"},
        {"mono48.aac", MONO("48000") "-c:a aac -b:a 96k", 48000, 1, 1, 2, "aac_fixed"},
        {"stereo441.m4a", STEREO("44100") "-c:a aac -b:a 128k", 44100, 2, 1, 2, "aac_fixed"},
        {"mono441.wav", MONO("44100") "-c:a pcm_s16le", 44100, 1, 1, 2, "pcm_s16le"},
        {"stereo48.ac3", STEREO("48000") "-c:a ac3 -b:a 192k", 48000, 2, 1, 2, "ac3_fixed"},
        {"two_streams.mka", STEREO("44100") MONO("48000") "-map 0 -map 1 -c:a flac", 48000, 1, 2,
         16384, "flac"},
        {"video.mp4",
         "-f lavfi -i testsrc=size=64x48:rate=10:d=2 " STEREO(
             "44100") "-map 0 -map 1 -c:v mpeg4 -c:a aac",
         44100, 2, 1, 2, "aac_fixed"},
    };
    return list;
}

std::string make_song(const TempDir& dir, const std::string& name, const std::string& make) {
    std::string path = dir.file(name);
    if (read_text(path).empty() &&
        system(("ffmpeg -nostdin -v error -y " + make + " '" + path + "'").c_str()) != 0)
        return "";
    return path;
}

std::string song(const std::string& name) {
    static TempDir dir;
    for (const Fixture& f : fixtures())
        if (name == f.name) return make_song(dir, f.name, f.make);
    return "";
}

std::vector<int16_t> reference_pcm(const std::string& path, int audio_streams,
                                   const char* decoder) {
    std::string codec = decoder ? std::string("-c:a ") + decoder + " " : "";
    std::string cmd = "ffmpeg -nostdin -v error " + codec + "-i '" + path +
                      "' -map 0:a:" + std::to_string(audio_streams - 1) + " -f s16le -";
    FILE* p = popen(cmd.c_str(), "r");
    std::string bytes = read_all(p);
    if (p) pclose(p);
    return s16le_samples(bytes);
}

std::vector<int16_t> s16le_samples(const std::string& bytes, size_t from) {
    std::vector<int16_t> pcm(bytes.size() < from ? 0 : (bytes.size() - from) / 2);
    for (size_t i = 0; i < pcm.size(); i++)
        pcm[i] =
            int16_t(uint16_t(uint8_t(bytes[from + 2 * i]) | uint8_t(bytes[from + 2 * i + 1]) << 8));
    return pcm;
}

uint32_t le_field(const std::string& bytes, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; i--) v = v << 8 | uint8_t(bytes.at(at + size_t(i)));
    return v;
}

std::vector<int16_t> wav_samples(const std::string& path) {
    return s16le_samples(read_text(path), 44);
}

int max_sample_diff(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    if (a.size() != b.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++) worst = std::max(worst, abs(int(a[i]) - int(b[i])));
    return worst;
}

std::string playstate_doc(const std::string& volume) {
    return "<?xml version=\"1.0\"?>\n<root>\n<startposition>0</startposition>\n<url></url>\n"
           "<position>0</position>\n<length>0</length>\n<playstate>PLAYING</playstate>\n" +
           (volume.empty() ? "" : "<volume>" + volume + "</volume>\n") +
           "<seek>0</seek>\n<songname></songname>\n<loop>0</loop>\n</root>\n";
}

void use_standin_dir(const TempDir& dir) {
    setenv("BOX_I2S_DIR", dir.path().c_str(), 1);
    setenv("BOX_I2S_SPEED", "0", 1);
    for (const char* name :
         {"BOX_I2S_PARTIAL", "BOX_I2S_FAIL_OPEN", "BOX_I2S_FAIL_REQUEST",
          "BOX_I2S_FAIL_WRITE_AFTER", "BOX_I2S_STALL_AFTER", "BOX_I2S_FAIL_CLOSE"})
        unsetenv(name);
}

void fresh_player() {
    static player_ctx ctx;
    ctx = player_ctx{};
    g_player = &ctx;
    __singlesong = single_song{0, 0};
    strcpy(g_volume_str, "80");
    g_i2s_fd = 0;
    free_doc();
    iparsexmlfile(playstate_path());
}

int play_song(const std::string& url, int max_steps, Played* played) {
    player_ctx* ctx = g_player;
    g_player_lock.lock();
    int r = open_song(url.c_str());
    if (r == 0) {
        open_audio_output(ctx);
        ctx->state = STATE_PLAYING;
    }
    g_player_lock.unlock();
    for (int n = 0; r == 0 && n < max_steps && dorvu_dec_loop(ctx, STATE_PLAYING) == 0;) n++;
    g_player_lock.lock();
    if (played && r == 0) {
        played->decoder = ctx->codec_ctx->codec->name;
        played->sample_format = ctx->codec_ctx->sample_fmt;
    }
    ctx->state = STATE_STOPPED;
    i2s_close();
    close_decoder();
    g_player_lock.unlock();
    return r;
}
