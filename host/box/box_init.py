# PID 1 of the box: started by boxrun inside fresh mount+PID(+network)
# namespaces. Builds the box's root on a scratch tmpfs, runs the command
# chrooted in it as a child, reaps every orphan (so killed daemons never linger
# as zombies in `ps`) and exits with the command's status.
#
# Its settings arrive on fd 3 as NUL-separated "name=value" records, then "--"
# and the command's words, so that this process line shows none of them.
# Mounts are made with mount(2) directly: one process instead of dozens.
import ctypes
import os
import shutil
import signal
import subprocess
import sys

SANDBOX_FAILED = 125

# The applets the box's scripts use, taken from BusyBox as on the box.
APPLETS = "sh ash killall pidof grep egrep fgrep awk sed wc ifconfig brctl kill sync rm echo date".split()
# Outside commands that are always stand-ins (udhcpc too: a real one would
# reconfigure the host's network when there is no --net).
FAKES = "reboot wifi hostapd cfg gorlin quorin udhcpc".split()
# Helpers of the box itself, on PATH through /box/lib.
BOX_LIB = ["fakes/fake", "fakes/box_fake_daemon", "sleeper.c", "box_cable", "box_boot"]
# --boot: the OpenWrt package whose install rules and init scripts are used.
PACKAGE = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                       "openwrt", "music-box")
FAKE_PATHS = ["/usr/mips/cgi-bin/script/ClientStatus.sh", "/lib/wifi/wpa_supplicant_satrt.sh"]
# Host top-level folders not carried into the box: the box's own, the pseudo
# file systems it mounts fresh, and the host's machinery.
SKIP = "proc sys dev tmp var run box mnt old_root lost+found".split()

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

MS_RDONLY = 1
MS_BIND = 4096
MS_REC = 16384

libc = ctypes.CDLL(None, use_errno=True)
here = os.path.dirname(os.path.abspath(__file__))
src_root = os.path.dirname(os.path.dirname(here))


def die(msg):
    sys.stderr.write("boxrun: %s\n" % msg)
    sys.exit(SANDBOX_FAILED)


def mount(source, target, fstype=None, flags=0, data=None):
    enc = lambda s: s.encode() if s is not None else None
    if libc.mount(enc(source), enc(target), enc(fstype), flags, enc(data)) != 0:
        err = ctypes.get_errno()
        die("cannot mount %s on %s: %s" % (source, target, os.strerror(err)))


def bind(source, target, rec=False):
    mount(source, target, None, MS_BIND | (MS_REC if rec else 0))


def tmpfs(target, mode="755", name="tmpfs"):
    mount(name, target, "tmpfs", 0, "mode=" + mode)


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


def under(path, folder):
    return (path.rstrip("/") + "/").startswith(folder.rstrip("/") + "/")


def find_uci(o):
    dirs = o["bin"] + ([o["build"] + "/bin"] if o.get("build") else [])
    for d in dirs:
        if os.access(d + "/uci", os.X_OK):
            return d + "/uci"
    return None


