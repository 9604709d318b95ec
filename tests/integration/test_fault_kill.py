"""The state files under a daemon that dies while saving them, and under an orderly stop.

SIGKILL lands at random moments while the daemon saves: during the saves that every
account change on the web site makes, and during the saves of shutdown. Every time, each
state file must load and hold either the content before the save or the content after it,
never a mixture or a torn file. SIGTERM must save settings, accounts and monitored files
so that a new daemon finds them as they were. A state file that exists but cannot be read
at start-up is never saved over in that run, even once it has been mended."""

import http.client
import os
import random
import signal
import threading
import time
import unittest
import urllib.parse

from harness import Daemon, free_port, member, read_list_file, write_list_file
from hostile_client import TIMEOUT, Control, HostileCase

STATE_FILES = ("ftpsettings.lst", "ftpmembers.lst", "httpspecialfiles.lst")
MONITORED = {
    "specialfiles": {"specialfiles": "2"},
    "specialfile0": {"filename": "setup.exe", "count": "7", "lasttime": "45000.5",
                     "lastip": "10.0.0.9"},
    "specialfile1": {"filename": "readme.txt", "count": "0", "lasttime": "0", "lastip": ""},
}


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def web_post(port, fields):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=TIMEOUT)
    conn.request("POST", "/", urllib.parse.urlencode(fields),
                 {"Content-Type": "application/x-www-form-urlencoded"})
    page = conn.getresponse().read()
    conn.close()
    return page


class KilledWhileSaving(HostileCase):
    def make_daemon(self, web_port=None):
        settings = {"greetingtext": "Hello;"}
        if web_port:
            settings.update({"webinterfaceenabled": "1", "webinterfaceport": str(web_port),
                             "webinterfaceusers": "admin=pw;"})
        d = Daemon(settings, [member("alice", "pw0")])
        write_list_file(d.path("httpspecialfiles.lst"), MONITORED)
        self.addCleanup(d.cleanup)
        return d

    def assert_loads(self, d, expected):
        """A new daemon loads every state file, and alice's password is one of `expected`."""
        d.lines.clear()
        d.start()
        self.assertIn("- Account list loaded", d.lines)
        self.assertIn("- Monitored files list loaded", d.lines)
        accounts = read_list_file(d.path("ftpmembers.lst"))
        self.assertEqual(accounts["ftpmembers"]["ftpmembers"], "1")
        password = accounts["ftpmember0"]["pass"]
        self.assertIn(password, expected)
        Control(d.port).login("alice", password).close()
        code = d.stop()
        self.assertEqual(code, 0)

    def test_kill_during_account_saves_from_the_web_site(self):
        web_port = free_port()
        d = self.make_daemon(web_port)
        rng = random.Random(5)
        written = {"pw0"}
        for round_ in range(12):
            d.lines.clear()
            d.start()
            d.wait_for("- Web interface started")
            stop = threading.Event()

            def change(round_=round_):
                n = 0
                while not stop.is_set():
                    password = "pw%d-%d" % (round_, n)
                    written.add(password)
                    try:
                        web_post(web_port, {"username": "admin", "password": "pw",
                                            "modifymember": "alice", "pass": password,
                                            "home": d.home})
                    except OSError:
                        return  # killed under us
                    n += 1

            changer = threading.Thread(target=change)
            changer.start()
            time.sleep(0.2 + rng.random() * 0.8)
            d.process.send_signal(signal.SIGKILL)
            d.process.wait(TIMEOUT)
            stop.set()
            changer.join(TIMEOUT)
            self.assert_loads(d, written)

    def test_kill_during_the_saves_of_shutdown(self):
        d = self.make_daemon()
        # An orderly stop first, for the content a finished save writes.
        old = {name: read_bytes(d.path(name)) for name in STATE_FILES}
        d.start()
        self.assertEqual(d.stop(), 0)
        new = {name: read_bytes(d.path(name)) for name in STATE_FILES}
        self.assertNotEqual(old["ftpsettings.lst"], new["ftpsettings.lst"],
                            "the first save must change the settings file for this test")
        rng = random.Random(11)
        outcomes = set()
        for round_ in range(25):
            for name in STATE_FILES:
                with open(d.path(name), "wb") as f:
                    f.write(old[name])
            d.lines.clear()
            d.start()
            d.process.send_signal(signal.SIGTERM)
            time.sleep(rng.random() * 0.05)
            d.process.send_signal(signal.SIGKILL)
            d.process.wait(TIMEOUT)
            for name in STATE_FILES:
                content = read_bytes(d.path(name))
                self.assertIn(content, (old[name], new[name]), "%s, round %d" % (name, round_))
                outcomes.add((name, content == new[name]))
            self.assert_loads(d, {"pw0"})
        # Leftovers of an interrupted save never take the place of a state file.
        strays = [n for n in os.listdir(d.dir) if n.startswith(STATE_FILES) and
                  n not in STATE_FILES]
        for stray in strays:
            self.assertNotIn(stray, STATE_FILES)


