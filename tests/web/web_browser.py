# The browser's side of web_e2e.sh: headless Chromium driven through Selenium
# against the box's web interface stand-in. Prints one line per check; a
# failure saves OUT/failure.png and ends with status 1.
#   python3 web_browser.py URL I2S_JOURNAL GOOD_IMAGE BAD_MARK_IMAGE OUT [--shot FILE]
import argparse
import json
import os
import shutil
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

# Chromium as root, with nothing of its own going to the network.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-dev-shm-usage", "--window-size=1000,1300"]
PICK_LIMIT = 2.0  # seconds from the box playing a picked song until the page shows it
BOX_LIMIT = 5.0  # seconds from the click until the box plays it
# A field name that would run a script if the answer took it as markup.
SCRIPT_NAME = "<script>top.document.title='injected'</script><img src=x onerror=top.document.title='img'>"


class Failed(Exception):
    pass


def wait(what, cond, limit):
    end = time.monotonic() + limit
    while True:
        try:
            value = cond()
        except Exception:  # the page may be between two refreshes
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise Failed("%s (within %g s)" % (what, limit))
        time.sleep(0.05)


def text(d, id_):
    return d.find_element(By.ID, id_).text


def journal_lines(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except OSError:
        return []


def answer_text(d):
    d.switch_to.frame("answer")
    try:
        return d.find_element(By.TAG_NAME, "body").text
    finally:
        d.switch_to.default_content()


def run(d, a):
    d.get(a.url)
    wait("the page shows the disk's three songs", lambda: len(d.find_elements(By.CSS_SELECTOR, "#songs li")) == 3, 10)
    wait("the page shows the box playing", lambda: text(d, "playstate") == "PLAYING" and text(d, "songname"), 10)
    print("ok: the page shows %s playing and the three songs" % text(d, "songname"))

    # A song picked: neither the one playing nor the one after it.
    playing = text(d, "songname")
    songs = d.find_elements(By.CSS_SELECTOR, "#songs li")
    titles = [li.text.split(" (")[0] for li in songs]
    pick = songs[(titles.index(playing) + 2) % 3] if playing in titles else songs[0]
    title = pick.text.split(" (")[0]
    start = time.monotonic()
    pick.click()
    # Two clocks: when the box plays it (its play-state file, read through the
    # state CGI) and when the page shows it. The player looks at <url> once
    # every one to two seconds, so the page's own delay is what is held to
    # two seconds; the player gets BOX_LIMIT.
    box_at = page_at = None
    while time.monotonic() - start < BOX_LIMIT + PICK_LIMIT and page_at is None:
        now = time.monotonic()
        if box_at is None:
            st = json.load(urllib.request.urlopen(a.url + "cgi-bin/web/state", timeout=5))
            if st["songname"] == title and st["playstate"] == "PLAYING":
                box_at = now
        if text(d, "songname") == title and text(d, "playstate") == "PLAYING":
            page_at = now
            box_at = box_at or now
        time.sleep(0.05)
    if box_at is None or box_at - start > BOX_LIMIT:
        raise Failed("the box does not play %s within %g s of the click" % (title, BOX_LIMIT))
    if page_at is None or page_at - box_at > PICK_LIMIT:
        raise Failed("the page does not show %s playing within %g s of the box" % (title, PICK_LIMIT))
    print("ok: %s picked: the box plays it %.2f s after the click, the page shows it %.2f s later"
          % (title, box_at - start, page_at - box_at))

    # The volume: the slider to its end (100) by keyboard.
    before = len(journal_lines(a.journal))
    slider = d.find_element(By.ID, "volume")
    slider.click()
    slider.send_keys(Keys.END)
    slider.send_keys(Keys.TAB)  # "change" fires as the slider lets go
    wait("the I2S device receives volume 100",
         lambda: "VOLUME 100" in journal_lines(a.journal)[before:], 5)
    wait("the page shows volume 100", lambda: text(d, "volume-now") == "100", 3)
    print("ok: volume 100 reached the I2S device")

    # Pause: the position stands still; resume: it moves on.
    d.find_element(By.ID, "pause").click()
    wait("the page shows PAUSE", lambda: text(d, "playstate") == "PAUSE", 5)
    held = text(d, "position")
    time.sleep(2.5)
    if text(d, "position") != held or text(d, "playstate") != "PAUSE":
        raise Failed("paused, yet the position moved from %s to %s" % (held, text(d, "position")))
    d.find_element(By.ID, "resume").click()
    wait("the page shows PLAYING again", lambda: text(d, "playstate") == "PLAYING", 5)
    wait("the position moves on after resume", lambda: int(text(d, "position")) > int(held), 5)
    print("ok: paused at %s s, playing on after resume" % held)
    if a.shot:
        d.save_screenshot(a.shot.replace(".png", "-playing.png"))

    # The Wi-Fi client and the WAN protocol (the box checks UCI afterwards).
    ssid = d.find_element(By.ID, "ssid")
    ssid.clear()
    ssid.send_keys("Cafe 21")
    Select(d.find_element(By.ID, "encryption")).select_by_visible_text("psk+ccmp")
    Select(d.find_element(By.ID, "wan")).select_by_visible_text("static")
    d.find_element(By.ID, "wifi-save").click()
    wait("the settings saved", lambda: text(d, "wifi-saved") == "saved", 5)
    print("ok: Wi-Fi client 'Cafe 21' on psk+ccmp, WAN static saved")

    # An upload answer naming a field that holds a script: shown as text.
    title_before = d.title
    upload = d.find_element(By.ID, "image")
    d.execute_script("arguments[0].name = arguments[1]", upload, SCRIPT_NAME)
    upload.send_keys(a.bad_image)
    d.find_element(By.ID, "upload").click()
    shown = wait("an answer for the wrongly marked image", lambda: "error" in answer_text(d) and answer_text(d), 60)
    if "<script>" not in shown:
        raise Failed("the answer does not show the field name as text: %r" % shown)
    time.sleep(0.5)
    if d.title != title_before:
        raise Failed("a script of the field name ran: the title is now %r" % d.title)
    print("ok: the field name shows as text and no script ran (%r)" % shown[:60])

    # The good image: answered "nidaye" and nothing else.
    upload = d.find_element(By.ID, "image")
    d.execute_script("arguments[0].name = 'firmware'", upload)
    upload.clear()
    upload.send_keys(a.good_image)
    d.find_element(By.ID, "upload").click()
    wait("the answer \"nidaye\" for the good image", lambda: answer_text(d).strip() == "nidaye", 60)
    print("ok: the good image is answered \"nidaye\"")


def main():
    p = argparse.ArgumentParser()
    for name in ("url", "journal", "good_image", "bad_image", "out"):
        p.add_argument(name)
    p.add_argument("--shot", help="also save a screenshot of the page to FILE at the end")
    a = p.parse_args()
    profile = tempfile.mkdtemp(prefix="web-chromium.")
    opts = webdriver.ChromeOptions()
    opts.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for f in FLAGS + ["--user-data-dir=" + profile]:
        opts.add_argument(f)
    d = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"), options=opts)
    status = 0
    try:
        run(d, a)
    except Exception as e:  # Failed, or Selenium's own trouble
        shot = os.path.join(a.out, "failure.png")
        d.save_screenshot(shot)
        print("FAIL: %s (screenshot: %s)" % (str(e).splitlines()[0] if str(e) else type(e).__name__, shot))
        status = 1
    else:
        if a.shot:
            d.save_screenshot(a.shot)
    finally:
        d.quit()
        shutil.rmtree(profile, ignore_errors=True)
    return status


sys.exit(main())
