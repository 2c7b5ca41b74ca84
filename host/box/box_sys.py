# What PID 1 of the box needs of the kernel: mounts through mount(2) directly
# (one process instead of dozens) and the one-line failure of the sandbox.
import ctypes
import os
import sys

SANDBOX_FAILED = 125
MS_BIND = 4096
MS_REC = 16384

libc = ctypes.CDLL(None, use_errno=True)


def die(msg):
    sys.stderr.write("boxrun: %s\n" % msg)
    sys.exit(SANDBOX_FAILED)


def try_mount(source, target, fstype=None, flags=0, data=None):
    """mount(2); True when it worked."""
    enc = lambda s: s.encode() if s is not None else None
    return libc.mount(enc(source), enc(target), enc(fstype), flags, enc(data)) == 0


def mount(source, target, fstype=None, flags=0, data=None):
    if not try_mount(source, target, fstype, flags, data):
        err = ctypes.get_errno()
        die("cannot mount %s on %s: %s" % (source, target, os.strerror(err)))


def bind(source, target, rec=False):
    mount(source, target, None, MS_BIND | (MS_REC if rec else 0))


def tmpfs(target, mode="755", name="tmpfs"):
    mount(name, target, "tmpfs", 0, "mode=" + mode)
