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
FAKE_PATHS = ["/usr/mips/cgi-bin/script/ClientStatus.sh", "/lib/wifi/wpa_supplicant_satrt.sh"]
# Host top-level folders not carried into the box: the box's own, the pseudo
# file systems it mounts fresh, and the host's machinery.
SKIP = "proc sys dev tmp var run box mnt old_root lost+found".split()

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
    for f in ("fakes/fake", "fakes/box_fake_daemon", "sleeper.c"):
        shutil.copy(here + "/" + f, box + "/lib/")
    for f in FAKES + o["fake"]:
        link = box + "/fakes/" + f
        if not os.path.lexists(link):
            os.symlink("/box/lib/fake", link)

    mount("proc", root + "/proc", "proc")
    bind(box + "/out/drop_caches", root + "/proc/sys/vm/drop_caches")
    if libc.mount(b"sysfs", (root + "/sys").encode(), b"sysfs", 0, None) != 0:
        bind("/sys", root + "/sys", rec=True)
    if o.get("net") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)

    # Host folders that the box's /tmp (or another skipped folder) hides: the
    # tree, the build and whatever was asked for stay visible at their paths.
    for d in [src_root] + o["bin"] + o["share"] + ([o["build"]] if o.get("build") else []):
        top = d.lstrip("/").split("/")[0]
        if (top in SKIP or "/" + top == scratch) and os.path.isdir(d):
            os.makedirs(root + d, exist_ok=True)
            bind(d, root + d, rec=True)
    return root


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

    # The command is a child, not PID 1 (as on the box). Orphans come to us;
    # reap them all until the command itself ends.
    child = spawn(root, o.get("cwd", "/"), command, env)
    while True:
        pid, st = os.waitpid(-1, 0)
        if pid == child:
            sys.exit(status_of(st))


if __name__ == "__main__":
    main()
