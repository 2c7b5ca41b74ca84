#!/usr/bin/env python3
"""Physical faults on the emulated board, made as the world makes them:
the USB stick pulled while a song plays and put back (QEMU's monitor), and
the power cut (QEMU killed) during `nor set`, during the player's play-state
write, during the scanner's list write and during an upload's staging; the
board is then booted again and what the user had is checked."""
import os
import random
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lane  # noqa: E402

CUTS = int(os.environ.get("BOARD_CUTS", "3"))  # power cuts per case
t = lane.Checks("faults_e2e")
work = lane.workdir()
songs = os.path.join(work, "songs")
os.makedirs(songs)
for name, secs in (("a.mp3", 30), ("b.mp3", 30), ("c.flac", 4)):
    opts = ["-c:a", "flac", "-sample_fmt", "s16"] if name.endswith("flac") else ["-c:a", "libmp3lame"]
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", lane.tone(secs, 44100, 2)]
                   + opts + [os.path.join(songs, name)], check=True)
stick = os.path.join(work, "stick.img")
lane.board.make_stick(stick, songs)
port = lane.free_port()
b = lane.new_board(work, stick=stick, port=port)
rng = random.Random(28)
WEB = ". /etc/board/web_iface.sh; "


def playstate():
    return b.out(WEB + "xml_get playstate").strip()


def list_whole():
    """The stick's list parses and names the three songs."""
    st, out = b.sh("cat /tmp/mnt/sda1/.udisklist")
    return st == 0 and out.strip().endswith("]}") and all(n in out for n in ("a.mp3", "b.mp3", "c.flac"))


def cut_after(delay):
    timer = threading.Timer(delay, b.power_cut)
    timer.start()
    return timer


