# The picture of a day in the box: one lane per program over box time, drawn
# from the day's timeline (box_day.sh's day_timeline: "TIME WHO WHAT" lines).
#   python3 box_day_plot.py TIMELINE OUT.svg [OUT.png]
# Lanes: the play state and song, the web interface's actions, the Wi-Fi
# client link, the WAN port (cable and address), each watched process as bars
# from its start to its end (a new bar at every restart) with the outside
# commands it ran as ticks, the disk scan and the firmware upload.
import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

PROCESSES = ["dorvu", "wifi_survey", "wan_watch", "renderer_ctl", "wifi_watch",
             "hostapd", "wpa_supplicant", "udhcpc(eth0)", "udhcpc(wlan1)", "velmar", "pravik"]
STATE_COLOURS = {"PLAYING": "#4caf50", "PAUSE": "#ff9800", "STOPPED": "#9e9e9e"}
LINE = re.compile(r"^\s*(-?[0-9.]+)\s+(\S+)\s+(.*)$")


def read(path):
    events = []
    with open(path, errors="replace") as f:
        for line in f:
            m = LINE.match(line)
            if m:
                events.append((float(m.group(1)), m.group(2), m.group(3)))
    return events


def spans(changes, end):
    """[(t, value)] -> [(start, length, value)] up to end."""
    out = []
    for i, (t, v) in enumerate(changes):
        stop = changes[i + 1][0] if i + 1 < len(changes) else end
        if stop > t:
            out.append((t, stop - t, v))
    return out


def main():
    events = read(sys.argv[1])
    if not events:
        sys.exit("box_day_plot: no events in %s" % sys.argv[1])
    end = max(t for t, _, _ in events) + 1
    play, wifi, wan = [], [], []
    bars = {p: [] for p in PROCESSES}
    started = {}
    ticks = {}  # lane -> [(t, label)]
    for t, who, what in events:
        if who == "playusb.xml":
            f = dict(w.split("=", 1) for w in what.split() if "=" in w)
            play.append((t, (f.get("playstate", ""), f.get("song", ""))))
        elif who == "link" and what.startswith("wifi "):
            wifi.append((t, what.split()[1]))
        elif who == "link" and what.startswith("eth0 "):
            w = what.split()
            wan.append((t, (w[2], w[4])))
        elif who == "ps":
            m = re.match(r"([+-]) (\S+) \(pid (\d+)\)", what)
            if m and m.group(2) in bars:
                key = (m.group(2), m.group(3))
                if m.group(1) == "+":
                    started.setdefault(key, t)
                elif key in started:
                    bars[m.group(2)].append((started.pop(key), t))
        elif who == "procd":
            # the supervisor's start comes before the watcher sees the process
            m = re.match(r"(\w+)::\S+ started pid (\d+)", what)
            if m and m.group(1) in bars:
                started.setdefault((m.group(1), m.group(2)), t)
        elif who == "web":
            ticks.setdefault("web interface", []).append((t, what))
        elif who in ("udisk_scan",):
            ticks.setdefault("udisk_scan", []).append((t, "scan"))
        elif who in bars or who == "fw_upgrade":
            # an outside command the program ran (from the calls log)
            ticks.setdefault(who, []).append((t, what.split()[0] if what else ""))
    for (name, _), t in started.items():
        bars[name].append((t, end))
    for t, _, what in events:
        if what.startswith("firmware upload") or what.startswith("answer:") or what.startswith("/tmp/fwupgrade"):
            ticks.setdefault("fw_upgrade", []).append((t, what.split(" (")[0][:24]))

    lanes = ["play state", "web interface", "Wi-Fi link", "WAN (eth0)", "udisk_scan"]
    lanes += [p for p in PROCESSES if bars[p] or p in ticks]
    lanes += ["fw_upgrade"]
    y = {name: len(lanes) - i for i, name in enumerate(lanes)}
    fig, ax = plt.subplots(figsize=(15, 0.55 * len(lanes) + 1.5))

    last_song = None
    for start, length, (state, song) in spans(play, end):
        ax.broken_barh([(start, length)], (y["play state"] - 0.3, 0.6),
                       facecolors=STATE_COLOURS.get(state, "#bdbdbd"))
        if song and song != last_song:
            ax.text(start, y["play state"] + 0.32, song, fontsize=7, va="bottom")
            last_song = song
    for start, length, v in spans(wifi, end):
        ax.broken_barh([(start, length)], (y["Wi-Fi link"] - 0.3, 0.6),
                       facecolors="#2196f3" if v == "up" else "#e53935")
    last_addr = None
    for start, length, (cable, addr) in spans(wan, end):
        colour = "#e53935" if cable == "out" else ("#2196f3" if addr != "none" else "#ffeb3b")
        ax.broken_barh([(start, length)], (y["WAN (eth0)"] - 0.3, 0.6), facecolors=colour)
        if addr != "none" and addr != last_addr:
            ax.text(start, y["WAN (eth0)"] + 0.32, addr, fontsize=7, va="bottom")
        last_addr = addr
    for name in PROCESSES:
        if name in y:
            ax.broken_barh([(a, b - a) for a, b in bars[name]], (y[name] - 0.25, 0.5),
                           facecolors="#90a4ae", edgecolors="#37474f", linewidth=0.6)
    for lane, marks in ticks.items():
        if lane not in y:
            continue
        ax.plot([t for t, _ in marks], [y[lane]] * len(marks), "|", color="#b71c1c", markersize=14)
        shown = -1e9
        for t, label in marks:
            if lane in ("web interface", "fw_upgrade") and t - shown > end / 40:
                ax.text(t, y[lane] + 0.3, label[:28], fontsize=6.5, va="bottom", rotation=12)
                shown = t

    ax.set_yticks(list(y.values()))
    ax.set_yticklabels(list(y.keys()))
    ax.set_ylim(0.3, len(lanes) + 1)
    ax.set_xlim(min(0, min(t for t, _, _ in events)), end)
    ax.set_xlabel("box time (s)")
    ax.grid(axis="x", linestyle=":", alpha=0.6)
    ax.set_title("A stretch of the box's day: programs, links and play state")
    legend = [matplotlib.patches.Patch(color=c, label=s) for s, c in STATE_COLOURS.items()]
    legend += [matplotlib.patches.Patch(color="#2196f3", label="link up / address"),
               matplotlib.patches.Patch(color="#ffeb3b", label="cable in, no address"),
               matplotlib.patches.Patch(color="#e53935", label="link down / cable out"),
               matplotlib.patches.Patch(color="#90a4ae", label="process running"),
               matplotlib.lines.Line2D([], [], marker="|", linestyle="", color="#b71c1c", markersize=10,
                                       label="action / outside command")]
    ax.legend(handles=legend, loc="upper center", bbox_to_anchor=(0.5, -0.08), ncol=5, fontsize=8)
    fig.tight_layout()
    for out in sys.argv[2:]:
        fig.savefig(out)


main()
