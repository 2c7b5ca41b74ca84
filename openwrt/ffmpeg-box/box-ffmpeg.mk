# FFmpeg as the music box needs it, in one place for both builds of it: the
# OpenWrt package beside this file includes it, and the MIPS lane's
# cmake/ffmpeg-box.cmake reads its lines. Keep to plain "NAME := words" and
# "NAME += words" lines (no continuations, no make functions).

# Small, everything off, then only what the nine music extensions need. No
# programs, devices, filters, resampler or scaler (the player converts the
# samples itself), nothing picked up from the build machine.
BOX_FFMPEG_OPTIONS := --enable-small --disable-debug --disable-autodetect
BOX_FFMPEG_OPTIONS += --disable-everything --disable-programs --disable-doc --disable-network
BOX_FFMPEG_OPTIONS += --disable-avdevice --disable-avfilter --disable-swresample --disable-swscale --disable-postproc
# The box's CPU has no FPU: no MIPS FPU, DSP, SIMD or inline-assembly paths.
BOX_FFMPEG_OPTIONS += --disable-mipsfpu --disable-mipsdsp --disable-mipsdspr2 --disable-msa --disable-mmi
BOX_FFMPEG_OPTIONS += --disable-mips32r5 --disable-mips32r6 --disable-mips64r6 --disable-inline-asm
BOX_FFMPEG_OPTIONS += --disable-runtime-cpudetect

# The decoders of the nine extensions, fixed-point wherever FFmpeg has one
# (mp3, not mp3float; aac_fixed, not aac; ac3_fixed, not ac3): a float
# decoder would be emulated in software on this CPU. WMA exists only as a
# float decoder. Then the PCM kinds a WAV file holds.
BOX_FFMPEG_DECODERS := mp3 mp2 flac wmav1 wmav2 aac_fixed ac3_fixed ape
BOX_FFMPEG_DECODERS += pcm_u8 pcm_s16le pcm_s24le pcm_s32le pcm_f32le pcm_f64le pcm_alaw pcm_mulaw
BOX_FFMPEG_DEMUXERS := mp3 flac asf mov aac ac3 ape wav
BOX_FFMPEG_PARSERS := mpegaudio flac aac ac3
BOX_FFMPEG_PROTOCOLS := file
