# The box's process supervisor, standing in for OpenWrt's procd (which Debian
# does not package). /etc/rc.common hands it the instances that an init
# script's start_service describes; it starts them, watches them and applies
# procd's respawn rules:
#   - an instance with respawn that ends, and was not stopped by us, is started
#     again TIMEOUT seconds later, whatever its exit status or signal;
#   - an end less than THRESHOLD seconds after its start counts one crash, a
#     longer run sets the count back to 0; once the count exceeds RETRY (and
#     RETRY is above 0) the instance is left stopped ("crash loop"); RETRY 0
#     respawns for ever;
#   - a stop (service deleted) sends SIGTERM, forgets respawn, and sends
#     SIGKILL when the process has not ended after its term timeout (5 s).
# Instances are exec'd directly, so `ps` shows their own command lines.
#
# Requests arrive as files in /var/run/procd/ (written whole, then renamed to
# req.ID); the answer goes to req.ID.reply. Lines of a request:
#   set SERVICE | delete SERVICE | list [SERVICE]
#   instance NAME / arg WORD (one per command word) / respawn T TO R /
#   stdout 1 / stderr 1 / term_timeout S / env NAME=VALUE / end
# A delete is answered once the service's processes have ended.
#
# Its own events go to /var/log/procd.log, one line each: seconds of box time
# since it started (/var/run/procd.t0: that start on the /proc/uptime clock),
# then the text. With stdout/stderr 1 an instance's output is
# appended to /var/log/SERVICE.log (OpenWrt sends it to the system log).
#
# TIMEWARP=N (the time stand-in's setting, which the daemons inherit with the
# preload library) makes every length here 1/N as well, so the box's clock
# runs N times fast throughout.
import os
import select
import signal
import sys
import time

RUN = "/var/run/procd"
LOG = "/var/log/procd.log"
LOG_DIR = "/var/log"
TICK = 0.05
DEFAULT_RESPAWN = (3600, 5, 5)
DEFAULT_TERM_TIMEOUT = 5


def warp():
    try:
        f = float(os.environ.get("TIMEWARP", "1"))
        return f if f > 0 else 1.0
    except ValueError:
        return 1.0


WARP = warp()
T0 = time.monotonic()


def box_now():
    """Seconds of box time since the supervisor started."""
    return (time.monotonic() - T0) * WARP


def log(text):
    with open(LOG, "a") as f:
        f.write("%.2f %s\n" % (box_now(), text))


class Instance:
    def __init__(self, service, name):
        self.service = service
        self.name = name
        self.argv = []
        self.respawn = None  # (threshold, timeout, retry)
        self.stdout = False
        self.stderr = False
        self.term_timeout = DEFAULT_TERM_TIMEOUT
        self.env = []
        self.pid = 0
        self.started = 0.0
        self.crashes = 0
        self.restart_at = None  # box time of a pending respawn
        self.kill_at = None     # box time to send SIGKILL after a stop
        self.stopping = False
        self.crash_loop = False

    def label(self):
        return "%s::%s" % (self.service, self.name)

    def same(self, other):
        return (self.argv, self.respawn, self.stdout, self.stderr, self.term_timeout, self.env) == \
            (other.argv, other.respawn, other.stdout, other.stderr, other.term_timeout, other.env)


services = {}   # service -> {instance name -> Instance}
by_pid = {}     # pid -> Instance
waiting = []    # (reply path, service): deletes answered once the service has ended


