# The box's root, assembled on a scratch tmpfs from the host's folders and the
# box's profile (box_profile.py), one area after the other: the scratch
# space, the host's folders, the userland (/usr, /etc), /tmp with the disk,
# /dev, /box with the stand-ins, the kernel's file systems.
import os
import shutil
import subprocess

from box_sys import bind, die, mount, tmpfs, try_mount
import box_profile

HERE = os.path.dirname(os.path.abspath(__file__))
SRC_ROOT = os.path.dirname(os.path.dirname(HERE))
# Helpers of the box itself, on PATH through /box/lib.
BOX_LIB = ["fakes/" + box_profile.HELPER, "fakes/" + box_profile.PLAIN, "box_fake_daemon",
           "sleeper.c", "box_cable", "box_boot"]
# Host top-level folders not carried into the box: the box's own, the pseudo
# file systems it mounts fresh, and the host's machinery.
SKIP = "proc sys dev tmp var run box mnt old_root lost+found".split()


def under(path, folder):
    return (path.rstrip("/") + "/").startswith(folder.rstrip("/") + "/")


def find_uci(o):
    dirs = o["bin"] + ([o["build"] + "/bin"] if o.get("build") else [])
    for d in dirs:
        if os.access(d + "/uci", os.X_OK):
            return d + "/uci"
    return None


def visible_folders(o):
    """The host's folders the box must show at their own paths."""
    return [SRC_ROOT] + o["bin"] + o["share"] + ([o["build"]] if o.get("build") else [])


def scratch_space(o):
    """A tmpfs on a host folder the box does not need (and no kept folder lies
    under): it holds the root and the overlays' upper layers."""
    keep = visible_folders(o) + [o[k] for k in ("disk", "config", "flash", "out") if o.get(k)]
    scratch = next((d for d in ("/run", "/srv", "/media")
                    if os.path.isdir(d) and not any(under(k, d) for k in keep)), None)
    if not scratch:
        die("no folder to mount the scratch space on")
    tmpfs(scratch, name="boxscratch")
    for d in ("root", "ovl/usr/up", "ovl/usr/work", "ovl/etc/up", "ovl/etc/work"):
        os.makedirs(scratch + "/" + d)
    return scratch


def pc_folders(root, scratch):
    """The host's top-level folders bound (links kept as links), the box's own
    left empty, /var a link to /tmp."""
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


def usr_path(path):
    """Where a box path lies in the /usr overlay (/lib/... is /usr/lib/... on the host)."""
    if path.startswith("/lib/"):
        path = "/usr" + path
    if not under(path, "/usr"):
        die("the profile's %s lies outside /usr and /lib" % path)
    return path[len("/usr"):]


def install(source, target):
    shutil.copy(source, target)
    os.chmod(target, 0o755)


def userland(root, ovl, o, profile):
    """/usr: BusyBox as sh and the profile's applets, a ps that takes -w, the
    box's folders and the stand-ins found there, the build's UCI command;
    /etc: an overlay with /etc/config a private tmpfs."""
    up = ovl + "/usr/up"
    for d in ["/bin", "/sbin"] + [usr_path(f) for f in profile.folders]:
        os.makedirs(up + d, exist_ok=True)
    busybox = shutil.which("busybox")
    if not busybox:
        die("busybox is not installed")
    for applet in profile.applets:
        os.symlink(busybox, up + "/bin/" + applet)
        # A host tool of the same name in /usr/sbin would come first on PATH.
        if os.path.lexists("/usr/sbin/" + applet):
            os.symlink(busybox, up + "/sbin/" + applet)
    shutil.copy(HERE + "/ps", up + "/bin/ps")
    # /sbin/uci, where OpenWrt has it: the build's UCI stand-in command.
    uci = find_uci(o)
    if uci:
        os.symlink(uci, up + "/sbin/uci")
    for name, folder in profile.at.items():
        install(profile.standins[name], up + usr_path(folder) + "/" + name)
    mount("overlay", root + "/usr", "overlay", 0,
          "lowerdir=/usr,upperdir=%s,workdir=%s" % (up, ovl + "/usr/work"))
    mount("overlay", root + "/etc", "overlay", 0,
          "lowerdir=/etc,upperdir=%s,workdir=%s" % (ovl + "/etc/up", ovl + "/etc/work"))
    os.makedirs(root + "/etc/config", exist_ok=True)
    tmpfs(root + "/etc/config")
    if o.get("config"):
        shutil.copytree(o["config"], root + "/etc/config", symlinks=True, dirs_exist_ok=True)


