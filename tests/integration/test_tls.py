"""Encrypted FTP end to end: explicit (AUTH TLS) and implicit TLS driven by curl, lftp,
rclone and Python's ftplib, the rules that insist on encryption, and handshakes that go
wrong without holding up anybody else."""

import ftplib
import io
import os
import random
import shutil
import socket
import ssl
import subprocess
import tempfile
import time
import unittest
import urllib.request

from files_support import SharedDaemonCase, read_file, write_file
from harness import free_port, member
from test_files_mirror import make_tree, tree_of

TIMEOUT = 20
# A short line deadline bounds a stalled handshake; the login deadline stays long.
DEADLINES = "2,60,30"


class ResumingFTP_TLS(ftplib.FTP_TLS):
    """ftplib's FTP_TLS, except that protected data connections resume the control
    connection's TLS session, as the server requires by default."""

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host,
                                            session=self.sock.session)
        return conn, size


def insecure_context():
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return context


class TlsCase(SharedDaemonCase):
    SETTINGS = {}
    DAEMON_ARGS = ("--client-deadlines", DEADLINES)

    @classmethod
    def configure(cls, root):
        cls.implicit_port = free_port()
        cls.metrics_port = free_port()
        settings = {"tlsmode": "1", "tlsimplicitport": str(cls.implicit_port),
                    "metricsenabled": "1", "webinterfaceport": str(cls.metrics_port)}
        settings.update(cls.SETTINGS)
        return settings, [member("milo", "pw"), member("slow", "pw", download_limit=10000)]

    def client(self, kind=ResumingFTP_TLS, user="milo", password="pw", protect=True):
        ftp = kind(context=insecure_context())
        ftp.connect("127.0.0.1", self.daemon.port, timeout=TIMEOUT)
        self.addCleanup(ftp.close)
        if user is not None:
            ftp.login(user, password)
            if protect:
                ftp.prot_p()
        return ftp

    def local_dir(self):
        path = tempfile.mkdtemp(prefix="vantrel-tls-")
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def run_tool(self, args, timeout=120):
        done = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return done


