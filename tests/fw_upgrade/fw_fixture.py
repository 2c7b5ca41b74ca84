#!/usr/bin/env python3
"""Test images and upload bodies for the upload CGI, made at test time.

  fw_fixture.py image OUT [--sum good|bad|none] [--mark TEXT] [--seed N]
  fw_fixture.py raw OUT IMAGE [--name FIELD]   multipart body whose file part
                                               has no Content-Type line
"""
import argparse
import array
import random
import sys

IMAGE_SIZE = 8126464


def xor_word(data):
    # XOR of the words; done on native words, then laid out in the same
    # byte order, which gives the big-endian word's bytes as well.
    words = array.array("I", data)
    acc = 0
    for w in words:
        acc ^= w
    return array.array("I", [acc]).tobytes()


def image(args):
    rnd = random.Random(args.seed)
    img = bytearray(rnd.randbytes(IMAGE_SIZE))
    mark = args.mark.encode()
    img[4:4 + len(mark)] = mark
    body = bytes(img[:IMAGE_SIZE - 4])
    if args.sum == "none":
        tail = b"\xff\xff\xff\xff"
    else:
        tail = bytearray(xor_word(body))
        if args.sum == "bad":
            tail[3] ^= 0x01
        if tail == b"\xff\xff\xff\xff":  # would read as "no checksum"
            sys.exit("fw_fixture: unlucky seed, try another")
    with open(args.out, "wb") as f:
        f.write(body + bytes(tail))


def raw(args):
    with open(args.image, "rb") as f:
        img = f.read()
    head = ('--B0undary\r\nContent-Disposition: form-data; name="%s"; filename="fw.bin"\r\n\r\n'
            % args.name).encode()
    with open(args.out, "wb") as f:
        f.write(head + img + b"\r\n--B0undary--\r\n")


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="cmd", required=True)
    i = sub.add_parser("image")
    i.add_argument("out")
    i.add_argument("--sum", choices=("good", "bad", "none"), default="good")
    i.add_argument("--mark", default="OpenWrt")
    i.add_argument("--seed", type=int, default=1)
    r = sub.add_parser("raw")
    r.add_argument("out")
    r.add_argument("image")
    r.add_argument("--name", default="firmware")
    a = p.parse_args()
    image(a) if a.cmd == "image" else raw(a)


main()