def tmp_and_disk(root, o):
    """/tmp, with the USB disk as a mount of its own, as the box has it."""
    tmpfs(root + "/tmp", mode="1777")
    for d in ("run", "lock", "state", "mnt"):
        os.mkdir(root + "/tmp/" + d)
    os.mkdir(root + "/tmp/.uci", 0o700)  # UCI's pending changes
    if o.get("no_disk") != "1":
        os.mkdir(root + "/tmp/mnt/sda1")
        tmpfs(root + "/tmp/mnt/sda1", name="/dev/sda1")
        if o.get("disk"):
            shutil.copytree(o["disk"], root + "/tmp/mnt/sda1", symlinks=True, dirs_exist_ok=True)


def devices(root, o):
    """/dev: a few nodes bound from the host, private pts and shm, the flash."""
    dev = root + "/dev"
    tmpfs(dev)
    for n in ("null", "zero", "full", "random", "urandom", "tty"):
        open(dev + "/" + n, "w").close()
        bind("/dev/" + n, dev + "/" + n)
    os.mkdir(dev + "/pts")
    os.mkdir(dev + "/shm")
    if not try_mount("devpts", dev + "/pts", "devpts", 0, "newinstance,ptmxmode=0666,mode=620"):
        bind("/dev/pts", dev + "/pts")
    os.symlink("pts/ptmx", dev + "/ptmx")
    tmpfs(dev + "/shm", mode="1777")
    os.symlink("/proc/self/fd", dev + "/fd")
    for i, n in enumerate(("stdin", "stdout", "stderr")):
        os.symlink("/proc/self/fd/%d" % i, dev + "/" + n)
    if o.get("flash"):
        open(dev + "/mtdblock0", "w").close()
        bind(o["flash"], dev + "/mtdblock0")


def box_folder(root, o, profile):
    """/box: the test's window (out), the helpers and the profile (lib), the
    stand-ins on PATH (fakes), the sandbox's own runtime files (run)."""
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
        shutil.copy(HERE + "/" + f, box + "/lib/")
    shutil.copy(box_profile.PROFILE, box + "/lib/profile")
    # With a cable upstream the DHCP client is BusyBox's real one.
    if o.get("upstream"):
        os.symlink(shutil.which("busybox"), root + "/usr/sbin/udhcpc")
    names = [n for n in profile.standins if n not in profile.at and not (o.get("upstream") and n == "udhcpc")]
    for name in names + o["fake"]:
        link = box + "/fakes/" + name
        if os.path.lexists(link):
            continue
        if name in profile.standins:
            install(profile.standins[name], link)
        else:
            os.symlink("/box/lib/" + box_profile.PLAIN, link)


def kernel_fs(root, o):
    """The box's own /proc (cache drops recorded in /box/out) and /sys."""
    mount("proc", root + "/proc", "proc")
    bind(root + "/box/out/drop_caches", root + "/proc/sys/vm/drop_caches")
    if not try_mount("sysfs", root + "/sys", "sysfs"):
        if o.get("upstream"):
            die("cannot mount a fresh sysfs: /sys/class/net would show the host's links")
        bind("/sys", root + "/sys", rec=True)
    if o.get("net") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)


def hidden_folders(root, o, scratch):
    """Host folders that the box's /tmp (or another skipped folder) hides: the
    tree, the build and whatever was asked for stay visible at their paths."""
    for d in visible_folders(o):
        top = d.lstrip("/").split("/")[0]
        if (top in SKIP or "/" + top == scratch) and os.path.isdir(d):
            os.makedirs(root + d, exist_ok=True)
            bind(d, root + d, rec=True)


def build_root(o):
    """The box's root for the settings o, all but hidden_folders (the caller
    binds those last, once the upstream cable is in place)."""
    try:
        profile = box_profile.load()
    except (OSError, box_profile.ProfileError) as e:
        die("the box's profile: %s" % e)
    scratch = scratch_space(o)
    root = scratch + "/root"
    pc_folders(root, scratch)
    userland(root, scratch + "/ovl", o, profile)
    tmp_and_disk(root, o)
    devices(root, o)
    box_folder(root, o, profile)
    kernel_fs(root, o)
    return root, scratch
