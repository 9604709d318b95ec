"""Directory listings as clients read them: the Unix long layout line by line, virtual
directories in the root and by path, hidden entries, and listings that fail."""

import os
import subprocess
import time
import unittest

from files_support import SharedDaemonCase, write_file
from harness import member

MONTHS = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec")
OLD = time.mktime((2020, 3, 4, 5, 6, 8, 0, 0, -1))  # an even second: dates have 2 s steps
RECENT = (int(time.time()) - 86400) // 60 * 60 + 8
LFTP_SETTINGS = "set cmd:fail-exit yes; "


def unix_date(moment):
    t = time.localtime(moment)
    day = "%s %02d" % (MONTHS[t.tm_mon - 1], t.tm_mday)
    # Within six months the time of day is shown, older entries show the year.
    if time.time() - moment < 150 * 86400:
        return day + " %02d:%02d" % (t.tm_hour, t.tm_min)
    return day + "  %d" % t.tm_year


def unix_line(name, is_directory, size, moment):
    kind = "drwxrwxr-x" if is_directory else "-rw-rw-r--"
    return "%s   1 root     root     %8d %s %s" % (kind, 512 if is_directory else size,
                                                   unix_date(moment), name)


def line_of(path, name):
    facts = os.stat(path)
    return unix_line(name, os.path.isdir(path), facts.st_size, facts.st_mtime)


