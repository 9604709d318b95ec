"""A thousand connections opened and left silent, against the real daemon with
`maxclientcount` set: other clients are still served while they sit there, connections
beyond the limit get the over-limit reply, and once the silent ones go away the sessions
are cleaned up and the totals agree. Listings of a large directory that nobody reads hold
little memory, and a login storm is greeted promptly.

The sessions' read time-out (five minutes) has no setting, so this test does not wait for
it: the silent clients leave by closing, which the daemon must notice the same way it
notices a time-out, by ending the session."""

import os
import resource
import socket
import threading
import time
import unittest

from harness import member
from hostile_client import TIMEOUT, Control, HostileCase, resident_kb

SILENT = 1000
LIMIT = 1010
EXTRA = 20


def open_files_wanted():
    # The daemon and this test each hold one descriptor per connection, plus their own.
    return SILENT + LIMIT + 200


def process_facts(pid):
    with open("/proc/%d/status" % pid) as f:
        threads = next(int(line.split()[1]) for line in f if line.startswith("Threads:"))
    return len(os.listdir("/proc/%d/fd" % pid)), threads


class SilentCrowd(HostileCase):
    @classmethod
    def setUpClass(cls):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        cls.saved_limit = (soft, hard)
        wanted = open_files_wanted()
        if hard != resource.RLIM_INFINITY and hard < wanted:
            raise unittest.SkipTest("needs %d open files, the hard limit is %d" % (wanted, hard))
        # The daemon inherits the raised limit.
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), hard))

    @classmethod
    def tearDownClass(cls):
        resource.setrlimit(resource.RLIMIT_NOFILE, cls.saved_limit)

    def test_silent_crowd_does_not_starve_other_clients(self):
        d = self.start_daemon(settings={"maxclientcount": str(LIMIT)},
                              members=[member("alice", "pw")], web=True)
        with open(os.path.join(d.home, "file.txt"), "wb") as f:
            f.write(b"served")
        baseline = process_facts(d.process.pid)
        silent = []
        self.addCleanup(lambda: [s.close() for s in silent])
        for _ in range(SILENT):
            s = socket.create_connection(("127.0.0.1", d.port), timeout=TIMEOUT)
            silent.append(s)
            # Its own session (a greeting), not a place in the listen queue.
            self.assertEqual(s.recv(4), b"220 ")

        started = time.monotonic()
        c = Control(d.port).login("alice", "pw")
        data = c.passive()
        self.assertTrue(c.ask("RETR file.txt").startswith("150"))
        self.assertEqual(data.recv(100), b"served")
        data.close()
        self.assertEqual(c.reply(), "226 Closing data connection.")
        self.assertLess(time.monotonic() - started, 10, "a client waited behind the crowd")

        # Beyond the limit: the over-limit reply, then the connection closes.
        greetings, refusals = 0, 0
        extra = []
        for _ in range(EXTRA):
            s = socket.create_connection(("127.0.0.1", d.port), timeout=TIMEOUT)
            extra.append(s)
            reply = s.makefile("rb").readline()
            if reply.startswith(b"220"):
                greetings += 1
            else:
                self.assertEqual(reply, b"421 Server busy. Try again later.\r\n")
                self.assertEqual(s.recv(1), b"", "the refused connection stays open")
                refusals += 1
        self.assertEqual(greetings, LIMIT - SILENT - 1)
        self.assertEqual(refusals, EXTRA - greetings)
        for s in extra:
            s.close()

        for s in silent:
            s.close()
        silent.clear()
        self.assertEqual(c.ask("QUIT")[:3], "221")
        c.close()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if process_facts(d.process.pid) == baseline:
                break
            time.sleep(0.5)
        self.assertEqual(process_facts(d.process.pid), baseline,
                         "descriptors and threads once the crowd left")
        d.settle(1.0)
        self.assertEqual(sum(1 for line in d.lines if line.endswith("> Disconnected")),
                         SILENT + 1 + greetings)
        totals = self.statistics()
        self.assertEqual(totals["Connections"], str(SILENT + 1 + greetings))
        self.assertEqual(totals["Sessions"], "1")

        # And the next client is served as if nothing happened.
        c = Control(d.port).login("alice", "pw")
        self.assertEqual(c.ask("SIZE file.txt"), "213 6")
        c.close()


class LoginStorm(HostileCase):
    def test_every_client_of_a_login_storm_is_greeted_promptly(self):
        """Clients connect and leave as fast as they can; when the listen queue overflows,
        Linux drops the end of a client's handshake and that client waits a minute or
        more for its greeting."""
        d = self.start_daemon(members=[member("alice", "pw")])
        deadline = time.monotonic() + 8
        waits, failures = [], []

        def storm():
            while time.monotonic() < deadline:
                started = time.monotonic()
                try:
                    with socket.create_connection(("127.0.0.1", d.port), timeout=30) as s:
                        greeting = s.recv(4)
                        waits.append(time.monotonic() - started)
                        if greeting != b"220 ":
                            failures.append(greeting)
                        s.sendall(b"QUIT\r\n")
                        s.recv(100)
                except OSError as failure:
                    failures.append("%r after %.1fs" % (failure, time.monotonic() - started))

        threads = [threading.Thread(target=storm) for _ in range(100)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(60)
        self.assertEqual(failures, [])
        self.assertGreater(len(waits), 1000)
        self.assertLess(max(waits), 5, "the slowest greeting of %d" % len(waits))


STALLED = 10
ENTRIES = 10000


class StalledListings(HostileCase):
    def test_listings_nobody_reads_hold_little_memory(self):
        """Each listing is 2 MB of text, far more than a client holding 4 KiB unread lets
        through: the daemon keeps what it needs for the next lines, not the listing."""
        d = self.start_daemon(members=[member("alice", "pw")])
        big = os.path.join(d.home, "big")
        os.makedirs(big)
        names = ["%s-%05d" % ("n" * 190, i * 7919 % ENTRIES) for i in range(ENTRIES)]
        for name in names:
            open(os.path.join(big, name), "wb").close()
        before = resident_kb(d.process.pid)
        stalled = []
        self.addCleanup(lambda: [sock.close() for pair in stalled for sock in pair])
        for _ in range(STALLED):
            c = Control(d.port).login("alice", "pw")
            data = c.passive(receive_buffer=4096)
            self.assertEqual(c.ask("LIST big"),
                             "125 Opening ASCII mode data connection for /bin/ls.")
            stalled.append((c.sock, data))
        grown, last = 0, -1
        while grown != last:
            last, grown = grown, resident_kb(d.process.pid) - before
            time.sleep(0.5)
        self.assertLess(grown, 3 * 1024 * STALLED,
                        "%d KiB for %d stalled listings" % (grown, STALLED))
        for pair in stalled:
            for sock in pair:
                sock.close()
        # Read whole, the listing has every name once, in order, though the directory's
        # names are more than one pass over them holds.
        self.assertEqual(d.ftp("alice", "pw").nlst("big"), [".", ".."] + sorted(names))


if __name__ == "__main__":
    unittest.main()
