"""Oversized and malformed input on the control connection and the web port, against the
real daemon: every limit answers with its error and the server goes on serving, without
buffering what a client sends without end."""

import http.client
import os
import random
import socket
import unittest

from harness import member
from hostile_client import TIMEOUT, Control, HostileCase, resident_kb


def http_exchange(port, data, read=True):
    """Sends raw bytes to the web port; the status line of the answer ("" when none)."""
    with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT) as sock:
        try:
            sock.sendall(data)
        except (BrokenPipeError, ConnectionResetError):
            pass  # refused before the whole request was read
        answer = b""
        try:
            while read and b"\r\n" not in answer:
                chunk = sock.recv(4096)
                if not chunk:
                    break
                answer += chunk
        except ConnectionResetError:
            pass
    return answer.split(b"\r\n", 1)[0].decode("latin-1")


class ControlInput(HostileCase):
    def setUp(self):
        self.d = self.start_daemon(members=[member("alice", "pw")])

    def test_overlong_lines_are_refused_and_the_session_goes_on(self):
        c = Control(self.d.port).login("alice", "pw")
        self.addCleanup(c.close)
        for length in (8193, 100000, 4 * 1024 * 1024):
            c.send(b"NOOP " + b"x" * length + b"\r\n")
            self.assertEqual(c.reply(), "500 Command line too long.", length)
            self.assertEqual(c.ask("NOOP"), "200 NOOP Command successful.")
        # A line just within the limit is still a command.
        self.assertTrue(c.ask("CWD " + "d" * 8000).startswith("5"))
        self.assertEqual(c.ask("PWD"), '257 "/" is working directory.')
        c.close()

    def test_an_endless_line_is_not_buffered(self):
        c = Control(self.d.port)
        self.addCleanup(c.close)
        before = resident_kb(self.d.process.pid)
        block = b"A" * 65536
        for _ in range(32 * 16):  # 32 MiB without a line end
            c.send(block)
        c.send(b"\r\n")
        self.assertEqual(c.reply(), "500 Command line too long.")
        self.assertEqual(c.ask("NOOP"), "200 NOOP Command successful.")
        grown = resident_kb(self.d.process.pid) - before
        self.assertLess(grown, 16 * 1024, "the daemon grew %d KiB reading one line" % grown)
        c.close()

    def test_binary_garbage_gets_replies_and_leaves_the_server_serving(self):
        rng = random.Random(12)
        for round_ in range(4):
            c = Control(self.d.port)
            garbage = bytes(rng.randrange(256) for _ in range(256 * 1024))
            # Telnet commands and line ends in plenty, so the reader meets every state.
            garbage += b"\xff\xfb\x01\xff\xfd\x03\xff\xfa\x18" + garbage[:1000] + b"\xff\xf0"
            garbage += b"\xff\xf4" + b"x" * 100 + b"\xff\xf2\r\n\0\r\r\n"
            try:
                c.send(garbage)
                c.send(b"\r\nNOOP\r\nQUIT\r\n")
                while True:
                    reply = c.line()
                    if reply.startswith("221"):
                        break
            except (EOFError, ConnectionResetError, BrokenPipeError):
                pass  # three bad passwords end a session: the garbage may hold them
            c.close()
        c = Control(self.d.port).login("alice", "pw")
        self.assertEqual(c.ask("PWD"), '257 "/" is working directory.')
        c.close()
        self.assertEqual(self.d.process.poll(), None)

    def test_nul_and_controls_inside_paths(self):
        c = Control(self.d.port).login("alice", "pw")
        with open(os.path.join(self.d.home, "a.txt"), "wb") as f:
            f.write(b"abc")
        for path in ("a.txt\0../../etc/passwd", "\0", "a.txt\x7f", "a\r.txt", "a.txt\x1b[2J"):
            c.send(b"SIZE " + path.encode("latin-1") + b"\r\n")
            self.assertTrue(c.reply().startswith("550"), repr(path))
        self.assertEqual(c.ask("SIZE a.txt"), "213 3")
        c.close()


class WebInput(HostileCase):
    def setUp(self):
        self.d = self.start_daemon(web=True)

    def assert_serving(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=TIMEOUT)
        conn.request("GET", "/")
        self.assertEqual(conn.getresponse().status, 200)
        conn.close()

    def test_each_limit_answers_with_its_status(self):
        cases = [
            ("request line", b"GET /" + b"a" * 9000 + b" HTTP/1.1\r\n\r\n", "414"),
            ("header line", b"GET / HTTP/1.1\r\nX-Long: " + b"b" * 9000 + b"\r\n\r\n", "400"),
            ("header count", b"GET / HTTP/1.1\r\n" + b"X-A: 1\r\n" * 1100 + b"\r\n", "400"),
            ("declared body", b"POST / HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", "413"),
            ("signed length", b"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", "400"),
            ("chunked body", b"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
             "411"),
            ("bad credentials", b"GET / HTTP/1.1\r\nAuthorization: Basic %%%\r\n\r\n", "400"),
        ]
        for name, request, status in cases:
            line = http_exchange(self.web_port, request)
            self.assertTrue(line.startswith("HTTP/1.1 " + status), "%s: %r" % (name, line))
            self.assert_serving()

    def test_an_endless_body_without_length_is_cut_off(self):
        sock = socket.create_connection(("127.0.0.1", self.web_port), timeout=TIMEOUT)
        sock.sendall(b"POST / HTTP/1.1\r\nContent-Type: text/plain\r\n\r\n")
        answer = b""
        try:
            for _ in range(64 * 4):  # 4 MiB, four times the body limit
                sock.sendall(b"z" * 16384)
            answer = sock.recv(4096)
        except (BrokenPipeError, ConnectionResetError):
            pass
        sock.close()
        self.assertTrue(answer.startswith(b"HTTP/1.1 413"), answer[:80])
        self.assert_serving()

    def test_garbage_and_silence_on_the_web_port(self):
        rng = random.Random(7)
        for _ in range(8):
            garbage = bytes(rng.randrange(256) for _ in range(20000))
            http_exchange(self.web_port, garbage + b"\r\n\r\n")
            self.assert_serving()
        self.assertEqual(self.d.process.poll(), None)


if __name__ == "__main__":
    unittest.main()
