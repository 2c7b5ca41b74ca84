# --web: the web interface stand-in in the box's web folders, and the box's
# web server carried to the PC by threads of PID 1.
import os
import select
import shutil
import socket
import threading

import box_root

# The stand-in's pages and CGIs (host/web/); the PC's end of the web server
# (fd 4, listening on the PC's loopback, made by box_listen.py).
WEB_SRC = os.path.join(box_root.SRC_ROOT, "host", "web")
WEB_FD = 4


def install_web(root):
    shutil.copytree(WEB_SRC + "/www", root + "/usr/mips/www", dirs_exist_ok=True)
    cgi = root + "/usr/mips/cgi-bin/web"
    shutil.copytree(WEB_SRC + "/cgi-bin", cgi, dirs_exist_ok=True)
    shutil.copy(box_root.HERE + "/web_iface.sh", cgi + "/web_iface.sh")
    for name in os.listdir(cgi):
        os.chmod(cgi + "/" + name, 0o755)


def relay(pc):
    """Carries one connection from the PC to the box's web server and back."""
    box = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        box.connect(("127.0.0.1", 80))
        to = {pc: box, box: pc}  # the open reading ends and where they go
        while to:
            ready = select.select(list(to), [], [], 300)[0]
            if not ready:
                break  # idle for five minutes: a client that went away
            for s in ready:
                data = s.recv(65536)
                if data:
                    to[s].sendall(data)
                    continue
                # One side finished sending: pass the end on, keep the other way.
                try:
                    to[s].shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                del to[s]
    except OSError:
        pass
    finally:
        box.close()
        pc.close()


def serve_pc(listener):
    while True:
        pc, _ = listener.accept()
        threading.Thread(target=relay, args=(pc,), daemon=True).start()


def open_web(root):
    listener = socket.socket(fileno=WEB_FD)
    # /box/out: the --out folder when there is one, where the PC reads it.
    with open(root + "/box/out/web_port", "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    return listener


def serve(listener):
    """Carries the PC's connections from now on, in a thread of its own."""
    threading.Thread(target=serve_pc, args=(listener,), daemon=True).start()
