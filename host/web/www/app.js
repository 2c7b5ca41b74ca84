// The page's side: shows the play-state file about once a second (four times
// a second for a few seconds after an action, so its effect shows as soon as
// the player takes it) and sends each action to the box's CGIs. Text from the
// box goes in as text only.
"use strict";

const $ = (id) => document.getElementById(id);

function say(text) { $("message").textContent = text || ""; }

async function post(cgi, fields) {
  const body = Object.entries(fields)
    .map(([k, v]) => k + "=" + encodeURIComponent(v)).join("&");
  try {
    const r = await fetch("/cgi-bin/web/" + cgi, {
      method: "POST", body: body,
      headers: { "Content-Type": "application/x-www-form-urlencoded" },
    });
    const a = await r.json();
    say(a.ok ? "" : a.error);
    if (a.ok) quickRefresh();
    return a.ok;
  } catch (e) {
    say("the box does not answer (" + e + ")");
    return false;
  }
}

const play = (action, value) => post("play", { action: action, value: value === undefined ? "" : value });

let current = "";
let volumeHeld = false;  // the slider is being moved: no refresh over it

async function refresh() {
  try {
    const r = await fetch("/cgi-bin/web/state", { cache: "no-store" });
    const s = await r.json();
    $("playstate").textContent = s.playstate;
    $("songname").textContent = s.songname;
    $("position").textContent = s.position;
    $("length").textContent = s.length;
    $("bar").max = Math.max(1, Number(s.length) || 1);
    $("bar").value = Number(s.position) || 0;
    $("volume-now").textContent = s.volume;
    if (!volumeHeld) $("volume").value = s.volume;
    if (document.activeElement !== $("loop")) $("loop").value = s.loop;
    current = s.url;
    if ($("songs").children.length === 0) loadSongs().catch(() => 0);  // the disk came later
    for (const li of $("songs").children) li.classList.toggle("current", li.dataset.url === current);
  } catch (e) {
    $("playstate").textContent = "no answer";
  }
}

async function loadSongs() {
  const r = await fetch("/cgi-bin/web/songs", { cache: "no-store" });
  const list = await r.json();
  const ol = $("songs");
  ol.textContent = "";
  for (const song of list.Playlist || []) {
    const li = document.createElement("li");
    li.textContent = song.title + (song.length ? " (" + song.length + " s)" : "");
    li.dataset.url = song.url;
    li.addEventListener("click", () => post("play", { action: "pick", url: song.url }));
    ol.appendChild(li);
  }
}

async function loadWifi() {
  const r = await fetch("/cgi-bin/web/wifi", { cache: "no-store" });
  const w = await r.json();
  $("ssid").value = w.ssid;
  $("encryption").value = w.encryption;
  $("wan").value = w.wan;
}

$("pause").addEventListener("click", () => play("pause"));
$("resume").addEventListener("click", () => play("resume"));
$("volume").addEventListener("input", () => { volumeHeld = true; });
$("volume").addEventListener("change", async () => {
  await play("volume", $("volume").value);
  volumeHeld = false;
});
$("seek-go").addEventListener("click", () => play("seek", $("seek").value));
$("loop").addEventListener("change", () => play("loop", $("loop").value));
$("wifi").addEventListener("submit", async (ev) => {
  ev.preventDefault();
  const ok = await post("wifi", { ssid: $("ssid").value, encryption: $("encryption").value, wan: $("wan").value });
  $("wifi-saved").textContent = ok ? "saved" : "";
});

let quickUntil = 0;
function quickRefresh() { quickUntil = Date.now() + 4000; }

function tick() {
  refresh().finally(() => setTimeout(tick, Date.now() < quickUntil ? 250 : 1000));
}

loadSongs().catch(() => say("no song list"));
loadWifi().catch(() => say("no Wi-Fi settings"));
tick();