class ExplicitAndImplicit(TlsCase):
    def test_ftplib_transfers_and_listing_under_prot_p_passive_and_active(self):
        data = random.Random(1).randbytes(3 * 1024 * 1024 + 17)
        ftp = self.client()
        ftp.storbinary("STOR lib.bin", io.BytesIO(data))
        self.assertEqual(read_file(self.in_home("lib.bin")), data)
        chunks = []
        ftp.retrbinary("RETR lib.bin", chunks.append)
        self.assertEqual(b"".join(chunks), data)
        self.assertIn("lib.bin", ftp.nlst())
        ftp.set_pasv(False)  # the server connects, and is the TLS server all the same
        chunks = []
        ftp.retrbinary("RETR lib.bin", chunks.append)
        self.assertEqual(b"".join(chunks), data)
        # The log and the online table name the session as encrypted.
        port = ftp.sock.getsockname()[1]
        self.daemon.wait_for("127.0.0.1:%d TLS, milo> Upload file /lib.bin" % port)

    def test_stat_and_abor_during_a_protected_download(self):
        write_file(self.in_home("big.bin"), bytes(32 * 1024 * 1024))
        ftp = self.client()
        conn = ftp.transfercmd("RETR big.bin")
        self.addCleanup(conn.close)
        self.assertTrue(conn.recv(65536))
        # The client reads no more: the server waits for room, and answers meanwhile.
        ftp.putcmd("STAT")
        self.assertTrue(ftp.getmultiline().startswith("211"))
        ftp.putcmd("ABOR")
        self.assertTrue(ftp.getmultiline().startswith("426"))
        self.assertTrue(ftp.getmultiline().startswith("226"))
        self.assertEqual(ftp.sendcmd("NOOP")[:3], "200")

    def test_speed_limit_holds_on_a_protected_download(self):
        content = os.urandom(20000)
        write_file(self.in_home("limited.bin"), content)
        ftp = self.client(user="slow")
        chunks = []
        began = time.monotonic()
        ftp.retrbinary("RETR limited.bin", chunks.append)
        seconds = time.monotonic() - began
        self.assertEqual(b"".join(chunks), content)
        self.assertGreaterEqual(seconds, 1.7)
        self.assertLessEqual(seconds, 2.6)

    def test_control_commands(self):
        ftp = self.client(user=None)
        feat = ftp.sendcmd("FEAT")
        for line in ("AUTH TLS;AUTH TLS-C;SSL;TLS-P;", "CCC", "CPSV", "PBSZ", "PROT", "SSCN"):
            self.assertIn("\n " + line + "\n", feat)
        ftp.auth()
        with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % self.metrics_port,
                                    timeout=TIMEOUT) as scrape:
            self.assertRegex(scrape.read().decode(), r"\nvantrel_tls_sessions [1-9]")
        cases = [  # command, reply start
            ("AUTH TLS", "503"),
            ("PBSZ 0", "200 PBSZ=0"),
            ("PROT P", "200"),
            ("PROT C", "200"),
            ("PROT X", "504"),
            ("CCC", "534"),
        ]
        for command, expected in cases:
            try:
                reply = ftp.sendcmd(command)
            except ftplib.Error as failure:
                reply = str(failure)
            self.assertTrue(reply.startswith(expected), "%s: %s" % (command, reply))
        ftp.login("milo", "pw")
        self.assertTrue(ftp.sendcmd("REIN").startswith("220"))
        self.assertTrue(ftp.sendcmd("NOOP").startswith("200"), "still encrypted after REIN")

    def test_plain_ftp_tls_refused_without_session_reuse(self):
        write_file(self.in_home("plain.txt"), b"x")
        ftp = self.client(kind=ftplib.FTP_TLS)
        try:
            # The client may finish its side of the handshake before the server refuses.
            ftp.transfercmd("RETR plain.txt").close()
        except (ssl.SSLError, OSError):
            pass
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.voidresp()
        self.assertTrue(str(caught.exception).startswith("522"), caught.exception)
        self.assertEqual(ftp.sendcmd("NOOP")[:3], "200", "the session goes on")

    def test_curl_explicit_and_implicit(self):
        data = random.Random(2).randbytes(700000)
        local = self.local_dir()
        source = os.path.join(local, "up.bin")
        write_file(source, data)
        explicit = "ftp://127.0.0.1:%d/" % self.daemon.port
        implicit = "ftps://127.0.0.1:%d/" % self.implicit_port
        for url, name in ((explicit, "c1.bin"), (implicit, "c2.bin")):
            base = ["curl", "-sS", "-k", "--ssl-reqd", "-u", "milo:pw", "--max-time", "60"]
            self.run_tool(base + ["-T", source, url + name])
            self.assertEqual(read_file(self.in_home(name)), data, url)
            target = os.path.join(local, "down-" + name)
            self.run_tool(base + ["-o", target, url + name])
            self.assertEqual(read_file(target), data, url)

    def test_lftp_mirror_down_and_up(self):
        make_tree(self.in_home("tree"), 3)
        local = self.local_dir()
        script = ("set cmd:fail-exit yes; set net:max-retries 1; set ftp:ssl-force true; "
                  "set ftp:ssl-protect-data true; set ssl:verify-certificate no; "
                  "open -u milo,pw 127.0.0.1:%d; mirror --parallel=3 /tree %s/tree; "
                  "mirror -R --parallel=3 %s/tree /back" % (self.daemon.port, local, local))
        self.run_tool(["lftp", "-c", script], timeout=300)
        expected = tree_of(self.in_home("tree"))
        self.assertEqual(tree_of(os.path.join(local, "tree")), expected)
        self.assertEqual(tree_of(self.in_home("back")), expected)

    @unittest.skipUnless(shutil.which("rclone"), "rclone is not installed")
    def test_rclone_explicit_and_implicit(self):
        secret = subprocess.run(["rclone", "obscure", "pw"], capture_output=True, text=True,
                                check=True).stdout.strip()
        local = self.local_dir()
        make_tree(os.path.join(local, "src"), 4)
        for flag, port, target in (("explicit_tls", self.daemon.port, "rx"),
                                   ("tls", self.implicit_port, "ri")):
            remote = (":ftp,host=127.0.0.1,port=%d,user=milo,pass=%s,%s=true,"
                      "no_check_certificate=true:" % (port, secret, flag))
            self.run_tool(["rclone", "--config", "/dev/null", "copy", "--create-empty-src-dirs",
                           os.path.join(local, "src"), remote + target], timeout=300)
            self.assertEqual(tree_of(self.in_home(target)),
                             tree_of(os.path.join(local, "src")), flag)
            back = os.path.join(local, "back-" + target)
            self.run_tool(["rclone", "--config", "/dev/null", "copy", "--create-empty-src-dirs",
                           remote + target, back],
                          timeout=300)
            self.assertEqual(tree_of(back), tree_of(os.path.join(local, "src")), flag)

    def test_broken_handshakes_leave_others_served(self):
        other = self.client()
        write_file(self.in_home("still.txt"), b"served")

        def served():
            chunks = []
            other.retrbinary("RETR still.txt", chunks.append)
            self.assertEqual(b"".join(chunks), b"served")

        # Garbage instead of a handshake, on the implicit port.
        with socket.create_connection(("127.0.0.1", self.implicit_port), TIMEOUT) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n" * 4)
            s.settimeout(TIMEOUT)
            try:
                answer = s.recv(4096)
            except ConnectionResetError:
                answer = b""
            self.assertFalse(answer.startswith(b"220"), answer)
        served()
        # A handshake that never comes: ended within the line deadline.
        with socket.create_connection(("127.0.0.1", self.implicit_port), TIMEOUT) as stalled:
            served()
            stalled.settimeout(TIMEOUT)
            began = time.monotonic()
            self.assertEqual(stalled.recv(4096), b"")
            self.assertLess(time.monotonic() - began, 10)
        # AUTH TLS, then plain text where the handshake belongs.
        with socket.create_connection(("127.0.0.1", self.daemon.port), TIMEOUT) as s:
            s.settimeout(TIMEOUT)
            s.recv(4096)
            s.sendall(b"AUTH TLS\r\n")
            self.assertTrue(s.recv(4096).startswith(b"234"))
            s.sendall(b"USER milo\r\nPASS pw\r\n")
            self.assertEqual(s.recv(4096), b"")
        served()
        self.daemon.wait_for("> TLS handshake failed")


