# --upstream: a WAN cable for the box. Its eth0 is one end of a veth pair in a
# real br-lan; the other end lies in an upstream network namespace held by a
# child of PID 1, with BusyBox's udhcpd serving leases there ("dhcp").
import ctypes
import os
import shutil
import signal
import subprocess

from box_sys import die, libc

# The upstream end's name holds neither "eth0" nor "udhcpc": the box's
# daemons grep `ps` for those.
UPSTREAM_IF = "wan0"
UPSTREAM_ADDR = "192.168.7.1"
CLONE_NEWNET = 0x40000000
DHCP_SCRIPT = """#!/bin/sh
# Sets the leased address on the interface, as the box's own script does.
case "$1" in
    deconfig) ifconfig "$interface" 0.0.0.0 ;;
    bound|renew) ifconfig "$interface" "$ip" netmask "${subnet:-255.255.255.0}" ;;
esac
exit 0
"""
UDHCPD_CONF = """start 192.168.7.100
end 192.168.7.199
max_leases 50
interface %s
lease_file /box/run/udhcpd.leases
pidfile /box/run/udhcpd.pid
option subnet 255.255.255.0
option router %s
""" % (UPSTREAM_IF, UPSTREAM_ADDR)

def ip(*args):
    """iproute2 (BusyBox's applet cannot make veths); returns its error text or ''."""
    r = subprocess.run(["/usr/sbin/ip"] + list(args), stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    if r.returncode == 0:
        return ""
    return r.stderr.strip() or "status %d" % r.returncode


def upstream_side(root, mode, go, reply):
    """Child of PID 1: holds the upstream network namespace for the box's life."""
    try:
        if libc.unshare(CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "unshare")
        os.write(reply, b"n")
        os.read(go, 1)  # the parent has moved the veth end in
        for args in (("link", "set", "lo", "up"),
                     ("addr", "add", UPSTREAM_ADDR + "/24", "dev", UPSTREAM_IF),
                     ("link", "set", UPSTREAM_IF, "up")):
            err = ip(*args)
            if err:
                raise OSError(0, "ip %s: %s" % (" ".join(args), err))
        if mode == "dhcp":
            log = os.open(root + "/box/out/udhcpd.log", os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
            subprocess.Popen(["udhcpd", "-f", "-a", "100", "/box/run/udhcpd.conf"],
                             executable=shutil.which("busybox"), stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, preexec_fn=lambda: (os.chroot(root), os.chdir("/")))
        signal.signal(signal.SIGCHLD, signal.SIG_IGN)
        os.write(reply, b"ok")
    except OSError as e:
        os.write(reply, ("upstream side: %s" % (e.strerror or e)).encode())
        os._exit(1)
    os.close(reply)
    while True:
        signal.pause()


def setup_upstream(root, mode):
    """eth0 in br-lan, its peer in a fresh upstream namespace (with udhcpd for 'dhcp')."""
    err = ip("link", "add", "eth0", "type", "veth", "peer", "name", UPSTREAM_IF)
    if err:
        die("the kernel refuses a veth pair (%s): --upstream needs veth and bridge support" % err)
    err = ip("link", "add", "br-lan", "type", "bridge")
    if err:
        die("the kernel refuses a bridge (%s): --upstream needs veth and bridge support" % err)
    for args in (("link", "set", "eth0", "master", "br-lan"), ("link", "set", "br-lan", "up"),
                 ("link", "set", "eth0", "up")):
        err = ip(*args)
        if err:
            die("ip %s: %s" % (" ".join(args), err))
    with open(root + "/box/run/udhcpd.conf", "w") as f:
        f.write(UDHCPD_CONF)
    os.makedirs(root + "/etc/udhcpc", exist_ok=True)
    with open(root + "/etc/udhcpc/default.script", "w") as f:
        f.write(DHCP_SCRIPT)
    os.chmod(root + "/etc/udhcpc/default.script", 0o755)

    go_r, go_w = os.pipe()
    rep_r, rep_w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(go_w)
        os.close(rep_r)
        upstream_side(root, mode, go_r, rep_w)
    os.close(go_r)
    os.close(rep_w)
    if os.read(rep_r, 200) != b"n":
        die("cannot make the upstream network namespace")
    err = ip("link", "set", UPSTREAM_IF, "netns", str(pid))
    os.write(go_w, b"g")
    if err:
        die("cannot move %s upstream: %s" % (UPSTREAM_IF, err))
    answer = os.read(rep_r, 200)
    if answer != b"ok":
        die(answer.decode(errors="replace") or "the upstream side failed")
    os.close(rep_r)
    os.close(go_w)
    with open(root + "/box/run/upstream.pid", "w") as f:
        f.write("%d\n" % pid)
