#!/usr/bin/env python3
"""The whole box on the emulated board (QEMU's Malta, -icount: 500 M guest
instructions a guest second, near the box's 580 MHz core), from the guest's
own accounting: boot time, the stick's plug to the first sample, CPU idle
and playing each kind of song (whole box, per program, processes started
per second), MemAvailable and each daemon's VmRSS. Prints figures only.
Goals: the box playing mp3 at most 8 % of the core, idle at most 3 %; the
eight programs together at most 10 MB resident; no OOM kill during an upload
while the box plays.
    bench/board_figures.sh [SECONDS]   (window per figure, default 30)"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "board"))
import lane  # noqa: E402

WINDOW = int(sys.argv[1]) if len(sys.argv) > 1 else 30
PROGRAMS = lane.DAEMONS + ["udhcpc", "httpd", "board_procd", "sh"]
# One song of each kind the goals name, long enough for a window.
KINDS = [("mp3", ["-c:a", "libmp3lame", "-b:a", "192k"]), ("flac", ["-c:a", "flac", "-sample_fmt", "s16"]),
         ("m4a", ["-c:a", "aac", "-b:a", "128k"]), ("wma", ["-c:a", "wmav2", "-b:a", "128k"])]

SNAP = ("cat /proc/uptime; head -n1 /proc/stat; grep -E '^processes' /proc/stat; "
        "for p in /proc/[0-9]*; do [ -r $p/stat ] && echo \"$(cat $p/stat)\"; done 2>/dev/null; true")


def snapshot(b):
    out = b.out(SNAP).splitlines()
    up = float(out[0].split()[0])
    cpu = [int(x) for x in out[1].split()[1:]]
    procs = int(out[2].split()[1])
    per = {}
    for line in out[3:]:
        try:
            pid = int(line.split()[0])
            comm = line[line.index("(") + 1:line.rindex(")")]
            f = line[line.rindex(")") + 2:].split()
            per[pid] = (comm, int(f[11]) + int(f[12]))  # utime + stime, in ticks
        except (ValueError, IndexError):
            continue
    return up, cpu, procs, per


def cpu_window(b, secs):
    """Busy share of the core over secs of guest time, per program, and the
    processes started per second."""
    u0, c0, p0, per0 = snapshot(b)
    b.sh("sleep %d" % secs, timeout=secs * 20 + 60)
    u1, c1, p1, per1 = snapshot(b)
    total = sum(c1) - sum(c0)
    idle = (c1[3] - c0[3]) + (c1[4] - c0[4])
    by = {}
    for pid, (comm, t) in per1.items():
        t0 = per0.get(pid, (comm, 0))[1] if per0.get(pid, ("", 0))[0] == comm else 0
        by[comm] = by.get(comm, 0) + t - t0
    gone = total - idle - sum(by.values())  # short-lived processes, the kernel's own work
    return 100.0 * (total - idle) / total, {k: 100.0 * v / total for k, v in by.items() if v > 0}, \
        (p1 - p0) / (u1 - u0), 100.0 * gone / total


def mem(b):
    avail = int(b.out("grep MemAvailable /proc/meminfo").split()[1])
    rss = {}
    for line in b.out("for d in %s fw_upgrade udisk_scan nor; do for p in $(pidof $d); do "
                      "echo $d $(grep VmRSS /proc/$p/status); done; done" % " ".join(lane.DAEMONS)).splitlines():
        f = line.split()
        if len(f) >= 3:
            rss[f[0]] = rss.get(f[0], 0) + int(f[2])
    return avail, rss


def show_cpu(label, r):
    busy, by, starts, other = r
    top = ", ".join("%s %.2f" % (k, v) for k, v in sorted(by.items(), key=lambda kv: -kv[1])[:8])
    print("cpu %-6s %6.2f %% of the core  (%s; processes gone within the window and the kernel %.2f) "
          "%.2f processes started/s" % (label, busy, top, other, starts), flush=True)


def main():
    work = lane.workdir()
    songs = os.path.join(work, "songs")
    os.makedirs(songs)
    secs = WINDOW + 20
    for kind, opts in KINDS:
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", lane.tone(secs, 44100, 2)]
                       + opts + [os.path.join(songs, "song." + kind)], check=True)
    stick = os.path.join(work, "stick.img")
    lane.board.make_stick(stick, songs)
    port = lane.free_port()
    b = lane.new_board(work, port=port, icount=True)
    t0 = time.time()
    try:
        up = b.power_on()
        wall = time.time() - t0
        b.wait_for(" && ".join("pidof %s >/dev/null" % d for d in lane.DAEMONS), 60)
        # The supervisor stamps its events from its own start, which
        # /var/run/procd.t0 gives on the uptime clock.
        t0 = float(b.out("cat /var/run/procd.t0").split()[0])
        starts = b.out("for d in %s; do grep -m1 \"^[0-9.]* $d::.* started\" /var/log/procd.log; done"
                       % " ".join(lane.DAEMONS))
        last = t0 + max(float(l.split()[0]) for l in starts.splitlines())
        print("boot: power-on to the five daemons running %.2f s (guest clock), start-up done %.2f s; "
              "%.1f s of host time" % (last, up, wall), flush=True)
        b.sh("sleep 10")
        avail, rss = mem(b)
        show_cpu("idle", cpu_window(b, WINDOW))
        print("memory idle: MemAvailable %d kB; VmRSS kB: %s; the five together %d kB"
              % (avail, ", ".join("%s %d" % kv for kv in sorted(rss.items())), sum(rss.values())), flush=True)

        # The stick plugged: to mounted, and to the first sample of a song.
        b.out("/etc/init.d/dorvu stop")
        plug = float(b.out("cut -d' ' -f1 /proc/uptime"))
        b.monitor("drive_add 0 if=none,id=stick,file=%s,format=raw" % stick)
        b.monitor("device_add usb-storage,bus=ohci.0,drive=stick,id=ustick")
        b.wait_for("grep -q ' /tmp/mnt/sda1 ' /proc/mounts", 30, 0.1)
        mounted = float(b.out("cut -d' ' -f1 /proc/uptime"))
        b.out("udisk_scan; /etc/init.d/dorvu start")
        b.wait_for("[ \"$(cat /sys/module/i2s_board/parameters/first_write_ms)\" -gt %d ]" % int(mounted * 1000), 120, 0.1)
        first = int(b.out("cat /sys/module/i2s_board/parameters/first_write_ms")) / 1000.0
        print("stick: plugged to mounted %.2f s, to the first sample %.2f s (scan and player start included; "
              "guest clock)" % (mounted - plug, first - plug), flush=True)

        for kind, _ in KINDS:
            url = "/tmp/mnt/sda1/song." + kind
            b.out(". /etc/board/web_iface.sh; web_set url %s" % url)
            b.wait_for("grep -q '<playstate>PLAYING' /etc/config/playusb.xml && "
                       "grep -q '<url>%s<' /etc/config/playusb.xml" % url, 60)
            b.sh("sleep 3")
            r = cpu_window(b, WINDOW)
            show_cpu(kind, r)
            if kind == "mp3":
                avail, rss = mem(b)
                print("memory playing mp3: MemAvailable %d kB; dorvu VmRSS %d kB" % (avail, rss.get("dorvu", 0)),
                      flush=True)
        # An upload while the box plays: the lowest MemAvailable, any OOM kill.
        img = os.path.join(work, "good.img")
        subprocess.run([sys.executable, os.path.join(lane.SRC, "tests", "fw_upgrade", "fw_fixture.py"),
                        "image", img], check=True)
        # Every 50 ms, with the shell's own read (no process per sample): the
        # image is both in fw_upgrade's buffer and staged in /tmp for a moment.
        b.spawn("while :; do read t i </proc/uptime; while read k v u; do [ $k = MemAvailable: ] && break; done "
                "</proc/meminfo; echo $t MemAvailable $v; sleep 0.05; done >/tmp/avail.log", "/tmp/avail.pid")
        answer = subprocess.run(["curl", "-s", "-m", "600", "-F", "firmware=@%s;type=application/octet-stream" % img,
                                 "http://127.0.0.1:%d/cgi-bin/fw_upgrade" % port],
                                stdout=subprocess.PIPE, text=True).stdout.strip()
        b.out("kill $(cat /tmp/avail.pid)")
        samples = [l.split() for l in b.out("cat /tmp/avail.log").splitlines() if "MemAvailable" in l]
        low = min(int(f[2]) for f in samples)
        print("memory samples during the upload: %d over %.1f s of guest time"
              % (len(samples), float(samples[-1][0]) - float(samples[0][0])), flush=True)
        oom = b.sh("dmesg | grep -i -c 'out of memory\\|oom-kill'")[1].strip()
        print("memory during an upload while playing: lowest MemAvailable %d kB; OOM kills: %s; the upload's "
              "answer %r" % (low, oom, answer[:40]), flush=True)
    finally:
        b.close()
    print("machine: %s, %s" % (os.uname().nodename, time.strftime("%Y-%m-%d")))


main()
