"""Who may do what to the file tree: member flags and anonymous settings, each operation
allowed and refused, with the client's reply, the log line and the state of the disk."""

import collections
import os
import tempfile
import unittest
import zlib

from files_support import Session, SharedDaemonCase, read_file, write_file
from harness import Daemon, member

LOCAL_ERROR = "550 Requested action aborted: local error in processing."
DONE = "Requested file action okay, completed."
TRANSFERRED = "226 Closing data connection."

# Member flag, anonymous setting, and the operations each governs.
PERMISSIONS = [
    ("changedirectory", "allowchangedir", ("change directory",)),
    # A checksum of a byte range reads the bytes as a download does; a whole file's
    # needs no permission.
    ("download", "allowdownload", ("download", "checksum range")),
    ("upload", "allowupload", ("upload", "append", "set time")),
    ("rename", "allowrename", ("rename",)),
    ("deletefile", "allowdelete", ("delete",)),
    ("makedirectory", "allowcreatedir", ("make directory",)),
    ("deletedirectory", "allowdeletedir", ("remove directory",)),
]

Operation = collections.namedtuple(
    "Operation", "name fixtures commands allowed_reply allowed_log refused_reply refused_log "
                 "allowed_disk refused_disk")


def operations(n):
    """Every operation that needs a permission; `n` keeps each actor's names apart. The
    disk checks are (name, what disk_state gives for it)."""
    return [
        Operation("change directory", {n + "-cd/": None}, ["CWD /%s-cd" % n],
                  "250 CWD Command successful.", "Change directory /%s-cd" % n,
                  "550 Not allowed to change directory",
                  "Not allowed to change directory /%s-cd" % n, None, None),
        Operation("download", {n + "-get.txt": b"hello"}, ["RETR /%s-get.txt" % n],
                  TRANSFERRED, "Download file /%s-get.txt (5 Byte(s))" % n,
                  LOCAL_ERROR, "Not allowed to download file /%s-get.txt" % n, None, None),
        Operation("checksum range", {n + "-crc.txt": b"hello"}, ["XCRC /%s-crc.txt 1 3" % n],
                  "250 %08X" % zlib.crc32(b"el"), "Checksum file /%s-crc.txt (5 Byte(s))" % n,
                  "550 Not allowed to checksum part of file /%s-crc.txt" % n,
                  "Not allowed to checksum part of file /%s-crc.txt" % n, None, None),
        Operation("upload", {}, ["STOR /%s-put.txt" % n],
                  TRANSFERRED, "Upload file /%s-put.txt" % n,
                  "551 Not allowed to upload files", "Not allowed to upload file /%s-put.txt" % n,
                  (n + "-put.txt", b"data"), (n + "-put.txt", None)),
        Operation("append", {n + "-app.txt": b"abc"}, ["APPE /%s-app.txt" % n],
                  TRANSFERRED, "Append file /%s-app.txt" % n,
                  "550 Not allowed to upload files", "Not allowed to upload file /%s-app.txt" % n,
                  (n + "-app.txt", b"abcdata"), (n + "-app.txt", b"abc")),
        Operation("set time", {n + "-time.txt": b"t"}, ["MFMT 20200102030405 /%s-time.txt" % n],
                  "213 Modify=20200102030405 /%s-time.txt" % n, "Set the time of /%s-time.txt" % n,
                  "550 Not allowed to set the time of /%s-time.txt" % n,
                  "Not allowed to set the time of /%s-time.txt" % n,
                  (n + "-time.txt@mtime", 1577934245), (n + "-time.txt", b"t")),
        Operation("rename", {n + "-ren.txt": b"r"},
                  ["RNFR /%s-ren.txt" % n, "RNTO /%s-new.txt" % n],
                  "250 Ok", "Rename /%s-ren.txt to /%s-new.txt" % (n, n),
                  "550 Not allowed to rename /%s-ren.txt" % n,
                  "Not allowed to rename /%s-ren.txt" % n,
                  (n + "-new.txt", b"r"), (n + "-ren.txt", b"r")),
        Operation("delete", {n + "-del.txt": b"d"}, ["DELE /%s-del.txt" % n],
                  "250 " + DONE, "Delete file /%s-del.txt" % n,
                  "550 Not allowed to delete file /%s-del.txt" % n,
                  "Not allowed to delete file /%s-del.txt" % n,
                  (n + "-del.txt", None), (n + "-del.txt", b"d")),
        Operation("make directory", {}, ["MKD /%s-mkd" % n],
                  '257 "/%s-mkd" created.' % n, "Make directory /%s-mkd" % n,
                  "550 Not allowed to make directory /%s-mkd" % n,
                  "Not allowed to make directory /%s-mkd" % n,
                  (n + "-mkd/", True), (n + "-mkd/", None)),
        Operation("remove directory", {n + "-rmd/": None}, ["RMD /%s-rmd" % n],
                  "250 " + DONE, "Remove directory /%s-rmd" % n,
                  "550 Not allowed to remove directory /%s-rmd" % n,
                  "Not allowed to remove directory /%s-rmd" % n,
                  (n + "-rmd/", None), (n + "-rmd/", True)),
    ]


def make_fixtures(home, fixtures):
    for name, data in fixtures.items():
        if name.endswith("/"):
            os.makedirs(os.path.join(home, name), exist_ok=True)
        else:
            write_file(os.path.join(home, name), data)


def disk_state(home, name):
    """A file's content, True for a directory, the modification time in whole seconds for
    "name@mtime", and None for nothing there."""
    if name.endswith("@mtime"):
        path = os.path.join(home, name[:-len("@mtime")])
        return int(os.stat(path).st_mtime) if os.path.exists(path) else None
    path = os.path.join(home, name)
    if name.endswith("/"):
        return os.path.isdir(path) or None
    return read_file(path) if os.path.exists(path) else None


