"""Commands that change the tree (rename, delete, make and remove directories),
checksums, auto-ban after failed downloads and directory commands, and client paths that
try to leave the home directory."""

import hashlib
import os
import shutil
import socket
import tempfile
import unittest
import zlib

from files_support import SharedDaemonCase, read_file, write_file
from harness import member

FOX = b"The quick brown fox jumps over the lazy dog"
DONE = "Requested file action okay, completed."
LOCAL_ERROR = "550 Requested action aborted: local error in processing."


class Management(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        # Another file system for moves that cannot be a plain rename.
        cls.other_fs = tempfile.mkdtemp(prefix="vantrel-files-", dir="/dev/shm")
        cls.addClassCleanup(shutil.rmtree, cls.other_fs, True)
        return {}, [member("mona", "pw", virtualdir="shm=%s;" % cls.other_fs)]

    def test_rename_never_replaces_an_existing_target(self):
        write_file(self.in_home("keep-a.txt"), b"a")
        write_file(self.in_home("keep-b.txt"), b"b")
        os.makedirs(self.in_home("dir-a", "x"))
        os.makedirs(self.in_home("dir-b"))
        s = self.session("mona", "pw")
        for source, target in (("keep-a.txt", "keep-b.txt"), ("dir-a", "dir-b"),
                               ("keep-a.txt", "dir-b")):
            with self.subTest(source=source, target=target):
                s.reply("RNFR " + source)
                self.assertEqual(s.reply("RNTO " + target),
                                 "550 Failed to rename /%s to /%s" % (source, target))
        self.assertEqual(read_file(self.in_home("keep-a.txt")), b"a")
        self.assertEqual(read_file(self.in_home("keep-b.txt")), b"b")
        self.assertTrue(os.path.isdir(self.in_home("dir-a", "x")))
        self.assertEqual(os.listdir(self.in_home("dir-b")), [])
        s.log("Failed to rename /keep-a.txt to /dir-b")

    def test_rename_files_and_directories(self):
        write_file(self.in_home("old.txt"), b"o")
        os.makedirs(self.in_home("old-dir", "inner"))
        s = self.session("mona", "pw")
        for source, target in (("old.txt", "old-dir/new.txt"), ("old-dir", "new-dir")):
            s.reply("RNFR " + source)
            self.assertEqual(s.reply("RNTO " + target), "250 Ok")
        self.assertEqual(read_file(self.in_home("new-dir", "new.txt")), b"o")
        self.assertTrue(os.path.isdir(self.in_home("new-dir", "inner")))
        self.assertFalse(os.path.exists(self.in_home("old-dir")))
        s.logs(["Rename /old.txt to /old-dir/new.txt", "Rename /old-dir to /new-dir"])

    def test_rename_onto_another_file_system_copies_then_removes(self):
        write_file(self.in_home("travel.bin"), FOX)
        os.utime(self.in_home("travel.bin"), (1500000000, 1500000000))
        write_file(os.path.join(self.other_fs, "taken.bin"), b"taken")
        write_file(self.in_home("taken.bin"), b"mine")
        os.makedirs(self.in_home("travel-dir"))
        s = self.session("mona", "pw")
        s.reply("RNFR travel.bin")
        self.assertEqual(s.reply("RNTO /shm/travel.bin"), "250 Ok")
        moved = os.path.join(self.other_fs, "travel.bin")
        self.assertEqual(read_file(moved), FOX)
        self.assertEqual(os.stat(moved).st_mtime, 1500000000)
        self.assertFalse(os.path.exists(self.in_home("travel.bin")))
        # Neither an existing target nor a directory crosses.
        for source, target in (("taken.bin", "/shm/taken.bin"), ("travel-dir", "/shm/dir")):
            s.reply("RNFR " + source)
            self.assertEqual(s.reply("RNTO " + target),
                             "550 Failed to rename /%s to %s" % (source, target))
        self.assertEqual(read_file(os.path.join(self.other_fs, "taken.bin")), b"taken")
        self.assertEqual(read_file(self.in_home("taken.bin")), b"mine")
        self.assertTrue(os.path.isdir(self.in_home("travel-dir")))
        s.log("Rename /travel.bin to /shm/travel.bin")

    def test_the_home_and_virtual_directories_themselves_stay_put(self):
        s = self.session("mona", "pw")
        for source in ("/", "/shm"):
            with self.subTest(source=source):
                s.reply("RNFR " + source)
                self.assertEqual(s.reply("RNTO /moved-away"),
                                 "550 Failed to rename %s to /moved-away" % source)
                self.assertEqual(s.reply("RMD " + source),
                                 "550 Failed to remove directory %s" % source)
        self.assertTrue(os.path.isdir(self.other_fs))
        self.assertTrue(os.path.isdir(self.home))

    def test_make_and_remove_directories(self):
        s = self.session("mona", "pw")
        self.assertEqual(s.ftp.mkd("mk/b/c"), "/mk/b/c")
        self.assertTrue(os.path.isdir(self.in_home("mk", "b", "c")))
        self.assertEqual(s.reply("MKD mk/b"), "550 Directory already exists /mk/b")
        self.assertEqual(s.reply("RMD mk"), "550 Failed to remove directory /mk")
        self.assertEqual(s.reply("RMD mk/b/c"), "250 " + DONE)
        self.assertEqual(s.reply("RMD mk/nothing"), "550 Failed to remove directory /mk/nothing")
        write_file(self.in_home("mk", "file"), b"")
        # The client reads the refusal, not the log line with its address.
        self.assertEqual(s.reply("MKD mk/file"), "550 Failed to make directory /mk/file")
        self.assertEqual(s.reply("RMD mk/file"), "550 Failed to remove directory /mk/file")
        self.assertTrue(os.path.isdir(self.in_home("mk", "b")))
        s.logs(["Make directory /mk/b/c", "Directory to make already exists /mk/b",
                "Failed to remove directory /mk", "Remove directory /mk/b/c",
                "Failed to remove directory /mk/nothing", "Failed to make directory /mk/file",
                "Failed to remove directory /mk/file"])

    def test_delete(self):
        write_file(self.in_home("gone.txt"), b"g")
        os.makedirs(self.in_home("not-a-file"))
        s = self.session("mona", "pw")
        for name, reply in (("gone.txt", "250 " + DONE),
                            ("gone.txt", "550 File not found /gone.txt"),
                            ("not-a-file", "550 File not found /not-a-file")):
            self.assertEqual(s.reply("DELE " + name), reply)
        self.assertFalse(os.path.exists(self.in_home("gone.txt")))
        self.assertTrue(os.path.isdir(self.in_home("not-a-file")))
        s.logs(["Delete file /gone.txt", "Cannot delete file, File not found /gone.txt",
                "Cannot delete file, File not found /not-a-file"])

    def test_set_modification_times(self):
        write_file(self.in_home("stamp.txt"), b"s")
        os.makedirs(self.in_home("stamp-dir"))
        s = self.session("mona", "pw")
        stamp = self.in_home("stamp.txt")
        cases = [("MFMT 20200102030405 stamp.txt", "213 Modify=20200102030405 stamp.txt",
                  1577934245000000000),
                 ("MDTM 20210102030405.5 /stamp.txt", "253 Date/time changed okay.",
                  1609556645500000000),
                 ("MFMT 20200102030405 missing.txt", "550 File not found /missing.txt", None),
                 ("MDTM 20200102030405 stamp-dir", "550 File not found /stamp-dir", None),
                 ("MFMT 2020010203 stamp.txt", "501 Error in parameters to MFMT", None)]
        for command, reply, mtime_ns in cases:
            with self.subTest(command=command):
                self.assertEqual(s.reply(command), reply)
                if mtime_ns:
                    self.assertEqual(os.stat(stamp).st_mtime_ns, mtime_ns)
        self.assertEqual(os.stat(stamp).st_mtime_ns, 1609556645500000000)
        self.assertEqual(s.reply("MDTM stamp.txt"), "213 20210102030405.500")
        self.assertIn(" MFMT", s.reply("FEAT").splitlines())
        s.logs(["Set the time of /stamp.txt", "Set the time of /stamp.txt",
                "File not found /missing.txt", "File not found /stamp-dir"])

    def test_names_with_quotes_and_utf8_come_back_whole(self):
        s = self.session("mona", "pw")
        self.assertIn(" UTF8", s.reply("FEAT").splitlines())
        self.assertEqual(s.reply("OPTS UTF8 ON"), "200 UTF8 set to on")
        for name in ('say "hi"', "Grüße – ünïcødé"):
            with self.subTest(name=name):
                self.assertEqual(s.ftp.mkd(name), "/" + name)
                self.assertTrue(os.path.isdir(self.in_home(name)))
                s.ftp.cwd(name)
                self.assertEqual(s.ftp.pwd(), "/" + name)
                s.store("ñame.txt", b"n")
                self.assertIn("ñame.txt", s.listing("NLST"))
                self.assertEqual(read_file(self.in_home(name, "ñame.txt")), b"n")
                s.ftp.cwd("/")
        self.assertEqual(s.reply('CWD say "hi"'), "250 CWD Command successful.")
        self.assertEqual(s.reply("PWD"), '257 "/say ""hi""" is working directory.')

    def test_checksums_of_a_known_file(self):
        write_file(self.in_home("fox.txt"), FOX)
        s = self.session("mona", "pw")
        cases = [("XCRC fox.txt", "250 %08X" % zlib.crc32(FOX)),
                 ("XMD5 fox.txt", "250 " + hashlib.md5(FOX).hexdigest().upper()),
                 ("XCRC fox.txt 4 9", "250 %08X" % zlib.crc32(FOX[4:9])),
                 ("XMD5 fox.txt 10", "250 " + hashlib.md5(FOX[10:]).hexdigest().upper()),
                 ("MD5 fox.txt", "251 fox.txt " + hashlib.md5(FOX).hexdigest().upper()),
                 ("XCRC nothing.txt", LOCAL_ERROR)]
        for command, reply in cases:
            with self.subTest(command=command):
                self.assertEqual(s.reply(command), reply)
        self.assertEqual("250 414FA339", cases[0][1])
        s.logs(["Checksum file /fox.txt (43 Byte(s))", "File /nothing.txt not found for CRC"])


def greeted(port, source):
    """Whether a new connection from `source` gets the greeting (a banned one does not)."""
    with socket.create_connection(("127.0.0.1", port), timeout=10,
                                  source_address=(source, 0)) as sock:
        return sock.makefile("rb").readline().startswith(b"220")


class AutoBan(SharedDaemonCase):
    """Failures count per address: each test uses its own loopback address."""

    @classmethod
    def configure(cls, root):
        return ({"autoban": "1", "autoban_downloads": "2", "autoban_mkdir": "2",
                 "autoban_minutes": "10"},
                [member("ann", "pw"), member("nomkd", "pw", makedirectory=False),
                 member("nocd", "pw", changedirectory=False)])

    def test_missing_file_downloads_ban_silently(self):
        write_file(self.in_home("here.txt"), b"h")
        s = self.session("ann", "pw", "127.0.0.5")
        for name in ("gone1", "gone2", "here.txt", "gone3"):
            s.transfer_reply("RETR " + name)
        # An existing file took one failure off, so three missing ones are two.
        self.assertTrue(greeted(self.daemon.port, "127.0.0.5"))
        s.transfer_reply("RETR gone4")
        s.log("File not found /gone4")
        self.assertFalse(greeted(self.daemon.port, "127.0.0.5"))
        self.assertFalse([line for line in self.daemon.lines if "AutoBan" in line
                          and line.startswith("127.0.0.5")])
        self.assertTrue(greeted(self.daemon.port, "127.0.0.1"))

    def test_failed_directory_changes_ban_with_a_log_line(self):
        s = self.session("ann", "pw", "127.0.0.6")
        for name in ("no1", "no2"):
            self.assertEqual(s.reply("CWD " + name), "550 Directory does not exist /" + name)
        self.assertTrue(greeted(self.daemon.port, "127.0.0.6"))
        s.reply("CWD no3")
        s.logs(["Directory does not exist /no3 (%s/no3)" % self.home, "AutoBan (mk/chg dir)"])
        self.assertFalse(greeted(self.daemon.port, "127.0.0.6"))

    def test_refused_mkd_bans_and_a_permitted_one_forgives(self):
        refused = self.session("nomkd", "pw", "127.0.0.7")
        permitted = self.session("ann", "pw", "127.0.0.7")
        refused.reply("MKD d1")
        refused.reply("MKD d2")
        permitted.reply("MKD allowed-dir")
        refused.reply("MKD d3")
        self.assertTrue(greeted(self.daemon.port, "127.0.0.7"))
        refused.reply("MKD d4")
        refused.logs(["Not allowed to make directory /d4", "AutoBan (mk/chg dir)"])
        self.assertFalse(greeted(self.daemon.port, "127.0.0.7"))

    def test_failed_changes_and_refused_creations_share_one_count(self):
        changer = self.session("ann", "pw", "127.0.0.9")
        maker = self.session("nomkd", "pw", "127.0.0.9")
        changer.reply("CWD not-there")
        maker.reply("MKD m1")
        self.assertTrue(greeted(self.daemon.port, "127.0.0.9"))
        maker.reply("MKD m2")
        maker.logs(["Not allowed to make directory /m2", "AutoBan (mk/chg dir)"])
        self.assertFalse(greeted(self.daemon.port, "127.0.0.9"))

    def test_directory_changes_refused_by_permission_do_not_count(self):
        s = self.session("nocd", "pw", "127.0.0.8")
        os.makedirs(self.in_home("exists"), exist_ok=True)
        for _ in range(4):
            self.assertEqual(s.reply("CWD exists"), "550 Not allowed to change directory")
        self.assertTrue(greeted(self.daemon.port, "127.0.0.8"))


class Containment(SharedDaemonCase):
    """Every path command, given paths that climb, stays inside the home directory or
    inside the virtual directory the path names."""

    @classmethod
    def configure(cls, root):
        return {}, [member("tess", "pw", virtualdir="v=%s/vdir;" % root)]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for name in ("secret.txt", "vdir/inside-v.txt", "home/inside.txt", "home/sub/deep.txt",
                     "outside/x.txt"):
            write_file(os.path.join(cls.root, name), name.encode())

    def outside_untouched(self):
        for name in ("secret.txt", "outside/x.txt", "vdir/inside-v.txt"):
            self.assertEqual(read_file(os.path.join(self.root, name)), name.encode())
        for name in ("escape.txt", "newdir", "moved.txt", "escape-v.txt"):
            self.assertFalse(os.path.exists(os.path.join(self.root, name)), name)

    def test_climbing_paths_from_the_root_and_below(self):
        climbs = ["../secret.txt", "/../secret.txt", "../../secret.txt", "..\\secret.txt",
                  "/..\\..\\secret.txt", "sub/../../secret.txt", "./../secret.txt"]
        s = self.session("tess", "pw")
        for start in ("/", "/sub", "/v"):
            self.assertEqual(s.reply("CWD " + start), "250 CWD Command successful.")
            for path in climbs:
                with self.subTest(start=start, path=path):
                    self.assertEqual(s.transfer_reply("RETR " + path), LOCAL_ERROR)
                    self.assertEqual(s.reply("SIZE " + path), LOCAL_ERROR)
                    self.assertEqual(s.reply("MDTM " + path), LOCAL_ERROR)
                    self.assertEqual(s.reply("XCRC " + path), LOCAL_ERROR)
                    self.assertTrue(s.transfer_reply("APPE " + path, b"x")
                                    .startswith("550 Append file failed /"))
                    s.reply("DELE " + path)
                    s.reply("RNFR " + path)
                    self.assertTrue(s.reply("RNTO stolen.txt").startswith("550 Failed to rename"))
                    # Climbing from the root may lead back to the root, never above it.
                    s.reply("CWD " + path.replace("secret.txt", "outside"))
                    self.assertEqual(s.reply("PWD"), '257 "%s" is working directory.' % start)
                    self.assertEqual(s.transfer_reply("LIST " + path.replace("secret.txt", "")),
                                     "226 Closing data connection.")
                    self.outside_untouched()
        s.logs(["File /secret.txt not found for CRC",
                "Cannot delete file, File not found /secret.txt"])

    def test_dots_inside_a_name_are_part_of_it(self):
        for name in ("a..b", "..notes", "x.."):
            os.makedirs(self.in_home(name), exist_ok=True)
        s = self.session("tess", "pw")
        for name in ("a..b", "..notes", "x..", "c..d", "..gone"):
            with self.subTest(name=name):
                self.assertEqual(s.reply("CWD /"), "250 CWD Command successful.")
                if os.path.isdir(self.in_home(name)):
                    self.assertEqual(s.reply("CWD " + name), "250 CWD Command successful.")
                    self.assertEqual(s.reply("PWD"), '257 "/%s" is working directory.' % name)
                else:
                    self.assertEqual(s.reply("CWD " + name),
                                     "550 Directory does not exist /" + name)
                    self.assertEqual(s.reply("PWD"), '257 "/" is working directory.')

    def test_writes_that_climb_land_inside(self):
        s = self.session("tess", "pw")
        self.assertEqual(s.store("../escape.txt", b"e"), "226 Closing data connection.")
        self.assertEqual(s.reply("MKD ../../newdir"), '257 "/newdir" created.')
        s.reply("RNFR inside.txt")
        self.assertEqual(s.reply("RNTO ../moved.txt"), "250 Ok")
        self.assertEqual(s.reply("RMD ../outside"), "550 Failed to remove directory /outside")
        s.reply("CWD /v")
        self.assertEqual(s.store("../../escape-v.txt", b"v"), "226 Closing data connection.")
        self.outside_untouched()
        self.assertEqual(read_file(self.in_home("escape.txt")), b"e")
        self.assertTrue(os.path.isdir(self.in_home("newdir")))
        self.assertEqual(read_file(self.in_home("moved.txt")), b"home/inside.txt")
        self.assertEqual(read_file(self.in_home("escape-v.txt")), b"v")
        self.assertNotIn("secret.txt", s.listing("NLST /.."))


if __name__ == "__main__":
    unittest.main()
