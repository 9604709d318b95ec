"""Python's ftplib against the FTP engine on a loopback port: log in, walk directories,
ask for sizes, dates and checksums, change the tree, and fail a login three times.

Usage: ftplib_smoke.py <path of ftp_test_host>
"""

import ftplib
import hashlib
import os
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
        self.assertEqual(ftp.pwd(), "/a/")
        with self.assertRaises(ftplib.error_perm) as refused:
            ftp.cwd("missing")
        self.assertEqual(str(refused.exception), "550 Directory does not exist /a/missing")
        self.assertEqual(ftp.pwd(), "/a/")
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


if __name__ == "__main__":
    HOST_BINARY = sys.argv.pop(1)
    unittest.main(verbosity=2)