def check_matrix(test, s, home, actor, granted):
    """Runs every operation as `actor`; exactly those in `granted` must succeed. Gives the
    log lines to expect, which callers check once all sessions are done."""
    logs = []
    for op in operations(actor):
        allowed = op.name in granted
        with test.subTest(actor=actor, operation=op.name, allowed=allowed):
            make_fixtures(home, op.fixtures)
            for command in op.commands:
                if command.startswith(("RETR", "STOR", "APPE")):
                    reply = s.transfer_reply(command, b"data")
                else:
                    reply = s.reply(command)
            test.assertEqual(reply, op.allowed_reply if allowed else op.refused_reply)
            logs.append(op.allowed_log if allowed else op.refused_log)
            disk = op.allowed_disk if allowed else op.refused_disk
            if disk:
                test.assertEqual(disk_state(home, disk[0]), disk[1])
    return logs


def anonymous_settings(home, allowed_settings):
    settings = {"allowanonymous": "1", "anonymoushome": home}
    for _, setting, _ in PERMISSIONS:
        settings["anonymous_" + setting] = "1" if setting in allowed_settings else "0"
    return settings


class MemberPermissions(SharedDaemonCase):
    """One account without any permission, and one per flag with only that flag, so that a
    flag consulted for the wrong operation shows."""

    @classmethod
    def configure(cls, root):
        flags = [flag for flag, _, _ in PERMISSIONS]
        members = [member("none", "pw", **{f: False for f in flags})]
        members += [member("only-" + flag, "pw", **{f: f == flag for f in flags})
                    for flag in flags]
        return anonymous_settings(os.path.join(root, "home"), ()), members

    def test_each_flag_allows_its_own_operations_only(self):
        expected = []
        for flag, _, governed in [("none", None, ())] + PERMISSIONS:
            user = "none" if flag == "none" else "only-" + flag
            s = self.session(user, "pw")
            expected.append((s, check_matrix(self, s, self.home, user, governed)))
        for s, logs in expected:
            s.logs(logs)

    def test_listing_sizes_dates_and_checksums_need_no_permission(self):
        for user, password in (("anonymous", "guest"), ("none", "pw")):
            with self.subTest(user=user):
                name = user + "-facts.txt"
                write_file(self.in_home(name), b"hello")
                s = self.session(user, password)
                self.assertEqual(s.reply("SIZE " + name), "213 5")
                self.assertRegex(s.reply("MDTM " + name), r"^213 \d{14}")
                self.assertEqual(s.reply("XCRC " + name), "250 3610A686")
                self.assertIn(name, " ".join(s.listing()))
                s.log("List directory /")

    def test_member_without_change_directory_still_lists_subdirectories(self):
        os.makedirs(self.in_home("none-sub", "inner"))
        s = self.session("none", "pw")
        self.assertEqual(s.reply("CWD none-sub"), "550 Not allowed to change directory")
        self.assertTrue(s.listing("LIST none-sub")[-1].endswith(" inner"))
        s.log("List directory /none-sub/")


class AnonymousPermissions(unittest.TestCase):
    """The anonymous settings are global, so each grant gets a daemon of its own; they all
    start at once."""

    def test_each_setting_allows_its_own_operations_only(self):
        grants = [(None, ())] + [(setting, governed) for _, setting, governed in PERMISSIONS]
        daemons = []
        for setting, _ in grants:
            root = tempfile.mkdtemp(prefix="vantrel-files-")
            settings = anonymous_settings(os.path.join(root, "home"), (setting,))
            settings["pasvrangesize"] = "0"
            daemon = Daemon(settings, (), directory=root)
            self.addCleanup(daemon.cleanup)
            daemons.append(daemon.start(expect=None))
        expected = []
        for daemon, (setting, governed) in zip(daemons, grants):
            daemon.wait_for("- Server started", 20)
            s = Session(daemon, "anonymous", "guest")
            expected.append((s, check_matrix(self, s, daemon.home, "anonymous", governed)))
        for s, logs in expected:
            s.logs(logs)
            s.close()
            self.assertEqual(s.daemon.stop(), 0)


class BlockedExtensions(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        settings = anonymous_settings(os.path.join(root, "home"), ("allowupload",))
        settings["preventuploads"] = ".exe;.Bat;"
        # The member's rule is a substring test of the extension in the text, ignoring case.
        return settings, [member("carol", "pw", filecontrol=".exe.com")]

    def check_uploads(self, s, cases):
        logs = []
        for name, allowed in cases:
            with self.subTest(name=name):
                reply = s.transfer_reply("STOR " + name, b"x")
                if allowed:
                    self.assertEqual(reply, "226 Closing data connection.")
                    logs.append("Upload file /" + name)
                else:
                    self.assertEqual(reply, "551 Not allowed to upload files")
                    logs.append("Not allowed to upload file /" + name)
                self.assertEqual(os.path.exists(self.in_home(name)), allowed)
        s.logs(logs)

    def test_member_filecontrol_blocks_extensions_found_in_it_ignoring_case(self):
        self.check_uploads(self.session("carol", "pw"), [
            ("a.exe", False), ("b.com", False), ("c.ex", False), ("d.EXE", False),
            ("e.txt", True), ("noextension", True), ("f.exe.txt", True)])

    def test_anonymous_preventuploads_ignores_case(self):
        self.check_uploads(self.session("anonymous", "guest"), [
            ("g.EXE", False), ("h.exe", False), ("i.bat", False), ("j.ex", True),
            ("k.exe.txt", True), ("l.txt", True)])


if __name__ == "__main__":
    unittest.main()
