# The watcher of a day in the box (the day test, the demo), inside the box:
# samples the process list (straight from /proc, about 40 times a second), the
# play-state file and the links. Every change becomes a line
# "TIME ps + NAME (pid N)" / "TIME ps - ...", "TIME playusb.xml ..." or
# "TIME link wifi up|down" / "TIME link eth0 cable in|out address A" in NOTES;
# two DHCP clients on one interface or two hostapd at one moment become a
# line in VIOLATIONS. TIME is box time: (/proc/uptime - T0) * WARP.
#   python3 box_watch.py T0 WARP NOTES VIOLATIONS
import fcntl
import os
import re
import socket
import struct
import sys
import time

DAEMONS = {"/usr/sbin/" + d: d for d in ("dorvu", "wan_watch", "wifi_survey", "renderer_ctl", "wifi_watch")}
PLAIN = {"hostapd", "wpa_supplicant", "velmar", "pravik"}
ONCE_ONLY = ("udhcpc(eth0)", "udhcpc(wlan1)", "hostapd")
PLAYUSB = "/etc/config/playusb.xml"

t0, warp = float(sys.argv[1]), float(sys.argv[2])
notes, violations = sys.argv[3], sys.argv[4]


def box_time():
    with open("/proc/uptime") as f:
        return (float(f.read().split()[0]) - t0) * warp


def cmdline(pid):
    try:
        with open("/proc/%s/cmdline" % pid, "rb") as f:
            return f.read().split(b"\0")[:-1]
    except OSError:
        return None


def stat_field(pid, n):
    """Field n of /proc/PID/stat counted from the state (3) on."""
    try:
        with open("/proc/%s/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[n - 3]
    except (OSError, IndexError):
        return None


def parent(pid):
    return stat_field(pid, 4)


def name_of(argv):
    if not argv:
        return None
    cmd = argv[0].decode(errors="replace")
    if cmd in DAEMONS:
        return DAEMONS[cmd]
    if cmd in PLAIN:
        return cmd
    if cmd == "udhcpc":
        words = [a.decode(errors="replace") for a in argv]
        if "-i" in words[:-1]:
            return "udhcpc(%s)" % words[words.index("-i") + 1]
    return None


def sample():
    seen = {}
    lines = {}
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            argv = cmdline(pid)
            if argv is not None:
                lines[pid] = argv
    for pid, argv in lines.items():
        name = name_of(argv)
        # A daemon's child between its fork and its exec still shows the
        # daemon's line: not a process of its own kind.
        if name and lines.get(parent(pid)) != argv:
            seen[(name, int(pid))] = True
    return set(seen)


def tag(text, t):
    m = re.search(r"<%s>([^<]*)" % t, text)
    return m.group(1) if m else ""


def play_state():
    try:
        with open(PLAYUSB) as f:
            text = f.read()
    except OSError:
        return None
    return "playstate=%s song=%s volume=%s url=%s" % (
        tag(text, "playstate"), tag(text, "songname"), tag(text, "volume"), tag(text, "url"))


# The client link as the box's status script reports it: the stand-in's switch.
WIFI_UP = "/box/out/fake/ClientStatus.sh.up"
SIOCGIFADDR = 0x8915


def ipv4(ifname):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        raw = fcntl.ioctl(s.fileno(), SIOCGIFADDR, struct.pack("256s", ifname.encode()[:15]))
        addr = socket.inet_ntoa(raw[20:24])
        return "" if addr == "0.0.0.0" else addr
    except OSError:
        return ""
    finally:
        s.close()


def links():
    out = ["link wifi %s" % ("up" if os.path.exists(WIFI_UP) else "down")]
    if not os.path.isdir("/sys/class/net/eth0"):
        return out  # no wired port in this box
    try:
        with open("/sys/class/net/eth0/carrier") as f:
            cable = "in" if f.read().strip() == "1" else "out"
    except OSError:  # the port is down
        cable = "out"
    out.append("link eth0 cable %s address %s" % (cable, ipv4("eth0") or "none"))
    return out


def main():
    prev = set()
    last_state = None
    last_links = []
    while True:
        now = sample()
        t = box_time()
        out = []
        gone = {n for n, _ in prev - now}
        for name, pid in sorted(now - prev):
            # A DHCP client that goes to the background (-b, no lease at
            # once) forks into a session of its own and its first process
            # ends: the same client, not a new one.
            how = ""
            if name.startswith("udhcpc") and name in gone and stat_field(pid, 6) == str(pid):
                how = " (the same client, gone to the background)"
            out.append("%.1f ps + %s (pid %d)%s\n" % (t, name, pid, how))
        for name, pid in sorted(prev - now):
            out.append("%.1f ps - %s (pid %d)\n" % (t, name, pid))
        if now != prev:
            for kind in ONCE_ONLY:
                pids = sorted(p for n, p in now if n == kind)
                if len(pids) > 1:
                    with open(violations, "a") as f:
                        f.write("%.1f %d at once: %s %s\n" % (t, len(pids), kind, " ".join(map(str, pids))))
        prev = now
        state = play_state()
        if state is not None and state != last_state:
            out.append("%.1f playusb.xml %s\n" % (t, state))
            last_state = state
        now_links = links()
        out += ["%.1f %s\n" % (t, l) for l in now_links if l not in last_links]
        last_links = now_links
        if out:
            with open(notes, "a") as f:
                f.write("".join(out))
        time.sleep(0.025)


main()