class WithoutSessionReuse(TlsCase):
    SETTINGS = {"tlssessionreuse": "0"}

    def test_plain_ftp_tls_accepted(self):
        write_file(self.in_home("old.txt"), b"old client")
        ftp = self.client(kind=ftplib.FTP_TLS)
        chunks = []
        ftp.retrbinary("RETR old.txt", chunks.append)
        self.assertEqual(b"".join(chunks), b"old client")


class ImplicitPortOnly(TlsCase):
    SETTINGS = {"tlsmode": "0"}

    def test_normal_port_knows_nothing_of_tls(self):
        plain = ftplib.FTP()
        plain.connect("127.0.0.1", self.daemon.port, timeout=TIMEOUT)
        self.addCleanup(plain.close)
        self.assertNotIn("AUTH TLS", plain.sendcmd("FEAT"))
        with self.assertRaises(ftplib.error_perm) as caught:
            plain.sendcmd("AUTH TLS")
        self.assertTrue(str(caught.exception).startswith("500"), caught.exception)
        raw = socket.create_connection(("127.0.0.1", self.implicit_port), TIMEOUT)
        with insecure_context().wrap_socket(raw) as encrypted:
            self.assertTrue(encrypted.recv(4096).startswith(b"220"))
            encrypted.sendall(b"FEAT\r\n")
            feat = b""
            while not feat.endswith(b"211 End of extentions.\r\n"):
                feat += encrypted.recv(4096)
            self.assertIn(b" PBSZ\r\n", feat)


class RequiredEncryption(TlsCase):
    SETTINGS = {"tlsmode": "2", "tlsrequireprotp": "1", "allowanonymous": "1"}

    def test_member_refused_before_auth_while_anonymous_stays_plain(self):
        plain = ftplib.FTP()
        plain.connect("127.0.0.1", self.daemon.port, timeout=TIMEOUT)
        self.addCleanup(plain.close)
        with self.assertRaises(ftplib.error_perm) as caught:
            plain.sendcmd("USER milo")
        self.assertEqual(str(caught.exception), "530 This server requires TLS; use AUTH TLS.")
        self.assertTrue(plain.login("anonymous", "a@b.c").startswith("230"))

    def test_data_must_be_protected(self):
        write_file(self.in_home("p.txt"), b"protected")
        ftp = self.client(protect=False)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.sendcmd("PROT C")
        self.assertTrue(str(caught.exception).startswith("534"), caught.exception)
        with self.assertRaises(ftplib.error_perm) as caught:
            ftp.retrbinary("RETR p.txt", lambda _: None)
        self.assertTrue(str(caught.exception).startswith("521"), caught.exception)
        ftp.prot_p()
        chunks = []
        ftp.retrbinary("RETR p.txt", chunks.append)
        self.assertEqual(b"".join(chunks), b"protected")


if __name__ == "__main__":
    unittest.main()