def build_root(o):
    keep = [src_root] + o["bin"] + o["share"]
    keep += [o[k] for k in ("build", "disk", "config", "flash", "out") if o.get(k)]
    scratch = next((d for d in ("/run", "/srv", "/media")
                    if os.path.isdir(d) and not any(under(k, d) for k in keep)), None)
    if not scratch:
        die("no folder to mount the scratch space on")
    tmpfs(scratch, name="boxscratch")
    root = scratch + "/root"
    ovl = scratch + "/ovl"
    for d in (root, ovl + "/usr/up", ovl + "/usr/work", ovl + "/etc/up", ovl + "/etc/work"):
        os.makedirs(d)

    skipped = set(SKIP) | {"usr", "etc", scratch.lstrip("/")}
    for name in sorted(os.listdir("/")):
        entry = "/" + name
        target = root + entry
        if name in skipped:
            if name != "var":
                os.mkdir(target)
        elif os.path.islink(entry):
            os.symlink(os.readlink(entry), target)
        elif os.path.isdir(entry):
            os.mkdir(target)
            bind(entry, target, rec=True)
    for name in skipped - set(os.listdir(root)) - {"var"}:
        os.mkdir(root + "/" + name)
    os.symlink("/tmp", root + "/var")

    # /usr: BusyBox as sh and the listed applets, a ps that takes -w, the
    # box's web folders, the path-named stand-ins.
    up = ovl + "/usr/up"
    for d in ("bin", "sbin", "mips/www", "mips/cgi-bin/script", "lib/wifi"):
        os.makedirs(up + "/" + d, exist_ok=True)
    busybox = shutil.which("busybox")
    if not busybox:
        die("busybox is not installed")
    for applet in APPLETS:
        os.symlink(busybox, up + "/bin/" + applet)
        # A host tool of the same name in /usr/sbin would come first on PATH.
        if os.path.lexists("/usr/sbin/" + applet):
            os.symlink(busybox, up + "/sbin/" + applet)
    shutil.copy(here + "/ps", up + "/bin/ps")
    # /sbin/uci, where OpenWrt has it: the build's UCI stand-in command.
    uci = find_uci(o)
    if uci:
        os.symlink(uci, up + "/sbin/uci")
    for p in FAKE_PATHS:
        p = "/usr" + p if p.startswith("/lib/") else p
        os.symlink("/box/lib/fake", up + p[len("/usr"):])
    mount("overlay", root + "/usr", "overlay", 0,
          "lowerdir=/usr,upperdir=%s,workdir=%s" % (up, ovl + "/usr/work"))
    mount("overlay", root + "/etc", "overlay", 0,
          "lowerdir=/etc,upperdir=%s,workdir=%s" % (ovl + "/etc/up", ovl + "/etc/work"))
    os.makedirs(root + "/etc/config", exist_ok=True)
    tmpfs(root + "/etc/config")
    if o.get("config"):
        shutil.copytree(o["config"], root + "/etc/config", symlinks=True, dirs_exist_ok=True)

    # /tmp, with the USB disk as a mount of its own, as the box has it.
    tmpfs(root + "/tmp", mode="1777")
    for d in ("run", "lock", "state", "mnt"):
        os.mkdir(root + "/tmp/" + d)
    os.mkdir(root + "/tmp/.uci", 0o700)  # UCI's pending changes
    if o.get("no_disk") != "1":
        os.mkdir(root + "/tmp/mnt/sda1")
        tmpfs(root + "/tmp/mnt/sda1", name="/dev/sda1")
        if o.get("disk"):
            shutil.copytree(o["disk"], root + "/tmp/mnt/sda1", symlinks=True, dirs_exist_ok=True)

    # /dev: a few nodes bound from the host, private pts and shm, the flash.
    dev = root + "/dev"
    tmpfs(dev)
    for n in ("null", "zero", "full", "random", "urandom", "tty"):
        open(dev + "/" + n, "w").close()
        bind("/dev/" + n, dev + "/" + n)
    os.mkdir(dev + "/pts")
    os.mkdir(dev + "/shm")
    if libc.mount(b"devpts", (dev + "/pts").encode(), b"devpts", 0, b"newinstance,ptmxmode=0666,mode=620") != 0:
        bind("/dev/pts", dev + "/pts")
    os.symlink("pts/ptmx", dev + "/ptmx")
    tmpfs(dev + "/shm", mode="1777")
    os.symlink("/proc/self/fd", dev + "/fd")
    for i, n in enumerate(("stdin", "stdout", "stderr")):
        os.symlink("/proc/self/fd/%d" % i, dev + "/" + n)
    if o.get("flash"):
        open(dev + "/mtdblock0", "w").close()
        bind(o["flash"], dev + "/mtdblock0")

    # /box: the test's window (out), the stand-ins and their helpers.
    box = root + "/box"
    for d in ("out", "fakes", "lib", "run"):
        os.makedirs(box + "/" + d, exist_ok=True)
    if o.get("out"):
        bind(o["out"], box + "/out")
    else:
        tmpfs(box + "/out")
    os.makedirs(box + "/out/fake", exist_ok=True)
    for f in ("journal", "drop_caches"):
        open(box + "/out/" + f, "a").close()
    for f in BOX_LIB:
        shutil.copy(here + "/" + f, box + "/lib/")
    # With a cable upstream the DHCP client is BusyBox's real one.
    fakes = [f for f in FAKES if not (o.get("upstream") and f == "udhcpc")]
    if o.get("upstream"):
        os.symlink(busybox, root + "/usr/sbin/udhcpc")
    for f in fakes + o["fake"]:
        link = box + "/fakes/" + f
        if not os.path.lexists(link):
            os.symlink("/box/lib/fake", link)

    mount("proc", root + "/proc", "proc")
    bind(box + "/out/drop_caches", root + "/proc/sys/vm/drop_caches")
    if libc.mount(b"sysfs", (root + "/sys").encode(), b"sysfs", 0, None) != 0:
        if o.get("upstream"):
            die("cannot mount a fresh sysfs: /sys/class/net would show the host's links")
        bind("/sys", root + "/sys", rec=True)
    if o.get("net") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)
    if o.get("upstream"):
        setup_upstream(root, o["upstream"])

    # Host folders that the box's /tmp (or another skipped folder) hides: the
    # tree, the build and whatever was asked for stay visible at their paths.
    for d in [src_root] + o["bin"] + o["share"] + ([o["build"]] if o.get("build") else []):
        top = d.lstrip("/").split("/")[0]
        if (top in SKIP or "/" + top == scratch) and os.path.isdir(d):
            os.makedirs(root + d, exist_ok=True)
            bind(d, root + d, rec=True)
    return root


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
    shutil.copy(here + "/rc.common", root + "/etc/rc.common")
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


def status_of(st):
    return 128 + os.WTERMSIG(st) if os.WIFSIGNALED(st) else os.WEXITSTATUS(st)


def main():
    # As PID 1 a default disposition means "ignored": Ctrl-C ends the command
    # (same process group), and then the box, without a Python traceback here.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    o, command = read_settings()
    root = build_root(o)
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
    while True:
        pid, st = os.waitpid(-1, 0)
        if pid == child:
            sys.exit(status_of(st))


if __name__ == "__main__":
    main()
