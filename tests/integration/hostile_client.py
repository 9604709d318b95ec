"""What the hostile-client tests share: a daemon whose exit is checked, raw control
connections that can send anything and vanish without a goodbye, and a look at the
statistics on the web site."""

import ftplib
import http.client
import os
import re
import socket
import struct
import tempfile
import unittest
import urllib.parse

from harness import Daemon, free_port

TIMEOUT = 20
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "WARNING: ThreadSanitizer", "AddressSanitizer:DEADLYSIGNAL")


class HostileCase(unittest.TestCase):
    """Every daemon a test starts must end on SIGTERM with status 0 and no sanitizer
    report, whatever the test did to it."""

    def make_directory(self):
        """The data directory of the next daemon, for accounts that name paths in it."""
        self.directory = tempfile.mkdtemp(prefix="vantrel-hostile-")
        return self.directory

    def start_daemon(self, settings=None, members=(), web=False, args=(), open_files=None):
        values = dict(settings or {})
        if web:
            self.web_port = free_port()
            values.update({"webinterfaceenabled": "1", "webinterfaceport": str(self.web_port),
                           "webinterfaceusers": "admin=pw;"})
        d = Daemon(values, members, getattr(self, "directory", None), args, open_files)
        self.directory = None
        self.addCleanup(d.cleanup)
        d.start()
        # Cleanups run last first: this one runs while the daemon still lives.
        self.addCleanup(self.assert_clean_exit, d)
        if web:
            d.wait_for("- Web interface started")
        return d

    def assert_clean_exit(self, d):
        code = d.stop()
        reports = [line for line in d.lines if any(mark in line for mark in SANITIZER_MARKS)]
        self.assertEqual(reports, [], "sanitizer report from the daemon")
        self.assertEqual(code, 0, "exit status of the daemon")

    def statistics(self):
        """The totals of the web site's main page: {"Connections": "3", ...}."""
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=TIMEOUT)
        conn.request("POST", "/", urllib.parse.urlencode({"username": "admin", "password": "pw"}),
                     {"Content-Type": "application/x-www-form-urlencoded"})
        page = conn.getresponse().read().decode("utf-8")
        conn.close()
        rows = re.findall(r">(Connections|Sessions|Downloaded|Uploaded)</td><td[^>]*>"
                          r"<font[^>]*>([^<]*)</td>", page)
        if len(rows) != 4:
            raise AssertionError("no statistics on the main page: " + page)
        return dict(rows)


# ThreadSanitizer shadows every byte the daemon touches, so memory bounds stretch under it.
MEMORY_FACTOR = 3 if "thread" in os.environ.get("VANTREL_SANITIZE", "") else 1


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


def vanish(sock):
    """Closes with a reset instead of a goodbye, as a client that crashed or lost its line."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


class Control:
    """A bare control connection; replies are read whole (multi-line ones included)."""

    def __init__(self, port, source="127.0.0.1", header=b""):
        """`header`: a load balancer's PROXY header, sent first."""
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT,
                                             source_address=(source, 0))
        self.buffer = b""
        # The connection key the daemon's log lines start with.
        self.key = "%s:%d" % self.sock.getsockname()[:2]
        self.sock.sendall(header)
        self.greeting = self.reply()

    def send(self, data):
        self.sock.sendall(data)

    def line(self):
        while b"\r\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("connection closed; pending: %r" % self.buffer[:200])
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line.decode("latin-1")

    def reply(self):
        first = self.line()
        lines = [first]
        if len(first) > 3 and first[3] == "-":
            while not (lines[-1].startswith(first[:3] + " ") and len(lines) > 1):
                lines.append(self.line())
        return "\n".join(lines)

    def ask(self, command):
        self.send(command.encode("latin-1") + b"\r\n")
        return self.reply()

    def login(self, user, password):
        self.ask("USER " + user)
        reply = self.ask("PASS " + password)
        if not reply.startswith("230"):
            raise AssertionError("login failed: " + reply)
        return self

    def passive(self, receive_buffer=None):
        """Sends PASV and connects to the announced port; the data socket, with a receive
        buffer of that many bytes when given (a client that holds little unread)."""
        reply = self.ask("PASV")
        numbers = re.search(r"\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)", reply)
        if not numbers:
            raise AssertionError("no passive address: " + reply)
        port = int(numbers.group(5)) * 256 + int(numbers.group(6))
        data = socket.socket()
        data.settimeout(TIMEOUT)
        if receive_buffer:
            data.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        data.connect(("127.0.0.1", port))
        return data

    def close(self):
        self.sock.close()


def ftp_reply(action):
    """The reply text of an ftplib call, failures included."""
    try:
        return action()
    except ftplib.Error as failure:
        return str(failure)


def proxy_v1(source, port, destination="127.0.0.1", destination_port=21):
    return ("PROXY TCP4 %s %s %d %d\r\n" % (source, destination, port,
                                             destination_port)).encode()


def proxy_v2(source, port, destination="127.0.0.1", destination_port=21):
    addresses = socket.inet_aton(source) + socket.inet_aton(destination)
    return (b"\r\n\r\n\x00\r\nQUIT\n\x21\x11\x00\x0c" + addresses +
            struct.pack("!HH", port, destination_port))

