"""Hosts that cannot be reached, and a page that links to them, for the
dead-hosts test.

  deadhosts_site.py silent STATE N
      Listens on N ports of 127.0.0.1 that take connections and never
      answer: writes the ports to STATE/silent.ports once listening, then
      appends the port of each connection it takes to STATE/silent.log.
      Runs until it is killed.
  deadhosts_site.py make ROOT PORT STATE PAGES
      Writes ROOT/index.html (served as http://127.0.0.1:PORT/): three pages
      of the site itself, and PAGES pages on each of the dead hosts: the
      silent ports, as many ports that refuse connections, and as many names
      that cannot resolve (an empty label: no query leaves the machine).
      Writes STATE/dead.txt, every dead page's URL, and STATE/live.txt.
"""
import os
import select
import socket
import sys


def silent(state, n):
    listeners = []
    for _ in range(n):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        s.listen(64)
        listeners.append(s)
    with open(os.path.join(state, "silent.ports.tmp"), "w") as f:
        f.write("".join("%d\n" % s.getsockname()[1] for s in listeners))
    os.rename(os.path.join(state, "silent.ports.tmp"), os.path.join(state, "silent.ports"))
    taken = []  # kept open: the client waits for an answer that never comes
    log = open(os.path.join(state, "silent.log"), "a")
    while True:
        ready, _, _ = select.select(listeners, [], [])
        for s in ready:
            conn, _ = s.accept()
            taken.append(conn)
            log.write("%d\n" % s.getsockname()[1])
            log.flush()


def refusing_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def make(root, port, state, pages):
    site = "http://127.0.0.1:%s/" % port
    silent_ports = open(os.path.join(state, "silent.ports")).read().split()
    n = len(silent_ports)
    hosts = ["http://127.0.0.1:%s/" % p for p in silent_ports]
    hosts += ["http://127.0.0.1:%d/" % refusing_port() for _ in range(n)]
    hosts += ["http://docs%d..example.invalid/" % i for i in range(n)]
    live = [site + "page%d.html" % i for i in range(3)]
    dead = [h + "doc%d.html" % i for h in hosts for i in range(pages)]
    links = "\n".join('<p><a href="%s">%s</a></p>' % (u, u) for u in live + dead)
    with open(os.path.join(root, "index.html"), "w") as f:
        f.write("<html><head><title>Links</title></head><body>\n%s\n</body></html>\n" % links)
    for i, u in enumerate(live):
        with open(os.path.join(root, "page%d.html" % i), "w") as f:
            f.write("<html><head><title>Page %d</title></head><body>%s</body></html>\n" % (i, u))
    with open(os.path.join(state, "dead.txt"), "w") as f:
        f.write("".join(u + "\n" for u in dead))
    with open(os.path.join(state, "live.txt"), "w") as f:
        f.write("".join(u + "\n" for u in live))


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "silent":
        silent(sys.argv[2], int(sys.argv[3]))
    elif len(sys.argv) == 6 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]))
    else:
        sys.exit(__doc__)
