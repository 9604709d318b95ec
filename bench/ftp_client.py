"""A small FTP client on raw sockets, built for measuring servers rather than for use.

ftplib decodes every reply line, copies every data block into a new bytes object and
offers no zero-copy upload; at a gigabyte per second that client cost would show up in
the figures of whichever server is fastest. This one reads into one reusable buffer,
uploads with sendfile, and keeps the control connection's reply parsing minimal, while
still checking every reply code so a server that fails a step is never measured as fast.

With a TLS context it speaks FTPS the way common clients do: explicit AUTH TLS, PBSZ 0 and
PROT P, and every data connection resuming the control connection's TLS session (vsftpd
and proftpd refuse any other by default).
"""

import re
import selectors
import socket
import ssl
import time

BLOCK = 1 << 20
# The one cipher every server is measured with. Python cannot choose TLS 1.3 suites; the
# bench pins it through OpenSSL's configuration (run_bench.py), and each connection checks.
TLS_VERSION = "TLSv1.3"
TLS_CIPHER = "TLS_AES_128_GCM_SHA256"
_PASV = re.compile(rb"(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)")


class FtpError(Exception):
    pass


def tls_client_context(cafile):
    """TLS 1.3 only, trusting the bench's certificate alone (made for 127.0.0.1)."""
    context = ssl.create_default_context(cafile=cafile)
    context.minimum_version = ssl.TLSVersion.TLSv1_3
    context.maximum_version = ssl.TLSVersion.TLSv1_3
    return context


class Session:
    def __init__(self, host, port, timeout=60.0, tls=None):
        self.host = host
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.tls = tls  # an ssl.SSLContext for FTPS, else None
        self.data_connections = 0
        self.resumed_data_connections = 0  # of those, TLS ones that resumed the session
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
        if self.tls:
            self.command("AUTH TLS", 234)
            self.sock = self._wrap(self.sock)
        code, _ = self.command(f"USER {user}", 230, 331)
        if code == 331:
            self.command(f"PASS {password}", 230)
        if self.tls:
            self.command("PBSZ 0", 200)
            self.command("PROT P", 200)

    def offers_tls(self):
        """Whether the server takes AUTH TLS; the session is unusable afterwards."""
        self.expect(220)
        self.sock.sendall(b"AUTH TLS\r\n")
        code, _ = self.reply()
        return code == 234

    def _wrap(self, sock, session=None):
        wrapped = self.tls.wrap_socket(sock, server_hostname=self.host, session=session,
                                       do_handshake_on_connect=False)
        wrapped.do_handshake()
        name, version, _ = wrapped.cipher()
        if (version, name) != (TLS_VERSION, TLS_CIPHER):
            wrapped.close()
            raise FtpError(f"negotiated {version} {name}, not {TLS_VERSION} {TLS_CIPHER}")
        return wrapped

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

    def _transfer(self, text):
        """The data connection for the transfer command `text`, its 1xx reply read. Under
        TLS the command goes first: a server may start the handshake before or after its
        reply, and the data connection's handshake never waits on the reply."""
        data = self.passive()
        self.data_connections += 1
        try:
            if not self.tls:
                self.command(text, 125, 150)
                return data
            self.sock.sendall(text.encode() + b"\r\n")
            data = self._wrap(data, session=self.sock.session)
            self.expect(125, 150)
            self.resumed_data_connections += data.session_reused
            return data
        except BaseException:
            data.close()
            raise

    def _close_data(self, data):
        """Ends a data connection; under TLS with close_notify, as servers that check for
        a cut upload expect."""
        try:
            if self.tls:
                data.unwrap()
        except (OSError, ValueError):
            pass  # the server closed first: the byte counts show whether anything is missing
        finally:
            data.close()

    def _drain(self, data):
        if self._buffer is None:
            self._buffer = memoryview(bytearray(BLOCK))
        total = 0
        try:
            while True:
                try:
                    got = data.recv_into(self._buffer)
                except ssl.SSLEOFError:
                    got = 0  # closed without close_notify: the byte count is checked
                if not got:
                    return total
                total += got
        finally:
            self._close_data(data)

    def retrieve(self, name):
        """Bytes received for RETR `name`."""
        total = self._drain(self._transfer(f"RETR {name}"))
        self.expect(226, 250)
        return total

    def store(self, name, path):
        """Uploads the file at `path` as `name`, with sendfile on a plain connection; bytes
        sent."""
        data = self._transfer(f"STOR {name}")
        try:
            with open(path, "rb") as source:
                sent = data.sendfile(source) if not self.tls else self._send_tls(data, source)
        finally:
            self._close_data(data)
        self.expect(226, 250)
        return sent

    def _send_tls(self, data, source):
        if self._buffer is None:
            self._buffer = memoryview(bytearray(BLOCK))
        sent = 0
        while got := source.readinto(self._buffer):
            data.sendall(self._buffer[:got])
            sent += got
        return sent

    def list_lines(self, path=""):
        """Lines of a LIST of `path` (the current directory when empty)."""
        data = self._transfer(f"LIST {path}".rstrip())
        try:
            chunks = []
            while True:
                chunk = data.recv(BLOCK)
                if not chunk:
                    break
                chunks.append(chunk)
        finally:
            self._close_data(data)
        self.expect(226, 250)
        return b"".join(chunks).count(b"\n")


