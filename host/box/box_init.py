# PID 1 of the box: started by boxrun inside fresh mount+PID(+network)
# namespaces. Builds the box's root (box_root.py), runs the command
# chrooted in it as a child, reaps every orphan (so killed daemons never linger
# as zombies in `ps`) and exits with the command's status.
#
# Its settings arrive on fd 3 as NUL-separated "name=value" records, then "--"
# and the command's words, so that this process line shows none of them.
import os
import shutil
import signal
import sys

# -I keeps this folder off the module path; the box's own modules live here.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from box_sys import die  # noqa: E402
import box_root  # noqa: E402
import box_upstream  # noqa: E402
import box_web  # noqa: E402

# --boot: the OpenWrt package whose install rules and init scripts are used.
PACKAGE = os.path.join(box_root.SRC_ROOT, "openwrt", "music-box")


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


def status_of(st):
    return 128 + os.WTERMSIG(st) if os.WIFSIGNALED(st) else os.WEXITSTATUS(st)


def main():
    # As PID 1 a default disposition means "ignored": Ctrl-C ends the command
    # (same process group), and then the box, without a Python traceback here.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    o, command = read_settings()
    root, scratch = box_root.build_root(o)
    if o.get("upstream"):
        box_upstream.setup_upstream(root, o["upstream"])
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
        listener = box_web.open_web(root)
        box_web.install_web(root)
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
        box_web.serve(listener)
    while True:
        pid, st = os.waitpid(-1, 0)
        if pid == child:
            sys.exit(status_of(st))


if __name__ == "__main__":
    main()
