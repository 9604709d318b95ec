"""Where passive data connections listen and what the replies announce: the configured
passive address, the address the client reached, and the passive port range."""

import ftplib
import re
import socket
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

    def test_epsv_listens_there_too(self):
        s = self.session("pat", "pw")
        port = int(re.match(r"^229 Entering Extended Passive Mode \(\|\|\|(\d+)\|\)$",
                            s.reply("EPSV")).group(1))
        self.assertFalse(accepts("127.0.0.1", port))
        self.assertTrue(accepts("127.0.0.2", port))


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


class UnboundAddress(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {"pasvipaddr": "192.0.2.1"}, [member("pat", "pw")]

    def test_passive_fails_and_the_session_goes_on(self):
        s = self.session("pat", "pw")
        self.assertEqual(s.reply("PASV"),
                         "500 cannot bind 192.0.2.1:0: Cannot assign requested address")
        self.assertEqual(s.reply("NOOP")[:3], "200")


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
        fourth = self.session("pat", "pw")
        self.assertEqual(fourth.reply("PASV"), "500 Can not bind in port range (%d - %d)" %
                         (self.base, self.base + 2))
        # A session that gets a new listener frees its old port for the next one.
        write_file(self.in_home("r.txt"), b"range")
        self.assertEqual(sessions[0].retrieve("r.txt"), b"range")
        self.assertEqual(passive_address(fourth.reply("PASV"))[1], self.base + 2)


if __name__ == "__main__":
    unittest.main()
