# PID 1 of the box: started by boxrun inside fresh mount+PID(+network)
# namespaces. Builds the box's root (box_root.py), runs the command
# chrooted in it as a child, reaps every orphan (so killed daemons never linger
# as zombies in `ps`) and exits with the command's status.
#
# Its settings arrive on fd 3 as NUL-separated "name=value" records, then "--"
# and the command's words, so that this process line shows none of them.
import ctypes
import os
import shutil
import select
import signal
import socket
import subprocess
import sys
import threading

# -I keeps this folder off the module path; the box's own modules live here.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from box_sys import die, libc  # noqa: E402
import box_root  # noqa: E402

# --boot: the OpenWrt package whose install rules and init scripts are used.
PACKAGE = os.path.join(box_root.SRC_ROOT, "openwrt", "music-box")

# --upstream: the box's eth0 is one end of a veth pair, enslaved to a real
# br-lan; the other end lies in an upstream namespace of its own. Its name
# holds neither "eth0" nor "udhcpc": the box's daemons grep `ps` for those.
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


def read_settings():
    with os.fdopen(3, "rb") as f:
        words = f.read().split(b"\0")
    if words and words[-1] == b"":
        words.pop()
    words = [w.decode("utf-8", "surrogateescape") for w in words]
    cut = words.index("--")
    opts = {"env": [], "fake": [], "bin": [], "share": [], "daemon": []}
    for rec in words[:cut]:
        name, _, value = rec.partition("=")
        if name in opts and isinstance(opts[name], list):
            opts[name].append(value)
        else:
            opts[name] = value
    return opts, words[cut + 1:]


def package_files():
    """(source, box path) of each $(INSTALL_BIN) rule of the package Makefile:
    sources "./files/X" are the package's own files, "$(PKG_INSTALL_DIR)/P"
    the built program P."""
    rules = []
    with open(PACKAGE + "/Makefile") as f:
        for line in f:
            words = line.split()
            if len(words) != 3 or words[0] != "$(INSTALL_BIN)":
                continue
            src, dst = words[1], words[2].replace("$(1)", "")
            if dst.endswith("/"):
                dst += os.path.basename(src)
            rules.append((src, dst))
    return rules


def install_package(root, o):
    """--boot: the package's init scripts and programs where it installs them,
    and /etc/rc.common for the scripts."""
    dirs = o["bin"] + ([o["build"] + "/bin"] if o.get("build") else [])
    for src, dst in package_files():
        if src.startswith("./files/"):
            path = PACKAGE + "/" + src[2:]
        else:
            name = os.path.basename(src)
            path = next((d + "/" + name for d in dirs if os.access(d + "/" + name, os.X_OK)), None)
            if not path:
                sys.stderr.write("boxrun: --boot: %s was not built; %s is left out\n" % (name, dst))
                continue
        os.makedirs(os.path.dirname(root + dst), exist_ok=True)
        shutil.copy(path, root + dst)
        os.chmod(root + dst, 0o755)
    shutil.copy(box_root.HERE + "/rc.common", root + "/etc/rc.common")
    os.chmod(root + "/etc/rc.common", 0o755)


def spawn(root, cwd, argv, env):
    pid = os.fork()
    if pid == 0:
        try:
            # Python ignores these; the box's programs must not inherit that.
            signal.signal(signal.SIGPIPE, signal.SIG_DFL)
            signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
            os.chroot(root)
            try:
                os.chdir(cwd)
            except OSError:
                os.chdir("/")
            os.execvpe(argv[0], argv, env)
        except OSError as e:
            sys.stderr.write("boxrun: %s: %s\n" % (argv[0], e.strerror))
            os._exit(127 if isinstance(e, FileNotFoundError) else 126)
    return pid


# The box's web server on its loopback: BusyBox httpd serving /usr/mips/www,
# whose cgi-bin/ leads to the box's CGI folder /usr/mips/cgi-bin.
HTTPD = ["busybox", "httpd", "-p", "127.0.0.1:80", "-h", "/usr/mips/www"]


