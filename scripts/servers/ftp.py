# The FTP server of the network tests (run by scripts/servers/ftp through
# /usr/bin/python3). Serves an anonymous read-only root and a user with a
# password on 127.0.0.1, on a port chosen at start, and writes that port to a
# file once it listens.
#
# For the tests it also:
# - writes every command line it receives to LOGDIR/PORT.log, PORT being the
#   client's port of the control connection, before it answers the command;
# - greets with a multi-line 220 reply;
# - answers "SITE QVREST CODE" by answering later REST commands of this
#   session with CODE (350, 500, 502 or 550);
# - answers "SITE QVSILENT" by taking PORT without connecting and RETR with
#   150 and then silence, for tests of a data connection that never comes;
# - lists any folder named "dos" in the DOS style.
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
# One thread per session: the single-loop server stalls sessions when many
# transfers run at once, as parallel test runs do.
from pyftpdlib.servers import ThreadedFTPServer

REST_TEXTS = {
    500: "500 Command not understood.",
    502: "502 Command not implemented.",
    550: "550 Restart not possible.",
}


class TestFS(AbstractedFS):
    def format_list(self, basedir, listing, ignore_err=True):
        if os.path.basename(os.path.normpath(basedir)) != "dos":
            yield from super().format_list(basedir, listing, ignore_err)
            return
        for name in sorted(listing):
            path = os.path.join(basedir, name)
            st = os.stat(path)
            stamp = time.strftime("%m-%d-%y  %I:%M%p", time.gmtime(st.st_mtime))
            size = "<DIR>         " if os.path.isdir(path) else "%14d" % st.st_size
            yield ("%s %s %s\r\n" % (stamp, size, name)).encode("utf-8")


class TestHandler(FTPHandler):
    abstracted_fs = TestFS
    log_dir = None
    proto_cmds = dict(FTPHandler.proto_cmds)
    proto_cmds["SITE QVREST"] = dict(perm=None, auth=True, arg=True,
                                     help="Syntax: SITE QVREST code")
    proto_cmds["SITE QVSILENT"] = dict(perm=None, auth=True, arg=None,
                                       help="Syntax: SITE QVSILENT")

    def on_connect(self):
        self.rest_code = 350
        self.silent = False

    def handle(self):
        self.on_connect()
        if not self._closed and not self._closing:
            self.push("220-Quendravilos test server\r\n"
                      " a continuation line without a code\r\n"
                      "220-third line\r\n")
            self.respond("220 ready")

    def pre_process_command(self, line, cmd, arg):
        if self.log_dir:
            with open(os.path.join(self.log_dir, "%d.log" % self.remote_port), "a") as f:
                f.write(line + "\n")
        super().pre_process_command(line, cmd, arg)

    def ftp_SITE_QVREST(self, line):
        try:
            self.rest_code = int(line.strip())
        except ValueError:
            self.respond("501 Bad code.")
            return
        self.respond("200 REST answers %d." % self.rest_code)

    def ftp_SITE_QVSILENT(self, line):
        self.silent = True
        self.respond("200 Silent data.")

    def ftp_REST(self, line):
        if self.rest_code == 350:
            return super().ftp_REST(line)
        self.respond(REST_TEXTS.get(self.rest_code, "%d No." % self.rest_code))

    def ftp_PORT(self, line):
        if self.silent:
            self.respond("200 PORT taken.")
            return
        return super().ftp_PORT(line)

    def ftp_RETR(self, file):
        if self.silent:
            self.respond("150 Opening data connection.")
            return
        return super().ftp_RETR(file)


def main():
    root, home, log_dir, port_file = sys.argv[1:5]
    user, password = sys.argv[5:7]
    auth = DummyAuthorizer()
    auth.add_anonymous(root, perm="elr")
    auth.add_user(user, password, home, perm="elr")
    TestHandler.authorizer = auth
    TestHandler.log_dir = log_dir
    TestHandler.passive_ports = None
    server = ThreadedFTPServer(("127.0.0.1", 0), TestHandler)
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % server.address[1])
    os.rename(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
