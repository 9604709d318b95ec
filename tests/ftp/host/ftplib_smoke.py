"""Python's ftplib and curl against the FTP engine on a loopback port: log in, walk
directories, ask for sizes, dates and checksums, change the tree, fail a login three
times, and move files and listings over passive and active data connections.

Usage: ftplib_smoke.py <path of ftp_test_host>
"""

import concurrent.futures
import ftplib
import hashlib
import io
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HOST_BINARY = None


class FtplibSmokeTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        root = self.root.name
        os.makedirs(os.path.join(root, "a", "b"))
        self.content = b"The quick brown fox jumps over the lazy dog\n" * 100
        with open(os.path.join(root, "a", "fox.txt"), "wb") as f:
            f.write(self.content)
        self.mtime = 1704458096.0  # 2024-01-05 12:34:56 UTC
        os.utime(os.path.join(root, "a", "fox.txt"), (self.mtime, self.mtime))
        # Two hours east of UTC with no summer time: MDTM must still answer in UTC.
        env = dict(os.environ, TZ="XYZ-2")
        self.host = subprocess.Popen([HOST_BINARY, root], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=env)
        line = self.host.stdout.readline().decode().split()
        self.assertEqual(line[0], "PORT")
        self.port = int(line[1])

    def tearDown(self):
        self.host.stdin.close()
        self.assertEqual(self.host.wait(timeout=20), 0)
        self.host.stdout.close()
        self.root.cleanup()

    def connect(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=10)
        self.addCleanup(ftp.close)
        return ftp

    def test_walks_directories_and_asks_about_files(self):
        ftp = self.connect()
        self.assertEqual(ftp.getwelcome(), "220 Vantrel test host ready")
        self.assertTrue(ftp.login("user", "secret").startswith("230"))
        self.assertEqual(ftp.pwd(), "/")
        ftp.cwd("a")
        self.assertEqual(ftp.pwd(), "/a")
        ftp.cwd("b")
        self.assertEqual(ftp.pwd(), "/a/b")
        ftp.cwd("..")
        self.assertEqual(ftp.pwd(), "/a")
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.cwd("missing")
        self.assertEqual(str(refused.exception), "550 Directory does not exist /a/missing")
        self.assertEqual(ftp.pwd(), "/a")
        ftp.sendcmd("CDUP")
        self.assertEqual(ftp.pwd(), "/")
        ftp.cwd("/a")

        self.assertEqual(ftp.size("fox.txt"), len(self.content))
        self.assertEqual(ftp.sendcmd("MDTM fox.txt"), "213 20240105123456")
        self.assertEqual(ftp.sendcmd('XCRC "fox.txt"'),
                         "250 %08X" % zlib.crc32(self.content))
        self.assertEqual(ftp.sendcmd("XMD5 fox.txt 10 20"),
                         "250 " + hashlib.md5(self.content[10:20]).hexdigest().upper())

        ftp.mkd("new")  # the 257 names no path, so ftplib returns ""
        self.assertTrue(os.path.isdir(os.path.join(self.root.name, "a", "new")))
        ftp.rename("new", "renamed")
        self.assertTrue(os.path.isdir(os.path.join(self.root.name, "a", "renamed")))
        ftp.rmd("renamed")
        ftp.delete("fox.txt")
        self.assertFalse(os.path.exists(os.path.join(self.root.name, "a", "fox.txt")))
        with self.assertRaises(ftplib.error_perm):
            ftp.size("fox.txt")
        self.assertIn("MLST size*;Type*;Modify*;", ftp.sendcmd("FEAT"))
        self.assertEqual(ftp.quit(), "221 Goodbye.")

    def test_third_wrong_password_closes_the_connection(self):
        ftp = self.connect()
        for _ in range(2):
            with self.assertRaises(ftplib.error_perm):
                ftp.login("user", "wrong")
        with self.assertRaises(ftplib.error_temp) as closing:
            ftp.login("user", "wrong")
        self.assertTrue(str(closing.exception).startswith("421"))
        self.assertEqual(ftp.sock.recv(1), b"")
        ftp.close()


def free_port_range(count):
    """The first of `count` consecutive loopback ports that are all free now."""
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    base = 50000 + probe.getsockname()[1] % 500 * 20
    probe.close()
    while base < 65000:
        sockets = []
        try:
            for port in range(base, base + count):
                s = socket.socket()
                sockets.append(s)
                s.bind(("127.0.0.1", port))
            return base
        except OSError:
            base += count
        finally:
            for s in sockets:
                s.close()
    raise RuntimeError("no free port range")


