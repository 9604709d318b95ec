"""Path traversal through every command that takes a path, against the real daemon.

The daemon's data directory holds the home, a virtual directory, the account and settings
files and, beside them, a secret file and a secret directory. Whatever a client writes,
nothing outside the home and the virtual directory may be read, listed, changed or
created: the tree outside them is compared byte for byte before and after the attacks,
and no reply or data connection may carry a secret name or content.
"""

import ftplib
import hashlib
import io
import os
import unittest

from harness import member
from hostile_client import TIMEOUT, HostileCase, ftp_reply

SECRET = b"TOPSECRET-4c1f"
SECRET_NAMES = ("outside-secret", "outside-dir", "keep.txt", "ftpmembers", "ftpsettings")

# Ways of writing "up and out", as clients of many systems would.
CLIMBS = ["..", "../..", "../../..", "/..", "/../..", "\\..", "..\\..", "sub/../../..",
          "./../", "....//..", "//..//..//", "pub/../..", "/pub/../../..", "sub/..\\..\\..",
          "sub/./../../", "../" * 12, "%2e%2e/%2e%2e", ".../...", "~", "~root/..", "\\\\..\\.."]


def snapshot(root, skip):
    """{relative path: digest} of everything under `root` outside the `skip` directories."""
    state = {}
    for directory, dirs, files in os.walk(root):
        rel = os.path.relpath(directory, root)
        if rel.split(os.sep)[0] in skip:
            continue
        state[rel + "/"] = "dir"
        for name in files:
            with open(os.path.join(directory, name), "rb") as f:
                state[os.path.join(rel, name)] = hashlib.sha256(f.read()).hexdigest()
    return state


