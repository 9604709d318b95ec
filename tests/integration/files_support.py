"""What the file-service tests share: one daemon per test class over a home tree the tests
fill, and FTP sessions that know their own log prefix.

A daemon per class rather than per test keeps the suite fast; tests of one class stay
apart by using their own file names, and each session's log lines carry its own
connection key, so a test never mistakes another test's line for its own.
"""

import ftplib
import os
import tempfile
import unittest

from harness import Daemon

TIMEOUT = 20


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


class Session:
    """One logged-in ftplib client; `prefix` starts every log line its commands cause."""

    def __init__(self, daemon, user, password, source="127.0.0.1"):
        self.daemon = daemon
        self.ftp = ftplib.FTP()
        self.ftp.connect("127.0.0.1", daemon.port, timeout=TIMEOUT,
                         source_address=(source, 0))
        self.ftp.login(user, password)
        self.prefix = "%s:%d, %s> " % (source, self.ftp.sock.getsockname()[1], user)

    def reply(self, command):
        """The reply to a control command, failures included, as text."""
        try:
            return self.ftp.sendcmd(command)
        except ftplib.Error as failure:
            return str(failure)

    def retrieve(self, name):
        chunks = []
        self.ftp.retrbinary("RETR " + name, chunks.append)
        return b"".join(chunks)

    def store(self, name, data, command="STOR"):
        conn = self.ftp.transfercmd("%s %s" % (command, name))
        conn.sendall(data)
        conn.close()
        return self.ftp.voidresp()

    def transfer_reply(self, command, data=b""):
        """The final reply of a transfer command, failures included, as text."""
        try:
            if command.startswith(("RETR", "LIST", "NLST")):
                return self.ftp.retrbinary(command, lambda _: None)
            return self.store(command.split(" ", 1)[1], data, command.split(" ", 1)[0])
        except ftplib.Error as failure:
            return str(failure)

    def listing(self, command="LIST"):
        lines = []
        self.ftp.retrlines(command, lines.append)
        return lines

    def log(self, text, timeout=10.0):
        """Waits for this session's log line `text` and checks it is the whole line."""
        line = self.daemon.wait_for(self.prefix + text, timeout)
        if line != self.prefix + text:
            raise AssertionError("log line %r is not %r" % (line, self.prefix + text))
        return line

    def logs(self, texts, timeout=10.0):
        """Waits for the last of `texts` and checks that all of them were logged, as whole
        lines and in this order (other lines may come between). Waiting once costs one log
        tick instead of one per line."""
        if not texts:
            return
        self.log(texts[-1], timeout)
        wanted = [self.prefix + text for text in texts]
        lines = iter(self.daemon.lines)
        missing = [line for line in wanted if line not in lines]
        if missing:
            raise AssertionError("log lines %r missing or out of order in %r" %
                                 (missing, [l for l in self.daemon.lines
                                            if l.startswith(self.prefix)]))

    def logged(self, text):
        return self.prefix + text in self.daemon.lines

    def close(self):
        try:
            self.ftp.quit()
        except (ftplib.Error, OSError):
            self.ftp.close()


class SharedDaemonCase(unittest.TestCase):
    """Starts one daemon for the whole class; `configure(root)` gives its settings and
    members, where `root` is the data directory and `root`/home the daemon's home."""

    DAEMON_ARGS = ()  # added to the daemon's command line

    @classmethod
    def configure(cls, root):
        return {}, []

    @classmethod
    def setUpClass(cls):
        root = tempfile.mkdtemp(prefix="vantrel-files-")
        settings, members = cls.configure(root)
        # Passive listeners on ports the system picks: fixed ranges would collide with
        # other daemons running at the same time.
        values = {"pasvrangesize": "0"}
        values.update(settings)
        cls.daemon = Daemon(values, members, directory=root, args=cls.DAEMON_ARGS)
        cls.addClassCleanup(cls.daemon.cleanup)
        cls.daemon.start()
        cls.root = root
        cls.home = cls.daemon.home

    @classmethod
    def tearDownClass(cls):
        # A sanitizer's report at exit (leaks, races) shows only in the exit code.
        code = cls.daemon.stop()
        if code != 0:
            raise AssertionError("daemon exited with %s; last lines: %s" %
                                 (code, "\n".join(cls.daemon.lines[-40:])))

    def session(self, user, password, source="127.0.0.1"):
        s = Session(self.daemon, user, password, source)
        self.addCleanup(s.close)
        return s

    def in_home(self, *parts):
        return os.path.join(self.home, *parts)