class Listing(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        settings = {"allowanonymous": "1", "anonymoushome": os.path.join(root, "home"),
                    "anonymous_virtual": "pub=%s/pub;" % root}
        return settings, [
            member("vera", "pw", virtualdir="music=%s/mp3;video=%s/missing;" % (root, root)),
            member("plain", "pw"),
        ]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        tree = {"b.txt": (b"x" * 1234, OLD), "c.bin": (b"", RECENT), ".hidden": (b"secret!", OLD),
                "A-dir/inner.txt": (b"inner", OLD), ".hidden-dir/x": (b"", OLD),
                "A-dir/.dot": (b"", OLD)}
        for name, (data, moment) in tree.items():
            path = os.path.join(cls.home, name)
            write_file(path, data)
            os.utime(path, (moment, moment))
        os.utime(os.path.join(cls.home, "A-dir"), (RECENT, RECENT))
        write_file(os.path.join(cls.root, "mp3", "song.mp3"), b"la la la")
        write_file(os.path.join(cls.root, "pub", "readme"), b"public")

    def test_root_listing_in_the_unix_layout_with_virtual_directories_last(self):
        s = self.session("vera", "pw")
        before = time.time()
        lines = s.listing()
        after = time.time()
        expected = ["total 0",
                    unix_line("A-dir", True, 0, RECENT),
                    unix_line("b.txt", False, 1234, OLD),
                    unix_line("c.bin", False, 0, RECENT)]
        self.assertEqual(lines[:4], expected)
        # Virtual directories carry the moment of the listing; video lists although its
        # directory does not exist.
        for index, alias in ((4, "music"), (5, "video")):
            self.assertIn(lines[index], (unix_line(alias, True, 0, before),
                                         unix_line(alias, True, 0, after)))
        self.assertEqual(len(lines), 6)
        self.assertEqual(s.listing("NLST"), ["A-dir", "b.txt", "c.bin", "music", "video"])
        s.log("List directory /")

    def test_subdirectory_lists_dot_entries_and_not_hidden_files(self):
        s = self.session("vera", "pw")
        lines = s.listing("LIST A-dir")
        self.assertEqual(lines, ["total 0",
                                 line_of(os.path.join(self.home, "A-dir"), "."),
                                 line_of(self.home, ".."),
                                 unix_line("inner.txt", False, 5, OLD)])
        s.log("List directory /A-dir/")

    def test_every_spelling_of_the_root_lists_the_root(self):
        s = self.session("vera", "pw")
        root = s.listing("NLST /")
        for path in ("/A-dir/..", "A-dir/../", "/.", "//", "/music/.."):
            with self.subTest(path=path):
                self.assertEqual(s.listing("NLST " + path), root)

    def test_parent_entry_shows_the_parent_the_client_sees(self):
        # The directory above the virtual directory's own differs from the home.
        os.utime(self.root, (OLD, OLD))
        os.utime(self.home, (RECENT, RECENT))
        s = self.session("vera", "pw")
        lines = s.listing("LIST /music")
        self.assertEqual(lines[2], unix_line("..", True, 0, RECENT))

    def test_curl_and_lftp_read_the_same_listing(self):
        s = self.session("vera", "pw")
        url = "ftp://vera:pw@127.0.0.1:%d/A-dir/" % self.daemon.port
        curl = subprocess.run(["curl", "-sS", "--max-time", "20", url], capture_output=True,
                              text=True, timeout=30)
        self.assertEqual(curl.returncode, 0, curl.stderr)
        self.assertEqual(curl.stdout.splitlines(), s.listing("LIST /A-dir"))
        lftp = subprocess.run(["lftp", "-c", LFTP_SETTINGS + "open -u vera,pw 127.0.0.1:%d; "
                               "cls -1 /A-dir/" % self.daemon.port],
                              capture_output=True, text=True, timeout=30)
        self.assertEqual(lftp.returncode, 0, lftp.stderr)
        self.assertEqual(lftp.stdout.split(), ["/A-dir/inner.txt"])

    def test_virtual_directory_by_path(self):
        s = self.session("vera", "pw")
        self.assertEqual(s.reply("CWD /music"), "250 CWD Command successful.")
        self.assertEqual(s.listing()[-1], line_of(os.path.join(self.root, "mp3", "song.mp3"),
                                                  "song.mp3"))
        self.assertEqual(s.retrieve("song.mp3"), b"la la la")
        self.assertEqual(s.reply("SIZE /music/song.mp3"), "213 8")
        # A virtual directory whose directory is missing logs no disk path.
        self.assertEqual(s.reply("CWD /video"), "550 Directory does not exist /video")
        self.assertEqual(s.reply("CWD /nowhere"), "550 Directory does not exist /nowhere")
        s.logs(["Change directory /music", "List directory /music/",
                "Download file /music/song.mp3 (8 Byte(s))", "Directory does not exist /video",
                "Directory does not exist /nowhere (%s/nowhere)" % self.home])

    def test_anonymous_aliases_listed_for_anonymous_reached_by_plain_members(self):
        anonymous = self.session("anonymous", "guest")
        self.assertEqual(anonymous.listing("NLST"), ["A-dir", "b.txt", "c.bin", "pub"])
        plain = self.session("plain", "pw")
        self.assertNotIn("pub", plain.listing("NLST"))
        self.assertEqual(plain.retrieve("/pub/readme"), b"public")
        # A member with aliases of their own does not reach the anonymous ones.
        vera = self.session("vera", "pw")
        self.assertEqual(vera.reply("SIZE /pub/readme"),
                         "550 Requested action aborted: local error in processing.")

    def test_hidden_entries_are_not_listed_but_answered(self):
        s = self.session("vera", "pw")
        self.assertNotIn(".hidden", s.listing("NLST"))
        self.assertNotIn(".hidden-dir", s.listing("NLST"))
        self.assertEqual(s.reply("SIZE .hidden"), "213 7")
        self.assertEqual(s.reply("MDTM .hidden"),
                         "213 " + time.strftime("%Y%m%d%H%M%S", time.gmtime(OLD)))
        self.assertEqual(s.retrieve(".hidden"), b"secret!")

    def test_sizes_and_dates_of_what_is_no_file(self):
        s = self.session("vera", "pw")
        for name in ("missing.txt", "A-dir", "/music"):
            with self.subTest(name=name):
                self.assertEqual(s.reply("SIZE " + name),
                                 "550 Requested action aborted: local error in processing.")
                self.assertEqual(s.reply("MDTM " + name),
                                 "550 Requested action aborted: local error in processing.")

    def test_a_file_or_a_pattern_lists_what_it_names(self):
        s = self.session("vera", "pw")
        # As ls shows them: named as the client wrote the path.
        self.assertEqual(s.listing("LIST /b.txt"),
                         ["total 0", unix_line("/b.txt", False, 1234, OLD)])
        self.assertEqual(s.listing("NLST b.txt"), ["b.txt"])
        self.assertEqual(s.reply("STAT b.txt"),
                         "213-File status okay; about to open data connection.\ntotal 0\n%s\n"
                         "213 End of Status" % unix_line("b.txt", False, 1234, OLD))
        for command, names in (("NLST *.txt", ["b.txt"]),
                               ("NLST A-dir/*.txt", ["A-dir/inner.txt"]),
                               ("NLST /*i*", ["/A-dir", "/c.bin", "/music", "/video"]),
                               ("NLST [ab]?txt", ["b.txt"]),
                               ("NLST *.none", []),
                               ("NLST .h*", [])):
            with self.subTest(command=command):
                self.assertEqual(s.listing(command), names)
        self.assertEqual(s.listing("LIST c.*"), ["total 0", unix_line("c.bin", False, 0, RECENT)])
        # mget as the classic clients do it: NLST the pattern, then RETR each name it gave.
        self.assertEqual([s.retrieve(name) for name in s.ftp.nlst("A-dir/*")], [b"inner"])
        s.logs(["List file /b.txt", "List file /b.txt", "List directory /*.txt",
                "List directory /A-dir/*.txt"])

    def test_listing_what_does_not_exist_fails_for_good(self):
        s = self.session("vera", "pw")
        for command in ("LIST /nope", "NLST /video", "LIST /nope/*.txt", "MLSD /b.txt"):
            with self.subTest(command=command):
                path = command.split(" ", 1)[1]
                self.assertEqual(s.transfer_reply(command),
                                 "550 Directory does not exist %s" % path)
        s.logs(["Directory %s does not exist." % path
                for path in ("/nope", "/video", "/nope/*.txt", "/b.txt")])
        # A temporary failure (450) would have lftp try again without end.
        lftp = subprocess.run(["lftp", "-c", LFTP_SETTINGS + "open -u vera,pw 127.0.0.1:%d; "
                               "ls /nope" % self.daemon.port],
                              capture_output=True, text=True, timeout=30)
        self.assertNotEqual(lftp.returncode, 0)
        self.assertIn("550", lftp.stderr)

    def test_machine_lines_lead_with_the_type_whatever_the_selection(self):
        s = self.session("vera", "pw")
        self.assertEqual(s.reply("OPTS MLST size;modify;"), "200 MLST OPTS size;type;modify;")
        self.assertEqual(s.listing("MLSD /A-dir")[-1],
                         "type=file;size=5;modify=%s; inner.txt"
                         % time.strftime("%Y%m%d%H%M%S", time.gmtime(OLD)))


if __name__ == "__main__":
    unittest.main()
