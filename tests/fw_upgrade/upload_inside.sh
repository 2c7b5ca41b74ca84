# Inside the box (run by upload_e2e.sh): the CGI behind httpd, uploads with
# curl. Each case leaves in /box/out/res/: NAME.answer (what the client got)
# and NAME.staged (same, differs or absent, against the good image).
cd /box/out || exit 1
url=http://127.0.0.1/cgi-bin/fw_upgrade
cgi=/usr/mips/cgi-bin
cp "$(command -v fw_upgrade)" $cgi/fw_upgrade || exit 1
mkdir -p res
services="perl hairtunes pravik dorvu zentrac minidlna velmar avahi-daemon telnetd miniupnpd
          wpa_supplicant holbit udhcpc hotplug2 dbus-daemon ferrow logger"

staged() {
    if [ -f /tmp/fwupgrade ]; then
        cmp -s /tmp/fwupgrade fx/good.img && echo same || echo differs
    else
        echo absent
    fi
}
# httpd never answers "Expect: 100-continue": curl is asked not to send it.
upload() { # name curl-args...
    local name=$1
    shift
    curl -s -m 120 -H 'Expect:' -o "res/$name.answer" "$@" "$url"
    echo $? >"res/$name.curl"
    staged >"res/$name.staged"
    rm -f /tmp/fwupgrade
}
raw() { upload "$@" -H "Content-Type: multipart/form-data; boundary=B0undary"; }

# Requests that cannot carry an image; the services must live through them,
# and an image staged earlier stays.
ps >res/ps.before
upload absent
upload small --data-binary 0123456789
cp fx/good.img /tmp/fwupgrade
upload kept --data-binary 0123456789
upload huge -H "Content-Length: 2000000000" --data-binary "abc"
ps >res/ps.refused

upload octet -F "firmware=@fx/good.img;type=application/octet-stream"
ps >res/ps.after
upload plain -F "firmware=@fx/good.img;type=text/plain"
upload macbin -F "firmware=@fx/good.img;type=application/x-macbinary"
upload default -F "firmware=@fx/good.img"
upload trailing -F "firmware=@fx/good.img" -F "note=after the image"
raw raw --data-binary @fx/raw.body
upload mark -F "firmware=@fx/badmark.img"
upload sum -F "firmware=@fx/badsum.img"
raw script --data-binary @fx/script.body

# Two uploads at once. The first sends half its body and waits; meanwhile
# the services are back, and a second upload (a bad image) comes.
python3 - <<'PY' >res/first.answer &
import os, socket, sys, time
body = open("fx/raw.body", "rb").read()
s = socket.create_connection(("127.0.0.1", 80))
s.sendall(b"POST /cgi-bin/fw_upgrade HTTP/1.0\r\nContent-Length: %d\r\n"
          b"Content-Type: multipart/form-data; boundary=B0undary\r\n\r\n" % len(body))
s.sendall(body[: len(body) // 2])
while not os.path.exists("res/go"):
    time.sleep(0.05)
s.sendall(body[len(body) // 2:])
reply = b""
while True:
    piece = s.recv(65536)
    if not piece:
        break
    reply += piece
sys.stdout.buffer.write(reply.split(b"\r\n\r\n", 1)[1])
PY
first=$!
# The first one's image file exists, under its temporary name, once its
# services are stopped.
n=0
while [ ! -f /tmp/fwupgrade.part ] && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
for s in $services; do box_fake_daemon "$s" -x; done
ps >res/ps.second.before
curl -s -m 120 -H 'Expect:' -o res/second.answer -F "firmware=@fx/badsum.img" "$url"
ps >res/ps.second.after
[ -f /tmp/fwupgrade.part ] && echo kept >res/second.staged || echo absent >res/second.staged
touch res/go
wait $first
staged >res/first.staged
rm -f /tmp/fwupgrade

# A local process plants /tmp/fwupgrade -> /etc/victim over and over while
# an upload runs; this CGI's pauses last a tenth of their length.
printf 'precious\n' >res/victim.before
cp res/victim.before /etc/victim
printf '#!/bin/sh\nTIMEWARP=10 exec %s/fw_upgrade\n' $cgi >$cgi/fw_slow
chmod +x $cgi/fw_slow
(
    unset LD_PRELOAD TIMEWARP
    while [ ! -f res/plant.stop ]; do
        [ -L /tmp/fwupgrade ] || ln -s /etc/victim /tmp/fwupgrade 2>/dev/null
        sleep 0.02
    done
) &
planter=$!
curl -s -m 120 -H 'Expect:' -o res/planted.answer -F "firmware=@fx/good.img" http://127.0.0.1/cgi-bin/fw_slow
touch res/plant.stop
wait $planter
readlink /tmp/fwupgrade >res/planted.link
cmp -s /etc/victim res/victim.before && echo untouched >res/victim || echo changed >res/victim
rm -f /tmp/fwupgrade

# A client that ends its half of the connection early.
python3 - <<'PY' >res/short.answer
import socket, sys
body = open("fx/raw.body", "rb").read()
s = socket.create_connection(("127.0.0.1", 80))
s.sendall(b"POST /cgi-bin/fw_upgrade HTTP/1.0\r\nContent-Length: %d\r\n"
          b"Content-Type: multipart/form-data; boundary=B0undary\r\n\r\n" % len(body))
s.sendall(body[: len(body) // 2])
s.shutdown(socket.SHUT_WR)
reply = b""
while True:
    piece = s.recv(65536)
    if not piece:
        break
    reply += piece
sys.stdout.buffer.write(reply.split(b"\r\n\r\n", 1)[1])
PY
staged >res/short.staged

# The exit status, which the web server does not pass on: straight runs.
for b in raw badraw; do
    CONTENT_LENGTH=$(wc -c <fx/$b.body) fw_upgrade <fx/$b.body >res/direct_$b.answer
    echo $? >res/direct_$b.status
    staged >res/direct_$b.staged
done

# Killed while it writes the image (the file size limit's signal, at the
# write itself): the client got what success shows, yet nothing is staged.
(ulimit -f 2048; CONTENT_LENGTH=$(wc -c <fx/raw.body) exec fw_upgrade <fx/raw.body >res/killed.answer)
echo $? >res/killed.status
staged >res/killed.staged
