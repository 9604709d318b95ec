"""A small FTP client on raw sockets, built for measuring servers rather than for use.

ftplib decodes every reply line, copies every data block into a new bytes object and
offers no zero-copy upload; at a gigabyte per second that client cost would show up in
the figures of whichever server is fastest. This one reads into one reusable buffer,
uploads with sendfile, and keeps the control connection's reply parsing minimal, while
still checking every reply code so a server that fails a step is never measured as fast.
"""

import re
import socket

BLOCK = 1 << 20
_PASV = re.compile(rb"(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)")


class FtpError(Exception):
    pass


class Session:
    def __init__(self, host, port, timeout=60.0):
        self.host = host
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._pending = b""
        self._buffer = None

    # --- control connection ---

    def _line(self):
        while True:
            end = self._pending.find(b"\n")
            if end >= 0:
                line = self._pending[:end + 1]
                self._pending = self._pending[end + 1:]
                return line.rstrip(b"\r\n")
            chunk = self.sock.recv(65536)
            if not chunk:
                raise FtpError("control connection closed by the server")
            self._pending += chunk

    def reply(self):
        """(code, last line) of the next reply, multi-line replies read to their end."""
        first = self._line()
        if len(first) < 4 or not first[:3].isdigit():
            raise FtpError(f"malformed reply {first!r}")
        code = int(first[:3])
        line = first
        if first[3:4] == b"-":
            close = first[:3] + b" "
            while not line.startswith(close):
                line = self._line()
        return code, line

    def expect(self, *codes):
        code, line = self.reply()
        if code not in codes:
            raise FtpError(f"expected {codes}, got {line!r}")
        return code, line

    def command(self, text, *codes):
        self.sock.sendall(text.encode() + b"\r\n")
        return self.expect(*codes)

    def login(self, user, password):
        self.expect(220)
        code, _ = self.command(f"USER {user}", 230, 331)
        if code == 331:
            self.command(f"PASS {password}", 230)

    def quit(self):
        try:
            self.command("QUIT", 221)
        finally:
            self.close()

    def close(self):
        self.sock.close()

    # --- data connections ---

    def passive(self):
        """A data connection made the way real clients make it: PASV, then connect."""
        _, line = self.command("PASV", 227)
        match = _PASV.search(line)
        if not match:
            raise FtpError(f"unreadable PASV reply {line!r}")
        numbers = [int(n) for n in match.groups()]
        port = numbers[4] * 256 + numbers[5]
        data = socket.create_connection((self.host, port), timeout=self.sock.gettimeout())
        return data

    def _drain(self, data):
        if self._buffer is None:
            self._buffer = memoryview(bytearray(BLOCK))
        total = 0
        try:
            while True:
                got = data.recv_into(self._buffer)
                if not got:
                    return total
                total += got
        finally:
            data.close()

    def retrieve(self, name):
        """Bytes received for RETR `name`."""
        data = self.passive()
        try:
            self.command(f"RETR {name}", 125, 150)
        except BaseException:
            data.close()
            raise
        total = self._drain(data)
        self.expect(226, 250)
        return total

    def store(self, name, path):
        """Uploads the file at `path` as `name` with sendfile; bytes sent."""
        data = self.passive()
        try:
            self.command(f"STOR {name}", 125, 150)
            with open(path, "rb") as source:
                sent = data.sendfile(source)
        finally:
            data.close()
        self.expect(226, 250)
        return sent

    def list_lines(self, path=""):
        """Lines of a LIST of `path` (the current directory when empty)."""
        data = self.passive()
        try:
            self.command(f"LIST {path}".rstrip(), 125, 150)
            chunks = []
            while True:
                chunk = data.recv(BLOCK)
                if not chunk:
                    break
                chunks.append(chunk)
        finally:
            data.close()
        self.expect(226, 250)
        return b"".join(chunks).count(b"\n")


def connect_and_login(host, port, user, password, timeout=60.0):
    session = Session(host, port, timeout)
    try:
        session.login(user, password)
        session.command("TYPE I", 200)
    except BaseException:
        session.close()
        raise
    return session