try:
    b.power_on()
    t.check(b.sh("grep -q ' /etc/config jffs2 ' /proc/mounts")[0] == 0, "/etc/config is on the flash's JFFS2",
            b.sh("cat /proc/mounts /proc/mtd")[1])
    t.check(b.wait_for("grep -q ' /tmp/mnt/sda1 ' /proc/mounts", 30), "the stick is mounted")
    t.eq(1, b.sh("udisk_scan", 300)[0], "the stick's list is written")
    b.out("/etc/init.d/dorvu restart")

    # ---- the stick pulled while a song plays, and put back ----
    t.check(b.wait_for("grep -q '<playstate>PLAYING' /etc/config/playusb.xml", 60), "a song plays")
    b.sh("sleep 3")
    b.unplug_stick()
    t.check(b.wait_for("! grep -q ' /tmp/mnt/sda1 ' /proc/mounts", 30), "the hotplug handler unmounts the stick")
    t.check(b.wait_for("! grep -q '<playstate>PLAYING' /etc/config/playusb.xml", 60),
            "the player says that nothing plays once the stick is gone", playstate())
    t.check(b.sh("pidof dorvu")[0] == 0, "the player is still running", b.sh("tail /var/log/procd.log")[1])
    b.plug_stick()
    t.check(b.wait_for("grep -q ' /tmp/mnt/sda1 ' /proc/mounts", 30), "the stick is mounted again")
    st = b.sh("udisk_scan", 300)[0]
    t.check(st in (1, 2) and list_whole(), "udisk_scan on the stick again gives a whole list", "status %d" % st)
    b.out(WEB + "web_set url /tmp/mnt/sda1/b.mp3")
    t.check(b.wait_for("grep -q '<playstate>PLAYING' /etc/config/playusb.xml && "
                       "grep -q '<url>/tmp/mnt/sda1/b.mp3<' /etc/config/playusb.xml", 60),
            "the player plays again when the web interface asks", b.sh("cat /etc/config/playusb.xml")[1])

    # ---- power cuts ----
    # During `nor set`: each key is then either its old or its new value, and
    # the others are what they were; where the flash cannot promise it (the
    # erase block rewritten when the power goes), what is lost is counted.
    b.out("nor set ssid_name=Before && nor set airplay_name=Kept")
    before = b.out("nor show")
    outcomes = {"old": 0, "new": 0, "lost": 0}
    for i in range(CUTS):
        b.send("while :; do nor set ssid_name=After%d; nor set ssid_name=Before; done\n" % i)
        time.sleep(rng.uniform(0.5, 2.0))
        b.power_cut()
        b.power_on()
        now = b.out("nor show")
        name = b.out("nor get ssid_name").strip()
        kept = b.out("nor get airplay_name").strip()
        if kept == "Kept" and name in ("Before", "After%d" % i):
            outcomes["old" if name == "Before" else "new"] += 1
        else:
            outcomes["lost"] += 1
            t.note("power cut %d during nor set: flash now reads %r (before: %r)" % (i + 1, now, before))
            b.out("nor set ssid_name=Before && nor set airplay_name=Kept")
    t.note("power cut during nor set, %d times: %s" % (CUTS, outcomes))
    t.eq(0, outcomes["lost"], "no power cut during nor set lost a setting")

    # During the player's play-state writes (the overlay on flash): the file
    # is afterwards whole, the old text or the new.
    bad = 0
    for i in range(CUTS):
        b.out("/etc/init.d/dorvu restart")
        b.wait_for("grep -q '<playstate>PLAYING' /etc/config/playusb.xml", 60)
        b.send(WEB + "while :; do web_set volume 40; web_set volume 60; done\n")
        time.sleep(rng.uniform(1.0, 3.0))
        b.power_cut()
        b.power_on()
        text = b.out("cat /etc/config/playusb.xml")
        tags = ("url", "position", "length", "playstate", "volume", "seek", "startposition", "songname", "loop")
        whole = text.strip().endswith("</playusb>") and all("<%s>" % g in text for g in tags)
        if not whole:
            bad += 1
            t.note("power cut %d during play-state writes left: %r" % (i + 1, text))
    t.eq(0, bad, "every power cut during play-state writes left a whole play-state file")

    # During the scanner's list write on the stick: afterwards a whole list,
    # or none, or one the next scan makes whole.
    bad = 0
    for i in range(CUTS):
        b.send("while :; do rm -f /tmp/mnt/sda1/.udisklist; udisk_scan; done\n")
        time.sleep(rng.uniform(1.0, 4.0))
        b.power_cut()
        b.power_on()
        b.wait_for("grep -q ' /tmp/mnt/sda1 ' /proc/mounts", 30)
        st = b.sh("udisk_scan", 300)[0]
        if not (st in (1, 2) and list_whole()):
            bad += 1
            t.note("power cut %d during the list write: scan status %d, list %r"
                   % (i + 1, st, b.sh("cat /tmp/mnt/sda1/.udisklist")[1][:200]))
    t.eq(0, bad, "after every power cut during the list write the next scan gives a whole list")

    # During an upload's staging: the staged image is in RAM and goes; the
    # settings and the play-state file are what they were.
    img = os.path.join(work, "good.img")
    subprocess.run([sys.executable, os.path.join(lane.SRC, "tests", "fw_upgrade", "fw_fixture.py"),
                    "image", img], check=True)
    flash_before = b.out("nor show")
    state_before = b.out(WEB + "xml_get volume").strip()
    curl = subprocess.Popen(["curl", "-s", "-m", "600", "-o", "/dev/null", "-F",
                             "firmware=@%s;type=application/octet-stream" % img,
                             "http://127.0.0.1:%d/cgi-bin/fw_upgrade" % port])
    b.wait_for("[ -f /tmp/fwupgrade ] || pidof fw_upgrade >/dev/null", 120, 0.1)
    time.sleep(rng.uniform(0.2, 1.0))
    b.power_cut()
    curl.wait()
    b.power_on()
    t.eq(flash_before, b.out("nor show"), "the settings survive a power cut during an upload")
    t.eq(state_before, b.out(WEB + "xml_get volume").strip(), "the play-state file survives it too")
    t.check(b.wait_for(" && ".join("pidof %s >/dev/null" % d for d in lane.DAEMONS), 60),
            "the five daemons run after it")
except lane.board.BoardError as e:
    t.check(False, "the board", str(e))
finally:
    b.close()
sys.exit(t.finish(work))