class OrderlyStop(HostileCase):
    def test_settings_accounts_and_monitored_files_survive_sigterm(self):
        web_port = free_port()
        d = Daemon({"greetingtext": "Hello;There;", "maxclientcount": "7",
                    "webinterfaceenabled": "1", "webinterfaceport": str(web_port),
                    "webinterfaceusers": "admin=pw;", "bannedlist": "10.1.2.3=manual;"},
                   [member("alice", "pw0", virtualdir="pub=/srv/pub;", download_limit=500)])
        write_list_file(d.path("httpspecialfiles.lst"), MONITORED)
        self.addCleanup(d.cleanup)
        d.start()
        d.wait_for("- Web interface started")
        web_post(web_port, {"username": "admin", "password": "pw", "addnewmember": "bob",
                            "pass": "pwb", "home": d.home, "allowdownload": "on",
                            "virtualdir": "x=/srv/x;"})
        # The server closes first after QUIT (and after every web reply), which leaves its
        # ports in TIME_WAIT: the restart below must bind them all the same.
        c = Control(d.port).login("alice", "pw0")
        self.assertEqual(c.ask("QUIT")[:3], "221")
        c.close()
        self.assertEqual(d.stop(), 0)
        settings_before = read_list_file(d.path("ftpsettings.lst"))
        accounts_before = read_list_file(d.path("ftpmembers.lst"))
        monitored_before = read_list_file(d.path("httpspecialfiles.lst"))
        self.assertEqual(settings_before["ftpsettings"]["greetingtext"], "Hello;There;")
        self.assertEqual(settings_before["ftpsettings"]["bannedlist"], "10.1.2.3=manual;")
        self.assertEqual(accounts_before["ftpmembers"]["ftpmembers"], "2")
        for i in (0, 1):
            for key in ("filename", "count", "lastip"):
                self.assertEqual(monitored_before["specialfile%d" % i][key],
                                 MONITORED["specialfile%d" % i][key])

        # A new daemon over the same directory, at once, finds it all and saves it unchanged.
        d.lines.clear()
        d.start()
        d.wait_for("- Web interface started")
        self.assertIn("- Monitored files list loaded", d.lines)
        c = Control(d.port)
        self.assertEqual(c.greeting, "220-Hello\n220 There")
        c.login("bob", "pwb").close()
        Control(d.port).login("alice", "pw0").close()
        self.assertEqual(d.stop(), 0)
        self.assertEqual(read_list_file(d.path("ftpsettings.lst")), settings_before)
        accounts = read_list_file(d.path("ftpmembers.lst"))
        for section in ("ftpmember0", "ftpmember1"):
            for key in ("user", "pass", "home", "virtualdir", "download"):
                self.assertEqual(accounts[section][key], accounts_before[section][key])
        self.assertEqual(read_list_file(d.path("httpspecialfiles.lst")), monitored_before)


class UnreadableAtStartUp(HostileCase):
    def test_files_that_could_not_be_read_are_never_saved_over(self):
        directory = self.make_directory()
        # A directory in a file's place cannot be read, even by root.
        for name in ("ftpmembers.lst", "httpspecialfiles.lst"):
            os.mkdir(os.path.join(directory, name))
        d = self.start_daemon(web=True)
        members = d.path("ftpmembers.lst")
        for name, line in (("ftpmembers.lst", "- Failed to load account list"),
                           ("httpspecialfiles.lst", "- Failed to load monitored files list")):
            self.assertIn("%s (cannot read %s: Is a directory)" % (line, d.path(name)), d.lines)
        refusal = "- Unable to write to %s (it could not be read at start-up)"

        # The operator mends the accounts file while the daemon runs; an edit on the web
        # site changes the table in memory but not the file.
        os.rmdir(members)
        write_list_file(members, {"ftpmembers": {"ftpmembers": "1"},
                                  "ftpmember0": member("alice", "theirs", "/srv/alice")})
        original = read_bytes(members)
        page = web_post(self.web_port, {"username": "admin", "password": "pw",
                                        "addnewmember": "bob", "pass": "x", "home": "/"})
        self.assertIn(b"New ftp member added (bob)", page)
        d.wait_for(refusal % members)

        os.remove(d.path("ftpsettings.lst"))
        self.assertEqual(d.stop(), 0)
        self.assertEqual(d.lines.count(refusal % members), 2, d.lines)
        self.assertIn(refusal % d.path("httpspecialfiles.lst"), d.lines)
        self.assertEqual(read_bytes(members), original)
        self.assertTrue(os.path.isdir(d.path("httpspecialfiles.lst")))
        # The file that was read is saved as ever.
        saved = read_list_file(d.path("ftpsettings.lst"))["ftpsettings"]
        self.assertEqual(saved["serverport"], str(d.port))


if __name__ == "__main__":
    unittest.main()
