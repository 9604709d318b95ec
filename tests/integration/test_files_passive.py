"""Where passive data connections listen and what the replies announce: the configured
passive address (one of this machine's, a router's, a name), the address the client
reached, and the passive port range.

No test connects to an announced address that is not a loopback one: data ports are
reached through the control connection's address, as clients behind the router would
be forwarded."""

import ftplib
import re
import socket
import subprocess
import time
import unittest

from files_support import SharedDaemonCase, write_file
from harness import member

PASV = re.compile(r"^227 Entering Passive Mode \((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)\.$")


def passive_address(reply):
    match = PASV.match(reply)
    if not match:
        raise AssertionError("not a PASV reply: %r" % reply)
    numbers = [int(n) for n in match.groups()]
    return "%d.%d.%d.%d" % tuple(numbers[:4]), numbers[4] * 256 + numbers[5]


def accepts(address, port):
    try:
        socket.create_connection((address, port), timeout=5).close()
        return True
    except ConnectionRefusedError:
        return False


def ports_free(first, last):
    for port in range(first, last + 1):
        with socket.socket() as s:
            try:
                s.bind(("0.0.0.0", port))
            except OSError:
                return False
    return True


class ConfiguredAddress(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {"pasvipaddr": "127.0.0.2"}, [member("pat", "pw")]

    def test_listener_and_reply_use_the_configured_address(self):
        write_file(self.in_home("p.txt"), b"passive")
        s = self.session("pat", "pw")
        address, port = passive_address(s.reply("PASV"))
        self.assertEqual(address, "127.0.0.2")
        self.assertFalse(accepts("127.0.0.1", port), "listening on the control address")
        # The client follows the reply's address, as clients outside loopback must.
        s.ftp.trust_server_pasv_ipv4_address = True
        self.assertEqual(s.retrieve("p.txt"), b"passive")
        self.assertEqual(s.listing("NLST"), ["p.txt"])

    def test_epsv_listens_on_the_control_address(self):
        # Its reply names no address: the client connects where it already is.
        s = self.session("pat", "pw")
        port = int(re.match(r"^229 Entering Extended Passive Mode \(\|\|\|(\d+)\|\)$",
                            s.reply("EPSV")).group(1))
        self.assertFalse(accepts("127.0.0.2", port))
        self.assertTrue(accepts("127.0.0.1", port))


class ReachedAddress(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        # The other family cannot serve an IPv4 client; the control address does instead.
        return {"pasvipaddr": "::1"}, [member("pat", "pw")]

    def test_reply_names_the_address_the_client_reached(self):
        for address in ("127.0.0.1", "127.0.0.3"):
            with self.subTest(address=address):
                client = ftplib.FTP()
                client.connect(address, self.daemon.port, timeout=10)
                client.login("pat", "pw")
                self.addCleanup(client.close)
                announced, port = passive_address(client.sendcmd("PASV"))
                self.assertEqual(announced, address)
                self.assertTrue(accepts(address, port))


class NamedAddress(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {"pasvipaddr": "localhost"}, [member("pat", "pw")]

    def test_the_name_is_resolved_and_listened_on(self):
        client = ftplib.FTP()
        client.connect("127.0.0.3", self.daemon.port, timeout=10)
        client.login("pat", "pw")
        self.addCleanup(client.close)
        announced, port = passive_address(client.sendcmd("PASV"))
        self.assertEqual(announced, "127.0.0.1")
        self.assertTrue(accepts("127.0.0.1", port))
        self.assertFalse(accepts("127.0.0.3", port))


class RouterAddress(SharedDaemonCase):
    """An address none of this machine's: a router's, forwarding the passive ports here."""

    @classmethod
    def configure(cls, root):
        return {"pasvipaddr": "203.0.113.5"}, [member("pat", "pw")]

    def test_reply_names_the_router_and_the_listener_is_local(self):
        write_file(self.in_home("routed.txt"), b"through the router")
        s = self.session("pat", "pw")
        address, port = passive_address(s.reply("PASV"))
        self.assertEqual(address, "203.0.113.5")
        with socket.create_connection(("127.0.0.1", port), timeout=10) as data:
            self.assertEqual(s.reply("RETR routed.txt")[:3], "150")
            received = b""
            while chunk := data.recv(65536):
                received += chunk
        self.assertEqual(received, b"through the router")
        self.assertEqual(s.ftp.voidresp(), "226 Closing data connection.")
        # ftplib ignores the announced address and uses the control connection's.
        self.assertEqual(s.retrieve("routed.txt"), b"through the router")
        self.assertIn("routed.txt", s.listing("NLST"))

    def test_curl_with_epsv_and_with_pasv(self):
        write_file(self.in_home("curl.txt"), b"curl gets it")
        url = "ftp://pat:pw@127.0.0.1:%d/curl.txt" % self.daemon.port
        # --ftp-skip-pasv-ip: curl connects to the control address, never the router's.
        for extra, reply in (([], "229 Entering Extended Passive Mode"),
                             (["--disable-epsv"], "227 Entering Passive Mode (203,0,113,5,")):
            with self.subTest(extra=extra):
                run = subprocess.run(["curl", "-sS", "-v", "--max-time", "20",
                                      "--ftp-skip-pasv-ip"] + extra + [url],
                                     capture_output=True, timeout=30)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(run.stdout, b"curl gets it")
                self.assertIn(reply, run.stderr.decode("latin-1"))


class PortRange(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        for base in range(41000, 49000, 97):
            if ports_free(base, base + 2):
                break
        cls.base = base
        return {"pasvrangestart": str(base), "pasvrangesize": "2", "dataport": "0"}, \
            [member("pat", "pw")]

    def test_listeners_take_the_highest_free_port_of_the_range(self):
        self.daemon.wait_for("- Passive ports range set to [%d..%d]" % (self.base, self.base + 2))
        sessions = [self.session("pat", "pw") for _ in range(3)]
        ports = [passive_address(s.reply("PASV"))[1] for s in sessions]
        self.assertEqual(ports, [self.base + 2, self.base + 1, self.base])
        # With the range full the system chooses a port, which one log line tells.
        fourth = self.session("pat", "pw")
        outside = [passive_address(fourth.reply("PASV"))[1] for _ in range(2)]
        for port in outside:
            self.assertFalse(self.base <= port <= self.base + 2, port)
        self.daemon.wait_for("- Passive port range exhausted, using port %d" % outside[0])
        # A session that gets a new listener frees its old port for the next one.
        write_file(self.in_home("r.txt"), b"range")
        self.assertEqual(sessions[0].retrieve("r.txt"), b"range")
        self.assertEqual(passive_address(fourth.reply("PASV"))[1], self.base + 2)
        self.daemon.settle()
        self.assertEqual(sum("- Passive port range exhausted" in line
                             for line in self.daemon.lines), 1, "at most once a minute")


class IdlePassiveSessions(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        # The range of a fresh installation, whatever else may be using it now.
        return {"pasvrangestart": "16384", "pasvrangesize": "5"}, [member("pat", "pw")]

    def test_idle_sessions_holding_listeners_do_not_lock_a_new_client_out(self):
        write_file(self.in_home("idle.txt"), b"served at once")
        for _ in range(20):
            self.assertEqual(self.session("pat", "pw").reply("PASV")[:4], "227 ")
        start = time.monotonic()
        s = self.session("pat", "pw")
        self.assertIn("idle.txt", s.listing("NLST"))
        self.assertEqual(s.retrieve("idle.txt"), b"served at once")
        self.assertLess(time.monotonic() - start, 5)


if __name__ == "__main__":
    unittest.main()
