# boxrun --web PORT: opens the listening socket on the PC's loopback before
# the box's network namespace exists (a socket keeps the namespace it was
# made in), leaves it as fd 4 and execs the rest of the line. PID 1 of the box
# then carries each connection to the box's own web server.
#   python3 box_listen.py PORT COMMAND...
import os
import socket
import sys

try:
    port = int(sys.argv[1])
    if not 0 <= port <= 65535:
        raise ValueError
except ValueError:
    sys.stderr.write("boxrun: --web wants a port number, got '%s'\n" % sys.argv[1])
    sys.exit(125)
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(("127.0.0.1", port))
    s.listen(16)
except OSError as e:
    sys.stderr.write("boxrun: cannot listen on 127.0.0.1:%d: %s\n" % (port, e.strerror))
    sys.exit(125)
fd = s.detach()
if fd != 4:
    os.dup2(fd, 4)  # inheritable
    os.close(fd)
else:
    os.set_inheritable(fd, True)
os.execvp(sys.argv[2], sys.argv[2:])
