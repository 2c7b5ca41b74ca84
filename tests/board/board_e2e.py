#!/usr/bin/env python3
"""The box on the emulated Malta board, its own kernel and devices:
boot to the five daemons; a FAT32 stick mounted by the hotplug handler,
scanned and played with the same list, I2S requests and samples as the
MIPS lane's user-mode run; the WAN cable out and in; a firmware upload with
curl through the box's httpd; `nor set`, the board rebooted, `nor get`."""
import hashlib
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lane  # noqa: E402

t = lane.Checks("board_e2e")
work = lane.workdir()
disk = os.path.join(work, "songs")
# The MIPS lane's player disk: a song of each of the nine extensions and an album.
SONGS = ["a.mp3", "b.mp2", "c.flac", "d.wma", "e.aac", "f.wav", "g.m4a", "h.ac3", "album.ape"]
ENTRIES = len(SONGS) - 1 + 3  # the album is three tracks
lane.make_songs(disk, only=SONGS)
stick = os.path.join(work, "stick.img")
lane.board.make_stick(stick, disk)
port = lane.free_port()
b = lane.new_board(work, stick=stick, port=port)
try:
    up = b.power_on()
    t.note("booted: start-up done %.2f s after power-on (guest clock)" % up)

    # ---- the five daemons under the supervisor ----
    ok = b.wait_for(" && ".join("pidof %s >/dev/null" % d for d in lane.DAEMONS), 60)
    t.check(ok, "the five daemons run after the boot", b.sh("ps")[1])
    for d in lane.DAEMONS:
        t.eq(0, b.sh("/etc/init.d/%s running" % d)[0], "%s runs in the supervisor's view" % d)
    t.check("failed" not in b.out("cat /var/log/boot.log"), "every init script booted")
    # A background job ending while the console's shell waits for input
    # (SIGCHLD) must not end that shell and lose what is sent next.
    b.spawn("sleep 1", "/tmp/sleep.pid")
    time.sleep(3)
    t.eq((0, "still here\n"), b.sh("echo still here", timeout=20), "the console's shell outlives a job's end")

    # ---- the stick: hotplug mount, scan, play ----
    t.check(b.wait_for("grep -q ' /tmp/mnt/sda1 vfat ' /proc/mounts", 30),
            "the stick's partition is mounted at /tmp/mnt/sda1", b.sh("cat /proc/mounts; ls /dev")[1])
    ref = os.path.join(work, "usermode")
    lane.usermode_play(disk, ref, ENTRIES)
    st, _ = b.sh("/etc/init.d/dorvu stop; udisk_scan", timeout=600)
    t.eq(1, st, "udisk_scan on the board wrote a list")
    board_list = b.out("cat /tmp/mnt/sda1/.udisklist")
    with open(os.path.join(ref, "list")) as f:
        ref_list = f.read()
    # The same entries; each medium lists them in its own directory order.
    entries = lambda text: sorted(json.dumps(e, sort_keys=True) for e in json.loads(text)["Playlist"])
    t.eq(entries(ref_list), entries(board_list), "the board's .udisklist has the user-mode run's entries")
    b.out("printf '%s' >/etc/config/playusb.xml" % lane.PLAYUSB.replace("\n", "\\n"))
    b.out("echo 10 >/sys/module/i2s_board/parameters/speed")
    b.spawn("exec env LD_PRELOAD=/lib/libtimewarp.so TIMEWARP=10 dorvu --log >/tmp/dorvu.log 2>&1", "/tmp/dorvu.pid")
    tap = os.path.join(work, "tap")
    played = lane.wait_host(lambda: lane.closes(lane.tap_journal(work, tap)) >= ENTRIES, 900, 2)
    b.sh("kill -TERM $(cat /tmp/dorvu.pid); sleep 1")
    t.check(played, "the board played the whole list", b.sh("tail -n 20 /tmp/dorvu.log")[1])
    with open(os.path.join(ref, "i2s", "journal")) as f:
        want = lane.per_song(f.read().splitlines(), ref_list, os.path.join(ref, "i2s"))
    got = lane.per_song(lane.tap_journal(work, tap), board_list, tap)
    t.eq(ENTRIES, len(want), "the user-mode run played the whole list")
    for key in sorted(want):
        w, g = want[key], got.get(key, (None, None))
        t.eq(w[0], g[0], "the I2S requests for %s from %s s are the user-mode run's" % key)
        t.check(w[1] == g[1], "the samples of %s from %s s are the user-mode run's" % key)
    b.sh("/etc/init.d/dorvu start")

    # ---- the WAN cable: a real carrier change, wan_watch's answer ----
    t.check(b.wait_for("ifconfig eth0 | grep -q 'inet addr:10.0.2.15'", 60),
            "eth0 has a lease from QEMU's network", b.sh("ifconfig; ps")[1])
    old = b.out("cat /var/run/dhcp-eth0.pid").strip()
    b.cable(False)
    t.check(b.wait_for("! ifconfig eth0 | grep -q RUNNING", 10), "the cable pulled: eth0 loses RUNNING")
    t.check(b.wait_for("[ \"$(cat /var/run/dhcp-eth0.pid)\" != %s ] && pidof udhcpc >/dev/null" % old, 30),
            "wan_watch restarts the eth0 DHCP client", b.sh("ps; cat /var/run/dhcp-eth0.pid")[1])
    b.cable(True)
    t.check(b.wait_for("ifconfig eth0 | grep -q RUNNING", 10), "the cable plugged: eth0 RUNNING again")
    t.check(b.wait_for("ifconfig eth0 | grep -q 'inet addr:10.0.2.15'", 60), "a lease again after plugging in")

    # ---- nor: a setting survives the board's reboot ----
    t.eq(0, b.sh("nor set ssid_name=BoardBox")[0], "nor set")
    b.reboot()
    t.eq("BoardBox", b.sh("nor get ssid_name")[1].strip(), "nor get after the reboot gives the value back")
    # The stick was there before the hotplug helper at this boot: rcS hands
    # it the event as the kernel would (mdev shows its usage otherwise).
    t.check(b.wait_for("grep -q ' /tmp/mnt/sda1 vfat ' /proc/mounts", 30), "the stick is mounted after the reboot")
    t.check(b"Usage: mdev" not in b.log, "mdev took every hotplug event", b.log[-800:].decode(errors="replace"))

    # ---- a firmware upload through the box's httpd ----
    img = os.path.join(work, "good.img")
    subprocess.run([sys.executable, os.path.join(lane.SRC, "tests", "fw_upgrade", "fw_fixture.py"),
                    "image", img], check=True)
    b.wait_for(" && ".join("pidof %s >/dev/null" % d for d in lane.DAEMONS), 60)
    r = subprocess.run(["curl", "-s", "-m", "600", "-F", "firmware=@%s;type=application/octet-stream" % img,
                        "http://127.0.0.1:%d/cgi-bin/fw_upgrade" % port], stdout=subprocess.PIPE, text=True)
    t.eq("nidaye", r.stdout.strip(), "the upload is answered as a success")
    with open(img, "rb") as f:
        want = hashlib.md5(f.read()).hexdigest()
    t.eq(want, b.sh("md5sum /tmp/fwupgrade")[1].split(" ")[0], "the image is staged whole")
    b.sh("sleep 8")
    for d in lane.DAEMONS:
        t.check(b.sh("pidof %s" % d)[0] != 0, "%s is stopped after the staging and not back" % d)
        t.check(b.sh("/etc/init.d/%s running" % d)[0] != 0, "%s is stopped in the supervisor's view" % d)
except lane.board.BoardError as e:
    t.check(False, "the board", str(e))
finally:
    b.close()
sys.exit(t.finish(work))