class TransferTest(unittest.TestCase):
    """Data connections as real clients make them."""

    FIXED = 1580702706.0  # 2020-02-03 04:05:06 UTC, 06:05:06 on the host's clock

    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        root = self.root.name
        os.makedirs(os.path.join(root, "dir", "sub"))
        self.content = os.urandom(3 * 1024 * 1024 + 17)
        self.write("dir/data.bin", self.content)
        self.write("dir/fox.txt", b"The quick brown fox\n" * 220)
        os.utime(self.path("dir/fox.txt"), (self.FIXED, self.FIXED))
        os.utime(self.path("dir/sub"), (self.FIXED, self.FIXED))
        self.range_start = free_port_range(8)
        env = dict(os.environ, TZ="XYZ-2")
        self.host = subprocess.Popen(
            [HOST_BINARY, root, "--ipv6", "--pasv-range",
             "%d-%d" % (self.range_start, self.range_start + 7)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
        self.port = int(self.host.stdout.readline().split()[1])
        self.port6 = int(self.host.stdout.readline().split()[1])

    def tearDown(self):
        self.host.stdin.close()
        self.assertEqual(self.host.wait(timeout=30), 0)
        self.host.stdout.close()
        self.root.cleanup()

    def path(self, name):
        return os.path.join(self.root.name, name)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def connect(self, host="127.0.0.1", port=None):
        ftp = ftplib.FTP()
        ftp.connect(host, port or self.port, timeout=20)
        self.addCleanup(ftp.close)
        ftp.login("user", "secret")
        ftp.cwd("/dir")
        return ftp

    def curl(self, *arguments, data=None):
        result = subprocess.run(["curl", "--silent", "--show-error", "--max-time", "60",
                                 "--user", "user:secret"] + list(arguments),
                                input=data, capture_output=True)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        return result.stdout

    def url(self, name, ipv6=False):
        if ipv6:
            return "ftp://[::1]:%d/dir/%s" % (self.port6, name)
        return "ftp://127.0.0.1:%d/dir/%s" % (self.port, name)

    def test_ftplib_passive_and_active(self):
        for passive in (True, False):
            ftp = self.connect()
            ftp.set_pasv(passive)
            got = io.BytesIO()
            self.assertEqual(ftp.retrbinary("RETR data.bin", got.write),
                             "226 Closing data connection.")
            self.assertEqual(got.getvalue(), self.content)
            self.assertEqual(ftp.storbinary("STOR up.bin", io.BytesIO(self.content)),
                             "226 Closing data connection.")
            self.assertEqual(self.read("dir/up.bin"), self.content)
            ftp.quit()

    def test_resume_append_and_unique_names(self):
        ftp = self.connect()
        tail = io.BytesIO()
        ftp.retrbinary("RETR data.bin", tail.write, rest=3 * 1024 * 1024)
        self.assertEqual(tail.getvalue(), self.content[3 * 1024 * 1024:])
        ftp.storbinary("STOR part.bin", io.BytesIO(self.content[:1000]))
        ftp.storbinary("APPE part.bin", io.BytesIO(self.content[1000:]))
        self.assertEqual(self.read("dir/part.bin"), self.content)
        # Resuming an upload keeps the head it resumes.
        ftp.storbinary("STOR part.bin", io.BytesIO(b"X" * 10), rest=5)
        self.assertEqual(self.read("dir/part.bin"),
                         self.content[:5] + b"X" * 10 + self.content[15:])
        ftp.sendcmd("TYPE I")
        host, port = ftp.makepasv()
        data = socket.create_connection((host, port), timeout=20)
        ftp.putcmd("STOU")
        preliminary = ftp.getresp()
        self.assertRegex(preliminary, r"^150 FILE: Temp[0-9A-F]{8}$")
        data.sendall(b"unique")
        data.close()
        self.assertEqual(ftp.voidresp(), "226 Closing data connection.")
        self.assertEqual(self.read("dir/" + preliminary[10:]), b"unique")

    def test_sparse_file_read_beyond_four_gibibytes(self):
        with open(self.path("dir/huge"), "wb") as f:
            f.truncate(5 * 1024 ** 3)
            f.seek(5 * 1024 ** 3)
            f.write(b"the end")
        ftp = self.connect()
        self.assertEqual(ftp.size("huge"), 5 * 1024 ** 3 + 7)
        got = io.BytesIO()
        ftp.retrbinary("RETR huge", got.write, rest=5 * 1024 ** 3 + 4)
        self.assertEqual(got.getvalue(), b"end")
        self.assertEqual(self.curl("--range", "%d-" % (5 * 1024 ** 3), self.url("huge")),
                         b"the end")

    def test_abort_during_a_long_transfer(self):
        with open(self.path("dir/huge"), "wb") as f:
            f.truncate(4 * 1024 ** 3)
        ftp = self.connect()
        conn = ftp.transfercmd("RETR huge")
        self.assertEqual(len(conn.recv(65536)) > 0, True)
        time.sleep(0.2)  # the server now waits on a full connection
        self.assertEqual(ftp.abort(), "426 Data connection closed abnormally.")
        self.assertEqual(ftp.voidresp(), "226 Closing data connection.")
        conn.close()
        self.assertEqual(ftp.sendcmd("NOOP"), "200 NOOP Command successful.")

    def test_port_refusals_and_missing_channel(self):
        ftp = self.connect()
        with self.assertRaises(ftplib.error_temp) as no_channel:
            ftp.sendcmd("RETR fox.txt")
        self.assertEqual(str(no_channel.exception), "425 Can't open data connection.")
        for command, reply in [
                ("PORT 127,0,0,1,0,21",
                 "504 PORT/EPRT Command disabled for reserved port range (1-1024)."),
                ("PORT 192,0,2,99,200,10", "504 Data port can only be used by the same IP "
                 "address used by the control connection."),
                ("EPRT |1|192.0.2.99|5000|", "504 Data port can only be used by the same IP "
                 "address used by the control connection.")]:
            with self.assertRaises(ftplib.error_perm) as refused:
                ftp.sendcmd(command)
            self.assertEqual(str(refused.exception), reply)
            with self.assertRaises(ftplib.error_temp):
                ftp.sendcmd("RETR fox.txt")

    def test_listings(self):
        ftp = self.connect()
        lines = []
        ftp.retrlines("LIST", lines.append)
        self.assertIn("-rw-rw-r--   1 root     root         4400 Feb 03  2020 fox.txt", lines)
        self.assertIn("drwxrwxr-x   1 root     root          512 Feb 03  2020 sub", lines)
        lines = []
        ftp.retrlines("LIST -lT", lines.append)
        self.assertIn("-rw-rw-r--   1 root     root         4400 Feb 03 06:05:06 2020 fox.txt",
                      lines)
        self.assertEqual(sorted(ftp.nlst()), [".", "..", "data.bin", "fox.txt", "sub"])
        lines = []
        ftp.retrlines("NLST -l", lines.append)
        self.assertEqual(lines[0], "total 0")
        self.assertEqual(len(lines), 6)
        facts = dict(ftp.mlsd())
        self.assertEqual(facts["fox.txt"], {"size": "4400", "type": "file",
                                            "modify": "20200203040506"})
        self.assertEqual(facts["sub"]["type"], "dir")
        self.assertEqual(facts["."]["type"], "cdir")
        self.assertEqual(facts[".."]["type"], "pdir")
        self.assertEqual(ftp.sendcmd("MLST fox.txt"),
                         "250-Begin\n type=file;size=4400;modify=20200203040506; /dir/fox.txt\n"
                         "250 End")
        status = ftp.sendcmd("STAT /dir").split("\n")
        self.assertEqual(status[0], "213-File status okay; about to open data connection.")
        self.assertEqual(status[1], "total 0")
        self.assertIn("-rw-rw-r--   1 root     root         4400 Feb 03  2020 fox.txt", status)
        self.assertEqual(status[-1], "213 End of Status")

    def test_concurrent_passive_sessions_in_the_range(self):
        def session(index):
            ftp = ftplib.FTP()
            ftp.connect("127.0.0.1", self.port, timeout=20)
            ftp.login("user", "secret")
            ports = []
            for _ in range(5):
                ports.append(ftp.makepasv()[1])
                got = io.BytesIO()
                ftp.retrbinary("RETR /dir/fox.txt", got.write)
                assert got.getvalue() == b"The quick brown fox\n" * 220
            ftp.quit()
            ftp.close()
            return ports

        with concurrent.futures.ThreadPoolExecutor(6) as pool:
            ports = sum(pool.map(session, range(6)), [])
        for port in ports:
            self.assertTrue(self.range_start <= port <= self.range_start + 7, port)

    def test_curl_transfers(self):
        self.assertEqual(self.curl(self.url("data.bin")), self.content)
        self.assertEqual(self.curl("--disable-epsv", self.url("data.bin")), self.content)
        self.assertEqual(self.curl("--ftp-port", "127.0.0.1", self.url("data.bin")), self.content)
        self.assertEqual(self.curl("--ftp-port", "127.0.0.1", "--disable-eprt",
                                   self.url("data.bin")), self.content)
        self.assertEqual(self.curl("--continue-at", "1000", self.url("data.bin")),
                         self.content[1000:])
        self.curl("--upload-file", "-", self.url("curl.bin"), data=self.content)
        self.assertEqual(self.read("dir/curl.bin"), self.content)
        self.curl("--append", "--upload-file", "-", self.url("curl.bin"), data=b"tail")
        self.assertEqual(self.read("dir/curl.bin"), self.content + b"tail")
        # curl turns the listing's CR LF into its platform's line end.
        listing = self.curl(self.url("")).decode().splitlines()
        self.assertEqual(listing[0], "total 0")
        self.assertIn("-rw-rw-r--   1 root     root         4400 Feb 03  2020 fox.txt", listing)
        names = self.curl("--list-only", self.url("")).decode().splitlines()
        self.assertEqual(sorted(names), [".", "..", "curl.bin", "data.bin", "fox.txt", "sub"])
        self.assertEqual(self.curl(self.url("fox.txt", ipv6=True)), b"The quick brown fox\n" * 220)
        self.assertEqual(self.curl("--ftp-port", "::1", self.url("fox.txt", ipv6=True)),
                         b"The quick brown fox\n" * 220)


if __name__ == "__main__":
    HOST_BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
