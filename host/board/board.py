#!/usr/bin/env python3
"""The box on QEMU's big-endian MIPS Malta board, with its own kernel.

    host/board/board.py build [--build-mips DIR]       kernel, BusyBox, module, initramfs
    host/board/board.py console [--work DIR] [--stick IMG] [--port N]
    host/board/board.py stick IMG DIR                   a FAT32 stick holding DIR's files

`console` boots the board with its serial console on the terminal (Ctrl-A X
ends QEMU, Ctrl-A C switches to QEMU's monitor). The flash (DIR/flash.img)
and the overlay holding /etc/config (DIR/overlay.img, JFFS2)
stay between boots; what the I2S driver is given lands in DIR/i2s.bin.

Tests and benchmarks use the Board class: boot, shell commands over the
serial console, QEMU's monitor, power cut."""
import argparse
import fcntl
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
FLASH_SIZE = 1 << 20  # sixteen 64 KiB erase blocks
OVERLAY_SIZE = 2 << 20  # the JFFS2 overlay holding /etc/config
ERASE_BLOCK = 65536
# -icount shift=1: 2 ns of guest time per instruction, 500 M instructions a
# guest second, near the box's 580 MHz core. The counter's rate is given to
# the kernel instead of calibrated against the RTC, which runs on host time.
ICOUNT = "shift=1,sleep=on"
# QEMU's Malta clocks the CPU at 320 MHz, a period it keeps in whole
# nanoseconds (3 ns); the 24Kc's counter counts every second cycle: 6 ns.
HPT_FREQ = 166666667
STICK_PCI = "0x12"
# What rootfs/etc/board/console says when the console's shell ends.
CONSOLE_ENDED = re.compile(rb"board: console shell ended, status \d+")


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def build(build_mips, out_dir):
    """Builds (or takes from the cache) everything the board boots; returns
    (vmlinux, initramfs)."""
    kdir = run([os.path.join(HERE, "build-kernel.sh")], stdout=subprocess.PIPE, text=True).stdout.strip()
    bbdir = run([os.path.join(HERE, "build-busybox.sh")], stdout=subprocess.PIPE, text=True).stdout.strip()
    os.makedirs(out_dir, exist_ok=True)
    # One build of the module and the initramfs at a time (a test and a
    # benchmark may start together).
    with open(os.path.join(out_dir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        module = build_module(kdir, out_dir)
        initrd = os.path.join(out_dir, "initramfs.cpio.gz")
        run([os.path.join(HERE, "build-initramfs.sh"), build_mips, bbdir, initrd] + ([module] if module else []))
    return os.path.join(kdir, "vmlinux"), initrd


def build_module(kdir, out_dir):
    src = os.path.join(HERE, "i2s")
    if not os.path.isdir(src):
        return None
    mdir = os.path.join(out_dir, "i2s-module")
    shutil.rmtree(mdir, ignore_errors=True)
    shutil.copytree(src, mdir)
    run(["make", "-s", "-C", os.path.join(kdir, "src"), "O=" + os.path.join(kdir, "out"), "ARCH=mips",
         "CROSS_COMPILE=mips-linux-gnu-", "M=" + mdir, "modules"], stdout=subprocess.DEVNULL)
    return os.path.join(mdir, "i2s_board.ko")


def make_stick(img, src_dir, size_mb=64):
    """A USB stick image: one FAT32 partition from 1 MiB on, holding src_dir's
    files (the top directory only, as the box's songs lie)."""
    sectors = size_mb << 11
    # The partition table: one entry, type 0x0c (FAT32, LBA), from sector 2048.
    entry = bytes([0, 0xFE, 0xFF, 0xFF, 0x0C, 0xFE, 0xFF, 0xFF]) + \
        (2048).to_bytes(4, "little") + (sectors - 2048).to_bytes(4, "little")
    with open(img, "wb") as f:
        f.truncate(sectors * 512)
        f.seek(446)
        f.write(entry + bytes(48) + b"\x55\xaa")
    run(["mkfs.vfat", "-F", "32", "--offset", "2048", "-n", "STICK", img],
        stdout=subprocess.DEVNULL)
    names = sorted(os.listdir(src_dir))
    if names:
        run(["mcopy", "-i", img + "@@1M", "-o"] + [os.path.join(src_dir, n) for n in names] + ["::/"])


def qemu_args(kernel, initrd, work, stick=None, port=0, console="socket", append="", icount=True):
    flash = os.path.join(work, "flash.img")
    overlay = os.path.join(work, "overlay.img")
    for path, size in ((flash, FLASH_SIZE), (overlay, OVERLAY_SIZE)):
        if not os.path.exists(path):
            with open(path, "wb") as f:  # erased NOR flash
                f.write(b"\xff" * size)
    fwd = "hostfwd=tcp:127.0.0.1:%d-:80," % port if port else ""
    args = ["qemu-system-mips", "-M", "malta", "-cpu", "24Kc", "-m", "64", "-nographic", "-vga", "none",
            "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyS0 loglevel=4 malta_hpt_freq=%d %s" % (HPT_FREQ, append),
            "-monitor", "unix:%s,server=on,wait=off" % os.path.join(work, "monitor.sock"),
            "-netdev", "user,id=n0,%snet=10.0.2.0/24" % fwd,
            "-device", "virtio-net-pci,netdev=n0,addr=0x0b,romfile=",
            "-device", "pci-ohci,id=ohci,addr=%s" % STICK_PCI,
            "-drive", "if=none,id=flash,file=%s,format=raw,cache=writethrough" % flash,
            "-device", "virtio-blk-pci,drive=flash,addr=0x13",
            "-drive", "if=none,id=overlay,file=%s,format=raw,cache=writethrough" % overlay,
            "-device", "virtio-blk-pci,drive=overlay,addr=0x15",
            "-device", "virtio-serial-pci,addr=0x14",
            "-chardev", "file,id=i2s,path=%s" % os.path.join(work, "i2s.bin"),
            "-device", "virtserialport,chardev=i2s,name=i2s"]
    if icount:
        args[args.index("-kernel"):args.index("-kernel")] = ["-icount", ICOUNT]
    if stick:
        args += ["-blockdev", "node-name=stick,driver=raw,file.driver=file,file.filename=%s" % stick,
                 "-device", "usb-storage,bus=ohci.0,drive=stick,id=ustick"]
    if console == "socket":
        args += ["-chardev", "socket,id=con,path=%s,server=on,wait=on" % os.path.join(work, "console.sock"),
                 "-serial", "chardev:con"]
    else:
        args += ["-serial", "mon:stdio"]
    return args


class BoardError(Exception):
    pass


class Board:
    """One board: QEMU in the background, its serial console and monitor."""

    def __init__(self, kernel, initrd, work, stick=None, port=0, icount=True):
        """icount=False runs the guest as fast as the host can (its clock is
        still right): QEMU 7.2 under -icount was seen to hang, main loop and
        monitor included, with the guest busy; tests that need no CPU figure
        run without it."""
        self.kernel, self.initrd, self.work, self.stick, self.port = kernel, initrd, work, stick, port
        self.icount = icount
        self.proc = None
        self.con = None
        self.log = b""
        self.seq = 0
        self.mark = 0
        self.boots = 0

    # --- power ---
    def power_on(self, timeout=120):
        """Boots and waits for the start-up's end; returns the guest's uptime
        then (seconds since power-on on the guest's clock)."""
        sock = os.path.join(self.work, "console.sock")
        for f in (sock, os.path.join(self.work, "monitor.sock")):
            if os.path.exists(f):
                os.unlink(f)
        self.logfile = open(os.path.join(self.work, "console.log"), "ab")
        self.proc = subprocess.Popen(qemu_args(self.kernel, self.initrd, self.work, self.stick, self.port,
                                               icount=self.icount),
                                     stdin=subprocess.DEVNULL, stdout=self.logfile, stderr=subprocess.STDOUT)
        end = time.time() + 20
        while True:
            try:
                self.con = socket.socket(socket.AF_UNIX)
                self.con.connect(sock)
                break
            except OSError:
                self.con.close()
                if time.time() > end or self.proc.poll() is not None:
                    raise BoardError("QEMU did not start: see %s/console.log" % self.work)
                time.sleep(0.05)
        self.log = b""
        self.mark = 0
        return self.wait_up(timeout)

    def wait_up(self, timeout=120):
        # The console's shell ends at a reboot's shutdown: not a fault here.
        m = self.expect(rb"board: up ([0-9.]+)", timeout, shell_may_end=True)
        self.boots += 1
        self.mark = len(self.log)
        # A quiet console: no echo, no kernel messages, a plain prompt.
        self.sh("stty -echo; dmesg -n 1; PS1=''; export PS1", timeout=30)
        return float(m.group(1))

    def power_cut(self):
        """Pulls the plug: QEMU is killed, nothing is flushed or unmounted."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.close()

    def close(self):
        if self.con:
            self.con.close()
            self.con = None
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc = None

    def reboot(self, timeout=120):
        """The box's own reboot: QEMU resets the board, the same images boot."""
        self.send("reboot\n")
        return self.wait_up(timeout)

    # --- console ---
    def send(self, text):
        self.con.sendall(text.encode())

    def _read(self, timeout):
        r, _, _ = select.select([self.con], [], [], timeout)
        if r:
            data = self.con.recv(65536)
            if not data:
                raise BoardError("the console closed (QEMU ended?)")
            self.log += data
            self.logfile.write(data)
            self.logfile.flush()

    def expect(self, pattern, timeout, shell_may_end=False):
        end = time.time() + timeout
        rx = re.compile(pattern)
        while True:
            m = rx.search(self.log, self.mark)
            if m:
                return m
            left = end - time.time()
            if left <= 0:
                raise BoardError("no %r on the console within %ss; its end:\n%s"
                                 % (pattern, timeout, self.log[-1500:].decode(errors="replace")))
            if self.proc.poll() is not None:
                raise BoardError("QEMU ended (status %s)" % self.proc.returncode)
            if not shell_may_end and CONSOLE_ENDED.search(self.log, self.mark):
                raise BoardError("the console's shell ended (init starts a new one; what was sent is lost); "
                                 "its end:\n%s" % self.log[-1500:].decode(errors="replace"))
            self._read(min(left, 0.5))

    def sh(self, cmd, timeout=60, check=False):
        """Runs a command in the console's shell; returns (status, output)."""
        self.seq += 1
        n = self.seq
        # The marker's text differs from the command's, so an echo cannot match.
        self.send("%s\necho \"@@$((%d+0))@@ $?\"\n" % (cmd, n))
        m = self.expect(rb"@@%d@@ (\d+)\r?\n" % n, timeout)
        out = self.log[self.mark:m.start()].decode(errors="replace").replace("\r", "")
        self.mark = m.end()
        status = int(m.group(1))
        if check and status != 0:
            raise BoardError("%r failed (%d): %s" % (cmd, status, out))
        return status, out

    def out(self, cmd, timeout=60):
        return self.sh(cmd, timeout, check=True)[1]

    def spawn(self, cmd, pidfile):
        """Starts cmd in the background, its PID in pidfile, as init's child,
        not the console shell's: with the terminal's echo off, BusyBox's
        interactive shell reads its input through stdio, where a SIGCHLD
        that comes while it waits (a background job's end) reads as the
        input's end; the shell exits and what was sent next is lost."""
        return self.out("( (%s) & echo $! >%s )" % (cmd, pidfile))

    def wait_for(self, cond, timeout=60, every=0.5):
        """Waits until a guest shell condition holds; True when it did."""
        st, _ = self.sh("n=0; until %s; do n=$((n+1)); [ $n -gt %d ] && break; sleep %s; done; [ $n -le %d ]"
                        % (cond, int(timeout / every), every, int(timeout / every)), timeout + 30)
        return st == 0

    # --- monitor ---
    def monitor(self, cmd, timeout=10):
        s = socket.socket(socket.AF_UNIX)
        s.connect(os.path.join(self.work, "monitor.sock"))
        s.settimeout(timeout)
        buf = b""
        while not buf.endswith(b"(qemu) "):
            buf += s.recv(4096)
        s.sendall(cmd.encode() + b"\n")
        buf = b""
        while not buf.endswith(b"(qemu) "):
            buf += s.recv(4096)
        s.close()
        return buf.decode(errors="replace")

    def unplug_stick(self):
        self.monitor("device_del ustick")

    def plug_stick(self):
        self.monitor("device_add usb-storage,bus=ohci.0,drive=stick,id=ustick")

    def cable(self, plugged):
        self.monitor("set_link n0 %s" % ("on" if plugged else "off"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="what", required=True)
    b = sub.add_parser("build")
    b.add_argument("--build-mips", default=os.path.join(REPO, "build-mips"))
    b.add_argument("--out", default=os.path.join(REPO, "build-mips", "board"))
    c = sub.add_parser("console")
    c.add_argument("--build-mips", default=os.path.join(REPO, "build-mips"))
    c.add_argument("--out", default=os.path.join(REPO, "build-mips", "board"))
    c.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "box-board"))
    c.add_argument("--stick", help="a stick image (see `stick`)")
    c.add_argument("--port", type=int, default=8080, help="host port forwarded to the box's port 80")
    s = sub.add_parser("stick")
    s.add_argument("img")
    s.add_argument("dir")
    a = ap.parse_args()
    if a.what == "stick":
        make_stick(a.img, a.dir)
        return 0
    kernel, initrd = build(a.build_mips, a.out)
    if a.what == "build":
        print(kernel)
        print(initrd)
        return 0
    os.makedirs(a.work, exist_ok=True)
    os.execvp("qemu-system-mips", qemu_args(kernel, initrd, a.work, a.stick, a.port, console="stdio"))


if __name__ == "__main__":
    sys.exit(main())
