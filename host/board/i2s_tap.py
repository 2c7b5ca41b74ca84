#!/usr/bin/env python3
"""Turns what the board's I2S driver sent over its serial port into what the
sandbox's I2S stand-in leaves: a journal ("open pcm-1.wav", "FREQ 44100",
..., "close pcm-1.wav 705600") and one WAV file per opening, samples
little-endian.

    host/board/i2s_tap.py I2S.BIN OUTDIR

The stream is records: type byte ('J' journal line, 'P' samples in the
board's big-endian order), 24-bit big-endian length, payload. A record cut
by the end of the stream (the board's power cut) is left out."""
import os
import struct
import sys


def wav_header(rate, channels, bits, data):
    block = channels * (bits // 8)
    return (b"RIFF" + struct.pack("<I", 36 + data) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * block, block, bits) +
            b"data" + struct.pack("<I", data))


class Opening:
    def __init__(self, path):
        self.path = path
        self.rate, self.channels, self.bits = 0, 0, 16
        self.pcm = bytearray()

    def save(self):
        width = self.bits // 8
        whole = len(self.pcm) - len(self.pcm) % width if width else 0
        data = bytearray(self.pcm)
        if width > 1:  # each whole sample turned round; a cut one kept as it came
            for i in range(0, whole, width):
                data[i:i + width] = data[i:i + width][::-1]
        with open(self.path, "wb") as f:
            f.write(wav_header(self.rate, self.channels, self.bits, min(len(data), 0xFFFFFFD0)))
            f.write(data)


def decode(stream, outdir):
    os.makedirs(outdir, exist_ok=True)
    journal = []
    cur = None
    n = 0
    pos = 0
    while pos + 4 <= len(stream):
        kind = stream[pos:pos + 1]
        size = int.from_bytes(stream[pos + 1:pos + 4], "big")
        body = stream[pos + 4:pos + 4 + size]
        if len(body) < size:
            break
        pos += 4 + size
        if kind == b"P":
            if cur:
                cur.pcm += body
            continue
        line = body.decode(errors="replace")
        word, _, rest = line.partition(" ")
        if word == "open":
            n += 1
            cur = Opening(os.path.join(outdir, "pcm-%d.wav" % n))
            line = "open pcm-%d.wav" % n
        elif word == "close" and cur:
            cur.save()
            line = "close %s %s" % (os.path.basename(cur.path), rest)
            cur = None
        elif cur and word in ("FREQ", "CHANNEL", "FORMAT"):
            setattr(cur, {"FREQ": "rate", "CHANNEL": "channels", "FORMAT": "bits"}[word], int(rest))
        journal.append(line)
    if cur:
        cur.save()
    with open(os.path.join(outdir, "journal"), "w") as f:
        f.write("".join(l + "\n" for l in journal))
    return journal


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        decode(f.read(), sys.argv[2])
