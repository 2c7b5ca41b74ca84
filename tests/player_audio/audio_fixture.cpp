#include "audio_fixture.h"

#include "decoder.h"
#include "i2s.h"
#include "playstate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Two different tones, so that swapped or mixed channels show.
const char* kStereo441 = "aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=44100:d=2";
const char* kStereo48 = "aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=48000:d=2";
const char* kMono441 = "aevalsrc=0.7*sin(523*2*PI*t):s=44100:d=2";
const char* kMono48 = "aevalsrc=0.7*sin(523*2*PI*t):s=48000:d=2";

std::string run_ffmpeg(const std::string& args) {
    std::string cmd = "ffmpeg -nostdin -v error -y " + args + " 2>&1";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "popen failed";
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    return st == 0 ? "" : "ffmpeg failed: " + cmd + "\n" + out;
}

}  // namespace

const std::vector<Fixture>& fixtures() {
    static const std::vector<Fixture> list = {
        {"stereo441.mp3", "STEREO441 -c:a libmp3lame -b:a 128k", 44100, 2, 1, 2},
        {"mono48.mp2", "MONO48 -c:a mp2 -b:a 128k", 48000, 1, 1, 2},
        {"stereo441.flac", "STEREO441 -c:a flac -sample_fmt s16", 44100, 2, 1, 2},
        {"stereo48_24.flac", "STEREO48 -c:a flac -sample_fmt s32 -bits_per_raw_sample 24", 48000, 2, 1, 2},
        {"stereo441.wma", "STEREO441 -c:a wmav2 -b:a 128k", 44100, 2, 1, 2},
        {"mono48.aac", "MONO48 -c:a aac -b:a 96k", 48000, 1, 1, 2},
        {"stereo441.m4a", "STEREO441 -c:a aac -b:a 128k", 44100, 2, 1, 2},
        {"mono441.wav", "MONO441 -c:a pcm_s16le", 44100, 1, 1, 2},
        {"stereo48.ac3", "STEREO48 -c:a ac3 -b:a 192k", 48000, 2, 1, 2},
        {"two_streams.mka", "STEREO441 MONO48 -map 0 -map 1 -c:a flac", 48000, 1, 2, 16384},
        {"video.mp4",
         "-f lavfi -i testsrc=size=64x48:rate=10:d=2 STEREO441 -map 0 -map 1 -c:v mpeg4 -c:a aac",
         44100, 2, 1, 2},
    };
    return list;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/player_audioXXXXXX";
    if (mkdtemp(tmpl)) path_ = tmpl;
}

TempDir::~TempDir() {
    if (!path_.empty()) system(("rm -rf '" + path_ + "'").c_str());
}

std::string make_song(const TempDir& dir, const Fixture& f) {
    std::string args = f.make;
    struct {
        const char* key;
        const char* value;
    } inputs[] = {{"STEREO441", kStereo441}, {"STEREO48", kStereo48}, {"MONO441", kMono441},
                  {"MONO48", kMono48}};
    for (auto& in : inputs)
        for (size_t at; (at = args.find(in.key)) != std::string::npos;)
            args.replace(at, strlen(in.key), std::string("-f lavfi -i '") + in.value + "'");
    // aevalsrc's '|' must reach ffmpeg, not the shell: the sources are quoted.
    std::string path = dir.file(f.name);
    std::string err = run_ffmpeg(args + " '" + path + "'");
    if (!err.empty()) {
        fprintf(stderr, "%s\n", err.c_str());
        return "";
    }
    return path;
}

std::vector<int16_t> reference_pcm(const std::string& path, int audio_streams) {
    std::string cmd = "ffmpeg -nostdin -v error -i '" + path + "' -map 0:a:" +
                      std::to_string(audio_streams - 1) + " -f s16le -";
    std::vector<int16_t> pcm;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return pcm;
    int16_t buf[4096];
    size_t n;
    while ((n = fread(buf, 2, 4096, p)) > 0) pcm.insert(pcm.end(), buf, buf + n);
    pclose(p);
    return pcm;
}

std::string read_text(const std::string& path) {
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[8192];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = read_text(path);
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

void write_text(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::vector<int16_t> wav_samples(const std::string& path) {
    std::string data = read_text(path);
    std::vector<int16_t> pcm;
    if (data.size() < 44) return pcm;
    pcm.resize((data.size() - 44) / 2);
    memcpy(pcm.data(), data.data() + 44, pcm.size() * 2);
    return pcm;
}

int max_sample_diff(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    if (a.size() != b.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++) {
        int d = abs(int(a[i]) - int(b[i]));
        if (d > worst) worst = d;
    }
    return worst;
}

std::string playstate_doc(const std::string& volume) {
    std::string doc =
        "<?xml version=\"1.0\"?>\n<root>\n<startposition>0</startposition>\n<url></url>\n"
        "<position>0</position>\n<length>0</length>\n<playstate>PLAYING</playstate>\n";
    if (!volume.empty()) doc += "<volume>" + volume + "</volume>\n";
    doc += "<seek>0</seek>\n<songname></songname>\n<loop>0</loop>\n</root>\n";
    return doc;
}

void use_standin_dir(const TempDir& dir) {
    setenv("BOX_I2S_DIR", dir.path().c_str(), 1);
    setenv("BOX_I2S_SPEED", "0", 1);
    unsetenv("BOX_I2S_PARTIAL");
    unsetenv("BOX_I2S_FAIL_OPEN");
    unsetenv("BOX_I2S_FAIL_REQUEST");
    unsetenv("BOX_I2S_FAIL_WRITE_AFTER");
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

int play_song(const std::string& url, int max_steps, int* steps) {
    player_ctx* ctx = g_player;
    pthread_mutex_lock(&g_player_lock);
    int r = open_song(url.c_str());
    if (r == 0) {
        open_audio_output(ctx);
        ctx->state = STATE_PLAYING;
    }
    pthread_mutex_unlock(&g_player_lock);
    int n = 0;
    if (r == 0)
        while (n < max_steps && dorvu_dec_loop(ctx, ctx->state) == 0) n++;
    if (steps) *steps = n;
    pthread_mutex_lock(&g_player_lock);
    ctx->state = STATE_STOPPED;
    i2s_close();
    close_decoder();
    pthread_mutex_unlock(&g_player_lock);
    return r;
}

std::string song(const std::string& name) {
    static TempDir dir;
    static std::vector<std::string> paths;
    if (paths.empty())
        for (const Fixture& f : fixtures()) paths.push_back(make_song(dir, f));
    for (size_t i = 0; i < fixtures().size(); i++)
        if (name == fixtures()[i].name) return paths[i];
    return "";
}
