// Test support for the audio path: songs made with the ffmpeg command in a
// temp dir, the reference PCM the ffmpeg command decodes from them, the
// stand-in's journal and WAV output, and a driver that plays a song through
// open_song, open_audio_output and dorvu_dec_loop as the engine does.
#pragma once

#include "player.h"
#include "test_files.h"

#include <string>
#include <vector>

struct Fixture {
    const char* name;  // file name, extension included
    const char* make;  // ffmpeg inputs and output options
    int rate;
    int channels;
    int audio_streams;
    int length;           // seconds open_song publishes (16384: duration unknown)
    const char* decoder;  // the FFmpeg decoder the player must choose
};

// The nine disk formats ffmpeg can encode, mono and stereo at 44.1 and
// 48 kHz, two audio streams, video plus audio.
const std::vector<Fixture>& fixtures();
// The named fixture's path, made on first use ("" if ffmpeg failed).
std::string song(const std::string& name);
// Makes dir/name with "ffmpeg ... MAKE dir/name"; its path, or "" if ffmpeg
// failed.
std::string make_song(const TempDir& dir, const std::string& name, const std::string& make);
// What "ffmpeg -c:a DECODER -i FILE -f s16le" gives for the file's last
// audio stream (DECODER null: ffmpeg's own choice).
std::vector<int16_t> reference_pcm(const std::string& path, int audio_streams,
                                   const char* decoder = nullptr);

// Signed 16-bit little-endian samples (a WAV file's, or "-f s16le"), read
// the same on any CPU.
std::vector<int16_t> s16le_samples(const std::string& bytes, size_t from = 0);
// A little-endian 16- or 32-bit field of a header.
uint32_t le_field(const std::string& bytes, size_t at, int size);
// The PCM samples after a WAV file's 44-byte header.
std::vector<int16_t> wav_samples(const std::string& path);
// Largest difference between equally long sample runs, else -1.
int max_sample_diff(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
// A play-state file with all nine tags; volume "" leaves <volume> out.
std::string playstate_doc(const std::string& volume);
// Points the stand-in at a fresh directory, unpaced, no failures.
void use_standin_dir(const TempDir& dir);
// Resets the player's globals to a fresh start with a zeroed context.
void fresh_player();
// What play_song saw of the opened song: the decoder's name and the sample
// format it decoded to.
struct Played {
    std::string decoder;
    int sample_format = -1;
};
// As the engine plays a song: open it, open the device, run decode steps until
// one returns -1 (or max_steps pass), then close device and decoder.
// Returns open_song's result; fills `played` when given and the song opened.
int play_song(const std::string& url, int max_steps = 100000, Played* played = nullptr);
