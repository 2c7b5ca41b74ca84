# Inside the box (run by upload_e2e.sh): the CGI behind httpd, uploads with
# curl. Each case leaves in /box/out/res/: NAME.answer (what the client got)
# and NAME.staged (same, differs or absent, against the good image).
cd /box/out || exit 1
url=http://127.0.0.1/cgi-bin/fw_upgrade
cp "$(command -v fw_upgrade)" /usr/mips/cgi-bin/fw_upgrade || exit 1
mkdir -p res

staged() {
    if [ -f /tmp/fwupgrade ]; then
        cmp -s /tmp/fwupgrade fx/good.img && echo same || echo differs
    else
        echo absent
    fi
}
upload() { # name curl-args...
    local name=$1
    shift
    curl -s -m 120 -o "res/$name.answer" "$@" "$url"
    echo $? >"res/$name.curl"
    staged >"res/$name.staged"
    rm -f /tmp/fwupgrade
}

ps >res/ps.before
upload octet -F "firmware=@fx/good.img;type=application/octet-stream"
ps >res/ps.after
upload plain -F "firmware=@fx/good.img;type=text/plain"
upload macbin -F "firmware=@fx/good.img;type=application/x-macbinary"
upload default -F "firmware=@fx/good.img"
upload trailing -F "firmware=@fx/good.img" -F "note=after the image"
upload raw -H "Content-Type: multipart/form-data; boundary=B0undary" --data-binary @fx/raw.body
upload mark -F "firmware=@fx/badmark.img"
upload sum -F "firmware=@fx/badsum.img"
upload absent
upload huge -H "Content-Length: 2000000000" --data-binary "abc"

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