def connect_and_login(host, port, user, password, timeout=60.0, tls=None):
    session = Session(host, port, timeout, tls)
    try:
        session.login(user, password)
        session.command("TYPE I", 200)
    except BaseException:
        session.close()
        raise
    return session


IP_BIND_ADDRESS_NO_PORT = 24  # the port is chosen at connect, per address and peer


def crowd_address(i):
    """The i-th host of a crowd: 127.1.0.1, 127.1.0.2, ... (never 127.0.0.1)."""
    i += 1
    return "127.%d.%d.%d" % (1 + i // 65536, i // 256 % 256, i % 256)


def open_crowd(host, port, count, user, password, in_flight=100, timeout=900.0):
    """`count` logged-in control connections, each from its own loopback address, opened
    by this one thread with a selector: ten thousand client threads would cost this
    process more than a threaded server spends on them. At most `in_flight` connect and
    log in at once. The sockets, blocking, once all are in."""
    selector = selectors.DefaultSelector()
    sessions, started = [], 0
    deadline = time.monotonic() + timeout
    # What to send on each final reply line, by its code; 230 ends the login.
    steps = {b"220": f"USER {user}\r\n".encode(), b"331": f"PASS {password}\r\n".encode()}

    def start(i):
        s = socket.socket()
        s.setsockopt(socket.IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, 1)
        s.bind((crowd_address(i), 0))
        s.setblocking(False)
        s.connect_ex((host, port))
        selector.register(s, selectors.EVENT_READ, [b""])

    def advance(s, pending):
        """Answers the final reply lines that have come; True once logged in."""
        *lines, pending[0] = pending[0].split(b"\r\n")
        for line in lines:
            if line[3:4] != b" ":
                continue  # a line of a multi-line reply
            if line[:3] == b"230":
                return True
            if line[:3] not in steps:
                raise FtpError(f"crowd session {len(sessions)}: {line!r}")
            s.sendall(steps[line[:3]])
        return False

    try:
        while len(sessions) < count:
            while started < count and started - len(sessions) < in_flight:
                start(started)
                started += 1
            if time.monotonic() > deadline:
                raise FtpError(f"{len(sessions)} of {count} crowd sessions in before the deadline")
            for key, _ in selector.select(1.0):
                chunk = key.fileobj.recv(4096)
                if not chunk:
                    raise FtpError(f"crowd session closed before its login: {key.data[0]!r}")
                key.data[0] += chunk
                if advance(key.fileobj, key.data):
                    selector.unregister(key.fileobj)
                    key.fileobj.setblocking(True)
                    sessions.append(key.fileobj)
    except BaseException:
        for key in list(selector.get_map().values()):
            key.fileobj.close()
        for s in sessions:
            s.close()
        raise
    finally:
        selector.close()
    return sessions