class Traversal(HostileCase):
    def setUp(self):
        root = self.make_directory()
        self.d = self.start_daemon(
            members=[member("alice", "pw", virtualdir="pub=%s;" % os.path.join(root, "pub"))])
        with open(os.path.join(root, "outside-secret.txt"), "wb") as f:
            f.write(SECRET)
        os.makedirs(os.path.join(root, "outside-dir"))
        with open(os.path.join(root, "outside-dir", "keep.txt"), "wb") as f:
            f.write(SECRET)
        os.makedirs(os.path.join(self.d.home, "sub"))
        with open(os.path.join(self.d.home, "inside.txt"), "wb") as f:
            f.write(b"inside")
        os.makedirs(os.path.join(root, "pub"))
        with open(os.path.join(root, "pub", "pubfile.txt"), "wb") as f:
            f.write(b"public")
        self.before = snapshot(root, ("home", "pub"))
        self.ftp = ftplib.FTP()
        self.ftp.connect("127.0.0.1", self.d.port, timeout=TIMEOUT)
        self.ftp.login("alice", "pw")
        self.addCleanup(self.ftp.close)

    def tearDown(self):
        self.assertEqual(snapshot(self.d.dir, ("home", "pub")), self.before,
                         "the tree outside the client's directories changed")

    def targets(self, leaf):
        return [climb.rstrip("/") + "/" + leaf for climb in CLIMBS] + [climb for climb in CLIMBS]

    def assert_no_secret(self, text, what, named=""):
        """No secret content, disk path or name of the outside tree, except what the client
        itself named (replies echo the client's path)."""
        if isinstance(text, bytes):
            self.assertNotIn(SECRET, text, what)
            text = text.decode("latin-1")
        self.assertNotIn(SECRET.decode(), text, what)
        self.assertNotIn(self.d.dir, text, what)
        for name in SECRET_NAMES:
            if name not in named:
                self.assertNotIn(name, text, what)

    def listing(self, command):
        lines = []
        reply = ftp_reply(lambda: self.ftp.retrlines(command, lines.append))
        return reply, "\n".join(lines)

    def test_reading_commands_find_nothing_outside(self):
        for path in self.targets("outside-secret.txt") + self.targets("ftpmembers.lst"):
            for command in ("SIZE", "MDTM", "XCRC", "XMD5"):
                reply = ftp_reply(lambda: self.ftp.sendcmd("%s %s" % (command, path)))
                self.assertRegex(reply, r"^5\d\d", "%s %s: %s" % (command, path, reply))
            data = []
            reply = ftp_reply(lambda: self.ftp.retrbinary("RETR " + path, data.append))
            self.assertRegex(reply, r"^5\d\d", "RETR " + path)
            self.assertNotIn(SECRET, b"".join(data))

    def test_listings_show_nothing_outside(self):
        for path in self.targets("outside-dir") + CLIMBS:
            for command in ("LIST", "NLST", "MLSD", "LIST -la"):
                reply, text = self.listing("%s %s" % (command, path))
                self.assert_no_secret(text, "%s %s" % (command, path))
                self.assert_no_secret(reply, "%s %s" % (command, path), named=path)
            for command in ("STAT", "MLST"):
                reply = ftp_reply(lambda: self.ftp.sendcmd("%s %s" % (command, path)))
                self.assert_no_secret(reply, "%s %s" % (command, path), named=path)

    def test_cwd_never_leaves_the_home(self):
        for path in self.targets("outside-dir") + CLIMBS:
            ftp_reply(lambda: self.ftp.sendcmd("CWD " + path))
            pwd = self.ftp.sendcmd("PWD")
            self.assert_no_secret(pwd, "PWD after CWD " + path, named=path)
            reply, text = self.listing("LIST")
            self.assert_no_secret(text, "LIST after CWD " + path)
            reply = ftp_reply(lambda: self.ftp.sendcmd("SIZE inside.txt"))
            self.assertTrue(reply.startswith("213") or reply.startswith("550"), reply)
            for climb in ("CDUP", "XCUP", "CWD ..", "XCWD ../.."):
                ftp_reply(lambda: self.ftp.sendcmd(climb))
            self.assertEqual(self.ftp.sendcmd("PWD"), '257 "/" is working directory.')
            self.assertEqual(self.ftp.sendcmd("SIZE inside.txt"), "213 6")

    def test_changing_commands_change_nothing_outside(self):
        for path in self.targets("outside-secret.txt"):
            # Nothing is there to delete; what matters is the tree.
            ftp_reply(lambda: self.ftp.sendcmd("DELE " + path))
            for command in ("RMD", "XRMD"):
                reply = ftp_reply(lambda: self.ftp.sendcmd("%s %s" % (command, path)))
                self.assertRegex(reply, r"^5\d\d", "%s %s" % (command, path))
            ftp_reply(lambda: self.ftp.sendcmd("RNFR " + path))
            reply = ftp_reply(lambda: self.ftp.sendcmd("RNTO stolen.txt"))
            self.assertRegex(reply, r"^5\d\d", "RNFR %s, RNTO stolen.txt" % path)
            reply = ftp_reply(lambda: self.ftp.sendcmd("RMD " + path.replace("-secret.txt",
                                                                               "-dir")))
            self.assertRegex(reply, r"^5\d\d", "RMD of the outside directory")

    def test_creating_commands_land_inside(self):
        for i, climb in enumerate(CLIMBS):
            base = climb.rstrip("/") + "/"
            stored = ftp_reply(lambda: self.ftp.storbinary("STOR %splanted%d.txt" % (base, i),
                                                           io.BytesIO(b"planted")))
            appended = ftp_reply(lambda: self.ftp.storbinary("APPE %sappended%d.txt" % (base, i),
                                                             io.BytesIO(b"appended")))
            made = ftp_reply(lambda: self.ftp.sendcmd("MKD %smade%d" % (base, i)))
            self.ftp.storbinary("STOR mover%d.txt" % i, io.BytesIO(b"mover"))
            self.ftp.sendcmd("RNFR mover%d.txt" % i)
            renamed = ftp_reply(lambda: self.ftp.sendcmd("RNTO %smoved%d.txt" % (base, i)))
            for reply, name in ((stored, "planted%d.txt"), (appended, "appended%d.txt"),
                                (made, "made%d"), (renamed, "moved%d.txt")):
                name = name % i
                if reply.startswith("2"):
                    self.assertTrue(self.inside_home(name), "%s reported done, not in the "
                                    "home: %s" % (name, reply))

    def inside_home(self, name):
        for directory, dirs, files in os.walk(self.d.home):
            if name in files or name in dirs:
                return True
        return False

    def test_virtual_directory_is_no_way_out(self):
        for path in ("pub/..", "pub/../..", "pub/../../outside-secret.txt", "/pub/../../../",
                     "pub\\..\\..\\outside-secret.txt", "pub/%2e%2e/outside-secret.txt"):
            data = []
            reply = ftp_reply(lambda: self.ftp.retrbinary("RETR " + path, data.append))
            self.assertNotIn(SECRET, b"".join(data), path)
            reply, text = self.listing("LIST " + path)
            self.assert_no_secret(text, "LIST " + path)
        got = []
        self.ftp.retrbinary("RETR pub/pubfile.txt", got.append)
        self.assertEqual(b"".join(got), b"public")


if __name__ == "__main__":
    unittest.main()