def start_httpd(root, env):
    os.symlink("/usr/mips/cgi-bin", root + "/usr/mips/www/cgi-bin")
    # It listens before it goes to the background, so it serves once this returns.
    _, st = os.waitpid(spawn(root, "/", HTTPD, env), 0)
    if status_of(st) != 0:
        die("cannot start the web server")


# --web: the web interface stand-in's pages and CGIs (host/web/), and the PC's
# end of the web server (fd 4, listening on the PC's loopback).
WEB_SRC = os.path.join(box_root.SRC_ROOT, "host", "web")
WEB_FD = 4


def install_web(root):
    shutil.copytree(WEB_SRC + "/www", root + "/usr/mips/www", dirs_exist_ok=True)
    cgi = root + "/usr/mips/cgi-bin/web"
    shutil.copytree(WEB_SRC + "/cgi-bin", cgi, dirs_exist_ok=True)
    shutil.copy(box_root.HERE + "/web_iface.sh", cgi + "/web_iface.sh")
    for name in os.listdir(cgi):
        os.chmod(cgi + "/" + name, 0o755)


def relay(pc):
    """Carries one connection from the PC to the box's web server and back."""
    box = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        box.connect(("127.0.0.1", 80))
        to = {pc: box, box: pc}  # the open reading ends and where they go
        while to:
            ready = select.select(list(to), [], [], 300)[0]
            if not ready:
                break  # idle for five minutes: a client that went away
            for s in ready:
                data = s.recv(65536)
                if data:
                    to[s].sendall(data)
                    continue
                # One side finished sending: pass the end on, keep the other way.
                try:
                    to[s].shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                del to[s]
    except OSError:
        pass
    finally:
        box.close()
        pc.close()


def serve_pc(listener):
    while True:
        pc, _ = listener.accept()
        threading.Thread(target=relay, args=(pc,), daemon=True).start()


def open_web(root):
    listener = socket.socket(fileno=WEB_FD)
    # /box/out: the --out folder when there is one, where the PC reads it.
    with open(root + "/box/out/web_port", "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    return listener


def status_of(st):
    return 128 + os.WTERMSIG(st) if os.WIFSIGNALED(st) else os.WEXITSTATUS(st)


def main():
    # As PID 1 a default disposition means "ignored": Ctrl-C ends the command
    # (same process group), and then the box, without a Python traceback here.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    o, command = read_settings()
    root, scratch = box_root.build_root(o)
    if o.get("upstream"):
        setup_upstream(root, o["upstream"])
    box_root.hidden_folders(root, o, scratch)
    path = ":".join(["/box/fakes"] + o["bin"] + ["/usr/sbin", "/usr/bin", "/sbin", "/bin", "/box/lib"])
    env = {"PATH": path, "HOME": "/root", "USER": "root", "LOGNAME": "root", "SHELL": "/bin/sh",
           "TERM": os.environ.get("TERM", "dumb")}
    for e in o["env"]:
        name, _, value = e.partition("=")
        env[name] = value

    for line in o["daemon"]:
        pid = spawn(root, "/", ["box_fake_daemon"] + line.split(), env)
        _, st = os.waitpid(pid, 0)
        if status_of(st) != 0:
            die("cannot start the daemon '%s'" % line)

    listener = None
    if o.get("web") == "1":
        listener = open_web(root)
        install_web(root)
    if o.get("httpd") == "1":
        start_httpd(root, env)

    if o.get("boot") == "1":
        install_package(root, o)
        _, st = os.waitpid(spawn(root, "/", ["/box/lib/box_boot"], env), 0)
        if status_of(st) != 0:
            die("the box did not boot")

    # The command is a child, not PID 1 (as on the box). Orphans come to us;
    # reap them all until the command itself ends.
    child = spawn(root, o.get("cwd", "/"), command, env)
    if listener:
        threading.Thread(target=serve_pc, args=(listener,), daemon=True).start()
    while True:
        pid, st = os.waitpid(-1, 0)
        if pid == child:
            sys.exit(status_of(st))


if __name__ == "__main__":
    main()
