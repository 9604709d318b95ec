"""Two daemons behind a real HAProxy, as the README's recipe sets them up: HAProxy in TCP
mode sends a PROXY header (binary form) on every connection it forwards, to the control
ports and to each daemon's passive range, which it forwards port for port. The daemons
share one tree of files and trust HAProxy's address alone. The client speaks to HAProxy
only, from an address of its own, so that the logs and the ban list can tell it from the
balancer.

Everything runs on loopback: HAProxy listens on 127.0.0.1 and reaches the daemons on
127.0.0.2 and 127.0.0.3 from 127.0.0.1; the daemons announce 127.0.0.1 for their passive
ports."""

import ftplib
import io
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

from harness import Daemon, free_port, free_ports, member, read_list_file
from hostile_client import SANITIZER_MARKS

BALANCER = "127.0.0.1"
BACKENDS = ("127.0.0.2", "127.0.0.3")
CLIENT, INTRUDER = "127.0.0.5", "127.0.0.6"
RANGE = 4  # passive ports per daemon, beyond the first
TIMEOUT = 10

CONFIG = """global
    maxconn 256
defaults
    mode tcp
    timeout connect 5s
    timeout client 30s
    timeout server 30s
frontend control
    bind {balancer}:{port}
    default_backend control
backend control
    balance roundrobin
{control_servers}
{passive}"""

# A server without a port is reached on the port the client came to: the range is
# forwarded port for port.
PASSIVE = """frontend passive_{name}
    bind {balancer}:{first}-{last}
    default_backend passive_{name}
backend passive_{name}
    server {name} {backend} send-proxy-v2 source {balancer}
"""


def haproxy_binary():
    return shutil.which("haproxy") or "/usr/sbin/haproxy"


class HaproxyDeployment(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.path.exists(haproxy_binary()),
                        "HAProxy is missing: make test-deps installs it")
        self.tree = tempfile.mkdtemp(prefix="vantrel-shared-")
        self.addCleanup(shutil.rmtree, self.tree, True)
        with open(os.path.join(self.tree, "shared.txt"), "wb") as f:
            f.write(b"one tree for both")
        self.daemons = []
        for name, backend in zip("ab", BACKENDS):
            first = free_ports(RANGE + 1)
            d = Daemon({"pasvrangestart": str(first), "pasvrangesize": str(RANGE),
                        "pasvipaddr": BALANCER, "proxyprotocol": "1",
                        "proxytrusted": BALANCER + ";", "autoban": "1", "autoban_logins": "2",
                        "autoban_minutes": "10"},
                       [member("alice", "pw", self.tree)])
            self.addCleanup(d.cleanup)
            d.start()
            self.daemons.append((name, backend, first, d))
        self.port = free_port()
        self.start_haproxy()

    def start_haproxy(self):
        control = "\n".join("    server %s %s:%d send-proxy-v2 source %s" %
                            (name, backend, d.port, BALANCER)
                            for name, backend, _, d in self.daemons)
        passive = "".join(PASSIVE.format(name=name, backend=backend, balancer=BALANCER,
                                         first=first, last=first + RANGE)
                          for name, backend, first, _ in self.daemons)
        directory = tempfile.mkdtemp(prefix="vantrel-haproxy-")
        self.addCleanup(shutil.rmtree, directory, True)
        config = os.path.join(directory, "haproxy.cfg")
        with open(config, "w") as f:
            f.write(CONFIG.format(balancer=BALANCER, port=self.port, control_servers=control,
                                  passive=passive))
        self.haproxy_log = open(os.path.join(directory, "haproxy.log"), "w+")
        self.addCleanup(self.haproxy_log.close)
        process = subprocess.Popen([haproxy_binary(), "-f", config, "-db"],
                                   stdout=self.haproxy_log, stderr=subprocess.STDOUT)
        self.addCleanup(self.stop, process)
        deadline = time.monotonic() + TIMEOUT
        while True:  # until it listens
            try:
                socket.create_connection((BALANCER, self.port), timeout=1).close()
                return
            except OSError:
                if process.poll() is not None or time.monotonic() > deadline:
                    self.haproxy_log.seek(0)
                    self.fail("HAProxy did not start: " + self.haproxy_log.read())
                time.sleep(0.05)

    def stop(self, process):
        process.terminate()
        try:
            process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

    def client(self, source=CLIENT):
        ftp = ftplib.FTP(source_address=(source, 0), timeout=TIMEOUT)
        try:
            ftp.connect(BALANCER, self.port)
        except BaseException:
            ftp.close()
            raise
        return ftp

    def on_both_daemons(self, fragment, source, attempt, tries):
        """Runs `attempt(turn)` until both daemons logged `fragment` (round robin alternates,
        but HAProxy may or may not have given the readiness probe a server), then checks
        that each logged it for `source`."""
        for turn in range(tries):
            attempt(turn)
            for *_, d in self.daemons:
                d.settle(0.1)
            if all(any(fragment in line for line in d.lines) for *_, d in self.daemons):
                break
        for name, _, _, d in self.daemons:
            line = d.wait_for(fragment)
            self.assertTrue(line.startswith(source + ":"), "%s logged %r" % (name, line))

    def session(self, turn):
        ftp = self.client()
        ftp.login("alice", "pw")
        self.assertIn("shared.txt", ftp.nlst())
        got = io.BytesIO()
        ftp.retrbinary("RETR shared.txt", got.write)
        self.assertEqual(got.getvalue(), b"one tree for both")
        ftp.storbinary("STOR up%d.txt" % turn, io.BytesIO(b"upload %d" % turn))
        lines = []
        ftp.retrlines("LIST", lines.append)
        self.assertTrue(any(line.endswith("up%d.txt" % turn) for line in lines), lines)
        ftp.quit()
        with open(os.path.join(self.tree, "up%d.txt" % turn), "rb") as f:
            self.assertEqual(f.read(), b"upload %d" % turn)

    def guess(self, _turn):
        try:
            ftp = self.client(INTRUDER)
        except (EOFError, ConnectionError):
            return  # a daemon that banned it already
        with self.assertRaises(ftplib.error_perm):
            ftp.login("alice", "wrong")
        ftp.close()

    def test_sessions_through_haproxy_reach_both_daemons_as_the_client(self):
        self.on_both_daemons("> Authenticated as alice", CLIENT, self.session, 6)
        # Failed logins through HAProxy ban the client on each daemon, never the balancer.
        self.on_both_daemons(", alice> AutoBan (login)", INTRUDER, self.guess, 12)
        for _ in range(2):
            with self.assertRaises((EOFError, ConnectionError)):
                self.client(INTRUDER).login("alice", "pw")
            ftp = self.client()
            ftp.login("alice", "pw")
            ftp.quit()
        for _, _, _, d in self.daemons:
            self.assertEqual(d.stop(), 0)
            self.assertFalse([line for line in d.lines
                              if any(mark in line for mark in SANITIZER_MARKS)])
            saved = read_list_file(d.path("ftpsettings.lst"))["ftpsettings"]
            self.assertEqual(saved["bannedlist"], INTRUDER + "=autoban (login);")


if __name__ == "__main__":
    unittest.main()