def start(inst):
    inst.restart_at = None
    if not inst.argv:
        log("%s has no command" % inst.label())
        return
    out = None
    if inst.stdout or inst.stderr:
        out = os.open("%s/%s.log" % (LOG_DIR, inst.service), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    pid = os.fork()
    if pid == 0:
        try:
            signal.signal(signal.SIGPIPE, signal.SIG_DFL)
            signal.signal(signal.SIGTERM, signal.SIG_DFL)
            os.setsid()
            os.chdir("/")
            null = os.open("/dev/null", os.O_RDWR)
            os.dup2(null, 0)
            os.dup2(out if (out is not None and inst.stdout) else null, 1)
            os.dup2(out if (out is not None and inst.stderr) else null, 2)
            env = dict(os.environ)
            for e in inst.env:
                k, _, v = e.partition("=")
                env[k] = v
            os.execvpe(inst.argv[0], inst.argv, env)
        except OSError:
            pass
        os._exit(127)
    if out is not None:
        os.close(out)
    inst.pid = pid
    inst.started = box_now()
    by_pid[pid] = inst
    log("%s started pid %d: %s" % (inst.label(), pid, " ".join(inst.argv)))


def stop(inst):
    """Stops an instance for good: no respawn."""
    inst.restart_at = None
    if inst.pid and not inst.stopping:
        inst.stopping = True
        inst.kill_at = box_now() + inst.term_timeout
        log("%s stopping pid %d (SIGTERM)" % (inst.label(), inst.pid))
        try:
            os.kill(inst.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass


def exited(pid, status):
    inst = by_pid.pop(pid, None)
    if inst is None:
        return  # an orphan reparented to us
    inst.pid = 0
    how = ("signal %d" % os.WTERMSIG(status)) if os.WIFSIGNALED(status) else ("status %d" % os.WEXITSTATUS(status))
    runtime = box_now() - inst.started
    if inst.stopping:
        inst.stopping = False
        inst.kill_at = None
        log("%s pid %d ended (%s) after its stop" % (inst.label(), pid, how))
        return
    if not inst.respawn:
        log("%s pid %d ended (%s), no respawn" % (inst.label(), pid, how))
        return
    threshold, timeout, retry = inst.respawn
    inst.crashes = inst.crashes + 1 if runtime < threshold else 0
    if retry > 0 and inst.crashes > retry:
        inst.crash_loop = True
        log("%s pid %d ended (%s): crash loop, %d crashes, left stopped" % (inst.label(), pid, how, inst.crashes))
        return
    inst.restart_at = box_now() + timeout
    log("%s pid %d ended (%s) after %.1f s, crash %d, respawn in %g s"
        % (inst.label(), pid, how, runtime, inst.crashes, timeout))


def parse(lines):
    """A set request's instances, in order."""
    insts = []
    cur = None
    for line in lines:
        word, _, rest = line.partition(" ")
        if word == "instance":
            cur = Instance("", rest or "instance%d" % (len(insts) + 1))
            insts.append(cur)
        elif cur is None:
            continue
        elif word == "arg":
            cur.argv.append(rest)
        elif word == "respawn":
            vals = list(DEFAULT_RESPAWN)
            for i, v in enumerate(rest.split()[:3]):
                try:
                    vals[i] = int(v)
                except ValueError:
                    pass
            cur.respawn = tuple(vals)
        elif word == "stdout":
            cur.stdout = rest.strip() == "1"
        elif word == "stderr":
            cur.stderr = rest.strip() == "1"
        elif word == "term_timeout":
            try:
                cur.term_timeout = int(rest)
            except ValueError:
                pass
        elif word == "env":
            cur.env.append(rest)
    return insts


def set_service(name, lines):
    """Starts the described instances; running ones that are unchanged stay."""
    old = services.get(name, {})
    new = {}
    for inst in parse(lines):
        inst.service = name
        prev = old.pop(inst.name, None)
        if prev and prev.same(inst) and (prev.pid or prev.restart_at is not None) and not prev.stopping:
            new[inst.name] = prev
            continue
        if prev:
            stop(prev)
        new[inst.name] = inst
        start(inst)
    for prev in old.values():
        stop(prev)
    services[name] = new


def delete_service(name):
    # A stopping instance stays in by_pid until it is reaped.
    for inst in services.pop(name, {}).values():
        stop(inst)
    log("service %s deleted" % name)


def service_ended(name):
    return not any(i.pid for i in by_pid.values() if i.service == name)


def listing(name):
    out = []
    for sname in sorted(services):
        if name and sname != name:
            continue
        for inst in services[sname].values():
            state = "running" if inst.pid and not inst.stopping else (
                "crashloop" if inst.crash_loop else ("respawning" if inst.restart_at is not None else "stopped"))
            out.append("%s %s %s %d %d" % (sname, inst.name, state, inst.pid, inst.crashes))
    return out


def answer(path, lines):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("".join(l + "\n" for l in lines))
    os.rename(tmp, path)


def take_requests():
    for entry in sorted(os.listdir(RUN)):
        if not entry.startswith("req.") or "." in entry[4:]:
            continue
        path = RUN + "/" + entry
        try:
            with open(path) as f:
                lines = f.read().split("\n")
            os.unlink(path)
        except OSError:
            continue
        verb, _, name = lines[0].partition(" ")
        reply = path + ".reply"
        if verb == "set":
            set_service(name, lines[1:])
            answer(reply, ["ok"])
        elif verb == "delete":
            delete_service(name)
            waiting.append((reply, name))
        elif verb == "list":
            answer(reply, ["ok"] + listing(name))
        else:
            answer(reply, ["error unknown request %s" % verb])


def timers():
    now = box_now()
    for inst in list(by_pid.values()):
        if inst.stopping and inst.kill_at is not None and now >= inst.kill_at:
            log("%s pid %d still there after %d s: SIGKILL" % (inst.label(), inst.pid, inst.term_timeout))
            inst.kill_at = None
            try:
                os.kill(inst.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    for insts in services.values():
        for inst in insts.values():
            if inst.restart_at is not None and now >= inst.restart_at and not inst.pid:
                start(inst)
    for reply, name in list(waiting):
        if service_ended(name):
            waiting.remove((reply, name))
            answer(reply, ["ok"])


def reap():
    while True:
        try:
            pid, status = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return
        exited(pid, status)


def main():
    os.makedirs(RUN, exist_ok=True)
    os.makedirs(LOG_DIR, exist_ok=True)
    # Where box time 0 lies on the clock of /proc/uptime, so that other logs
    # stamped from that clock can be set beside this one.
    with open("/proc/uptime") as f:
        up = float(f.read().split()[0]) - (time.monotonic() - T0)
    with open(RUN + ".t0", "w") as f:
        f.write("%.2f\n" % up)
    with open(RUN + ".pid", "w") as f:
        f.write("%d\n" % os.getpid())
    # Orphans of the instances (background DHCP clients and such) come to the
    # box's PID 1, as they would to procd on the box.
    r, w = os.pipe()
    os.set_blocking(w, False)
    signal.set_wakeup_fd(w)
    signal.signal(signal.SIGCHLD, lambda *_: None)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    log("procd stand-in ready (time x%g)" % WARP)
    while True:
        reap()
        take_requests()
        timers()
        if select.select([r], [], [], TICK)[0]:
            os.read(r, 512)


if __name__ == "__main__":
    main()
