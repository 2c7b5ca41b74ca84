"""Shared by the board lane's tests and the board benchmarks: checks and
their count, the songs of the MIPS lane's player test, the board built once,
and the user-mode run of the same programs to compare with."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SRC, "host", "board"))
import board  # noqa: E402
import i2s_tap  # noqa: E402

DAEMONS = ["dorvu", "wifi_survey", "wan_watch", "renderer_ctl", "wifi_watch"]
ENTRIES = 11  # eight songs and the album's three tracks


class Checks:
    def __init__(self, name):
        self.name, self.passed, self.failed = name, 0, 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: %s%s" % (what, (": " + detail) if detail else ""), file=sys.stderr, flush=True)
        return ok

    def eq(self, want, got, what):
        return self.check(want == got, what, "wanted %r, got %r" % (want, got))

    def note(self, text):
        print("%s: %s" % (self.name, text), flush=True)

    def done(self):
        if self.passed + self.failed == 0:
            print("FAIL: no check was made", file=sys.stderr)
            self.failed = 1
        print("%s: %d passed, %d failed" % (self.name, self.passed, self.failed), flush=True)
        return 0 if self.failed == 0 else 1

    def finish(self, work):
        """done(), and the work folder removed after a clean run, kept to look at otherwise."""
        rc = self.done()
        if rc == 0:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("%s: work folder kept: %s" % (self.name, work), file=sys.stderr)
        return rc


def build_mips():
    return os.environ.get("BOX_CROSS_BUILD", os.path.join(SRC, "build-mips"))


_images = []


def images():
    """The board's kernel and initramfs (built or taken from the cache, once
    per run; BOARD_IMAGES=VMLINUX:INITRAMFS boots given ones)."""
    if not _images:
        given = os.environ.get("BOARD_IMAGES")
        if given:
            _images.extend(given.split(":", 1))
        else:
            _images.extend(board.build(build_mips(), os.path.join(build_mips(), "board")))
    return _images


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def workdir():
    return tempfile.mkdtemp(prefix="box-board.")


def new_board(work, stick=None, port=0, icount=False):
    """A board; the tests run it without -icount (see board.Board), the
    benchmarks with it."""
    kernel, initrd = images()
    return board.Board(kernel, initrd, work, stick=stick, port=port, icount=icount)


def tone(secs, rate, ch):
    if ch == 2:
        return "aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=%d:d=%d" % (rate, secs)
    return "aevalsrc=0.7*sin(523*2*PI*t):s=%d:d=%d" % (rate, secs)


# The MIPS lane's player test disk: a song of each of the nine extensions and
# a Monkey's Audio album (level 2, made from a WAV with Debian's encoder, as
# FFmpeg has none) with its CUE sheet.
SONGS = [
    ("a.mp3", 2, 44100, 2, ["-c:a", "libmp3lame", "-b:a", "128k"]),
    ("b.mp2", 2, 48000, 1, ["-c:a", "mp2", "-b:a", "128k"]),
    ("c.flac", 2, 44100, 2, ["-c:a", "flac", "-sample_fmt", "s16"]),
    ("d.wma", 2, 44100, 2, ["-c:a", "wmav2", "-b:a", "128k"]),
    ("e.aac", 2, 48000, 1, ["-c:a", "aac", "-b:a", "96k"]),
    ("f.wav", 2, 22050, 2, ["-c:a", "pcm_s16le"]),
    ("g.m4a", 2, 44100, 2, ["-c:a", "aac", "-b:a", "128k"]),
    ("h.ac3", 2, 48000, 2, ["-c:a", "ac3", "-b:a", "192k"]),
    ("album.ape", 18, 44100, 2, ["-c:a", "pcm_s16le", "-f", "wav"]),
]
CUE = ('PERFORMER "Band"\r\nTITLE "Album"\r\nFILE "album.ape" WAVE\r\n  TRACK 01 AUDIO\r\n'
       '    TITLE "One"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Two"\r\n'
       '    INDEX 01 00:05:00\r\n  TRACK 03 AUDIO\r\n    TITLE "Three"\r\n    INDEX 01 00:11:00\r\n')


def make_songs(d, only=None):
    os.makedirs(d, exist_ok=True)
    for name, secs, rate, ch, opts in SONGS:
        if only and name not in only:
            continue
        path = os.path.join(d, name)
        out = path + ".wav" if name.endswith(".ape") else path
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", tone(secs, rate, ch)]
                       + opts + [out], check=True)
        if out != path:
            subprocess.run([os.path.join(SRC, "tests", "support", "make_ape.sh"), "2", out, path], check=True)
            os.unlink(out)
    if not only or "album.ape" in only:
        with open(os.path.join(d, "album.cue"), "w", newline="") as f:
            f.write(CUE)


PLAYUSB = ('<?xml version="1.0" encoding="utf-8"?>\n<playusb>\n<url></url>\n<position>0</position>\n'
           '<length>0</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n<seek>0</seek>\n'
           '<startposition>0</startposition>\n<songname></songname>\n<loop>0</loop>\n</playusb>\n')


def usermode_play(disk, out, entries=ENTRIES):
    """The MIPS lane's run: the same programs under qemu's user-mode emulation
    in the sandbox, with the I2S and time stand-ins; leaves out/list,
    out/scan_status and out/i2s/."""
    tree = build_mips()
    run = "qemu-mips-static -L /usr/mips-linux-gnu"
    copy = os.path.join(out, "disk")
    shutil.copytree(disk, copy)
    os.makedirs(os.path.join(out, "config"), exist_ok=True)
    with open(os.path.join(out, "config", "playusb.xml"), "w") as f:
        f.write(PLAYUSB)
    script = """
        %(run)s %(tree)s/bin/udisk_scan; echo $? >/box/out/scan_status
        cp /tmp/mnt/sda1/.udisklist /box/out/list
        LD_PRELOAD=%(tree)s/lib/libi2s_standin.so:%(tree)s/lib/libtimewarp.so TIMEWARP=10 BOX_I2S_SPEED=10 \\
            %(run)s %(tree)s/bin/dorvu --log >/box/out/dorvu.log 2>&1 &
        pid=$!
        n=0
        while [ $(cat /box/out/i2s/journal 2>/dev/null | grep -c '^close .* [1-9][0-9]*$') -lt %(n)d ] &&
              [ $n -lt 3000 ]; do
            sleep 0.1; n=$((n + 1))
        done
        kill -TERM $pid; wait $pid
    """ % {"run": run, "tree": tree, "n": entries}
    subprocess.run([os.path.join(SRC, "host", "box", "boxrun"), "--disk", copy, "--config",
                    os.path.join(out, "config"), "--out", out, "--share", tree, "--", "sh", "-c", script],
                   check=False)


def played_once(journal, n=ENTRIES):
    """The journal of the list played once, as the MIPS lane compares it:
    the volume the play-state poll may send again while muted and openings
    that took nothing follow the threads' timing and are left out; the
    openings kept are numbered afresh. Returns (lines, wav names)."""
    out, wavs, block, muted, c = [], [], [], False, 0
    for line in journal:
        if line.startswith("open "):
            block, muted = [], False
        elif line == "MUTE 0":
            block.append(line)
            muted = True
        elif line.startswith("VOLUME ") and muted:
            pass
        elif line.startswith("close "):
            f = line.split()
            if f[2] != "0":
                c += 1
                out += ["open song %d" % c] + block + ["close song %d %s" % (c, f[2])]
                wavs.append(f[1])
                if c == n:
                    break
        else:
            block.append(line)
    return out, wavs


def per_song(journal, list_text, wav_dir):
    """The list played once, by song: {(url, start): (requests, samples)}.
    The N-th opening plays the list's N-th entry; the board's stick and the
    sandbox's disk list their songs in their own directory order."""
    entries = [(e["url"], e["startpos"]) for e in json.loads(list_text)["Playlist"]]
    lines, wavs = played_once(journal, len(entries))
    blocks, cur = [], None
    for line in lines:
        if line.startswith("open song "):
            cur = []
        elif line.startswith("close song "):
            blocks.append(cur + [line.split()[-1]])
        else:
            cur.append(line)
    out = {}
    for key, block, wav in zip(entries, blocks, wavs):
        with open(os.path.join(wav_dir, wav), "rb") as f:
            out[key] = (block, f.read())
    return out


def tap_journal(work, outdir):
    """Decodes what the board's I2S driver sent so far; returns its journal."""
    with open(os.path.join(work, "i2s.bin"), "rb") as f:
        return i2s_tap.decode(f.read(), outdir)


def closes(journal):
    return sum(1 for l in journal if l.startswith("close ") and l.split()[2] != "0")


def wait_host(cond, timeout, every=0.5):
    end = time.time() + timeout
    while time.time() < end:
        if cond():
            return True
        time.sleep(every)
    return cond()
