"""Data connections a hostile client aims elsewhere: FTP bounce (PORT and EPRT naming
another address or a reserved port) and passive connection theft (a stranger connecting to
a passive port first), against the real daemon."""

import os
import socket
import threading
import unittest

from harness import member
from hostile_client import TIMEOUT, Control, HostileCase

CONTENT = b"payload-" * 4096


class Watch:
    """A listener that notes whether anybody connected to it."""

    def __init__(self, host):
        self.sock = socket.socket()
        self.sock.bind((host, 0))
        self.sock.listen(4)
        self.sock.settimeout(0.3)
        self.port = self.sock.getsockname()[1]
        self.connections = 0

    def visited(self):
        try:
            conn, _ = self.sock.accept()
            conn.close()
            self.connections += 1
        except socket.timeout:
            pass
        return self.connections > 0

    def close(self):
        self.sock.close()


def port_argument(host, port):
    return "%s,%d,%d" % (host.replace(".", ","), port // 256, port % 256)


class Bounce(HostileCase):
    def setUp(self):
        self.d = self.start_daemon(members=[member("alice", "pw")])
        with open(os.path.join(self.d.home, "file.bin"), "wb") as f:
            f.write(CONTENT)
        self.c = Control(self.d.port).login("alice", "pw")
        self.addCleanup(self.c.close)

    def test_port_and_eprt_to_another_address_are_refused(self):
        third = Watch("127.0.0.2")
        self.addCleanup(third.close)
        same = "Data port can only be used by the same IP address used by the control connection."
        for command in ("PORT " + port_argument("127.0.0.2", third.port),
                        "EPRT |1|127.0.0.2|%d|" % third.port,
                        "PORT " + port_argument("10.9.8.7", third.port),
                        "EPRT |1|10.9.8.7|%d|" % third.port):
            self.assertEqual(self.c.ask(command), "504 " + same, command)
            for transfer in ("RETR file.bin", "LIST", "STOR planted.bin"):
                self.assertEqual(self.c.ask(transfer), "425 Can't open data connection.",
                                 "%s after %s" % (transfer, command))
        self.assertFalse(third.visited(), "the server connected to a third address")
        self.assertFalse(os.path.exists(os.path.join(self.d.home, "planted.bin")))

    def test_reserved_ports_are_refused(self):
        reserved = "504 PORT/EPRT Command disabled for reserved port range (1-1024)."
        for port in (1, 21, 25, 80, 1024):
            for command in ("PORT " + port_argument("127.0.0.1", port),
                            "EPRT |1|127.0.0.1|%d|" % port):
                self.assertEqual(self.c.ask(command), reserved, command)
                self.assertEqual(self.c.ask("LIST"), "425 Can't open data connection.")

    def test_malformed_and_foreign_family_arguments(self):
        for command, code in (("PORT 127,0,0,1,300,1", "501"), ("PORT 127,0,0,1,4", "501"),
                              ("PORT 127.0.0.1:2000", "501"), ("PORT ,,,,,", "501"),
                              ("EPRT |2|::1|2000|", "522"), ("EPRT |3|x|2000|", "522"),
                              ("EPRT |1|127.0.0.1|70000|", "500"), ("EPRT |1|nothing|2000|", "500"),
                              ("EPRT 1|127.0.0.1|2000", "501"), ("EPRT", "501")):
            self.assertTrue(self.c.ask(command).startswith(code), command)
            self.assertEqual(self.c.ask("RETR file.bin"), "425 Can't open data connection.",
                             "transfer after " + command)

    def test_a_refused_port_does_not_leave_the_old_one_usable(self):
        mine = Watch("127.0.0.1")
        self.addCleanup(mine.close)
        self.assertTrue(self.c.ask("PORT " + port_argument("127.0.0.1", mine.port))
                        .startswith("200"))
        self.assertTrue(self.c.ask("PORT " + port_argument("127.0.0.2", mine.port))
                        .startswith("504"))
        self.assertEqual(self.c.ask("RETR file.bin"), "425 Can't open data connection.")
        self.assertFalse(mine.visited())


class PassiveTheft(HostileCase):
    def setUp(self):
        self.d = self.start_daemon(members=[member("alice", "pw")])
        with open(os.path.join(self.d.home, "file.bin"), "wb") as f:
            f.write(CONTENT)
        self.c = Control(self.d.port).login("alice", "pw")
        self.addCleanup(self.c.close)

    def passive_port(self):
        reply = self.c.ask("PASV")
        numbers = reply[reply.index("(") + 1:reply.index(")")].split(",")
        return int(numbers[4]) * 256 + int(numbers[5])

    def steal(self, port, received):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT,
                                          source_address=("127.0.0.2", 0)) as thief:
                while True:
                    chunk = thief.recv(65536)
                    if not chunk:
                        break
                    received.append(chunk)
        except OSError:
            pass

    def test_a_stranger_on_the_passive_port_gets_nothing(self):
        for transfer in ("RETR file.bin", "LIST", "STOR stolen.bin"):
            port = self.passive_port()
            received = []
            thief = threading.Thread(target=self.steal, args=(port, received))
            thief.start()
            first = self.c.ask(transfer)
            final = self.c.reply() if first.startswith("1") else first
            thief.join(TIMEOUT)
            self.assertEqual(final, "504 Data port can only be used by the same IP address used"
                                    " by the control connection.", transfer)
            self.assertEqual(b"".join(received), b"", "the stranger received data: " + transfer)
        # The upload's file is opened before the connection is judged; it stays empty.
        stolen = os.path.join(self.d.home, "stolen.bin")
        self.assertEqual(os.path.getsize(stolen) if os.path.exists(stolen) else 0, 0)
        # The owner still gets the file through a passive connection of its own.
        data = self.c.passive()
        self.assertTrue(self.c.ask("RETR file.bin").startswith("150"))
        got = b""
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            got += chunk
        data.close()
        self.assertEqual(self.c.reply(), "226 Closing data connection.")
        self.assertEqual(got, CONTENT)

    def test_the_passive_port_takes_one_connection_only(self):
        port = self.passive_port()
        data = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
        self.assertTrue(self.c.ask("RETR file.bin").startswith("150"))
        got = b""
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            got += chunk
        data.close()
        self.assertEqual(self.c.reply(), "226 Closing data connection.")
        self.assertEqual(got, CONTENT)
        with self.assertRaises(OSError):
            late = socket.create_connection(("127.0.0.1", port), timeout=2,
                                            source_address=("127.0.0.2", 0))
            late.settimeout(2)
            if late.recv(1) == b"":
                late.close()
                raise ConnectionRefusedError("closed at once")


if __name__ == "__main__":
    unittest.main()
