# Inside a booted box with its web server (by upgrade_e2e.sh).
source "$BOX_SRC/tests/e2e/lib.sh"
export LD_PRELOAD=  # the test's own waits are real ones (the box runs 20-fold fast)
daemons="dorvu wan_watch wifi_survey renderer_ctl wifi_watch"
restarted="velmar pravik hostapd wpa_supplicant udhcpc"
J=/box/out/journal

check "the renderer and the AirPlay receiver run" wait_for 10 eval 'pidof velmar >/dev/null && pidof pravik >/dev/null'
for d in $daemons; do check "$d runs before the upload" eval "pidof $d >/dev/null"; done

answer=$(curl -s -m 60 -F "firmware=@/box/out/good.img;type=application/octet-stream" \
    http://127.0.0.1/cgi-bin/fw_upgrade)
assert_eq "nidaye" "$answer" "the upload is answered as a success"
check "the image is staged" cmp -s /tmp/fwupgrade /box/out/good.img
staged_at=$(wc -l <$J)

# 80 s of box time: past a respawn's 5 s, the renderer watchdog's 5 s pass,
# the Wi-Fi client's 40 s and the Wi-Fi watchdog's 60 s.
seen=""
for _ in $(seq 40); do
    for p in $daemons $restarted; do
        pidof $p >/dev/null && case " $seen " in *" $p "*) ;; *) seen="$seen $p" ;; esac
    done
    sleep 0.1
done
assert_eq "" "${seen# }" "nothing of the box's daemons and what they restart runs after the staging"
after=$(tail -n +$((staged_at + 1)) $J | grep -E '^(gorlin|quorin|hostapd|udhcpc|wifi|reboot|/lib/wifi/wpa_supplicant_satrt.sh)( |$)')
assert_eq "" "$after" "no restart command after the staging"
# The stop only asks procd for the end; the player must still end by itself
# on its SIGTERM (writing its state), not by the kill list's SIGKILL.
check "dorvu ended on its SIGTERM, before any SIGKILL" \
    grep -q 'dorvu::instance1 pid [0-9]* ended (status 1) after its stop' /var/log/procd.log
for d in $daemons; do
    check "$d was stopped through its init script" grep -q "$d::instance1 stopping" /var/log/procd.log
    check "$d is not running in procd's view" eval '! /etc/init.d/'"$d"' running'
done
