"""Clients that vanish in the middle of RETR, STOR, LIST and checksums (a reset on both
connections, as when a client crashes or loses its line), against the real daemon. The
session must be cleaned up (its disconnect logged, its descriptors and thread gone), the
totals must agree with what reached the disk, and the server must go on serving."""

import os
import time
import unittest

from harness import member
from hostile_client import Control, HostileCase, vanish

BIG = 64 * 1024 * 1024


def process_facts(pid):
    """(open descriptors, threads) of a process."""
    with open("/proc/%d/status" % pid) as f:
        threads = next(int(line.split()[1]) for line in f if line.startswith("Threads:"))
    return len(os.listdir("/proc/%d/fd" % pid)), threads


class Vanishing(HostileCase):
    def setUp(self):
        self.d = self.start_daemon(members=[member("alice", "pw")], web=True)
        with open(os.path.join(self.d.home, "big.bin"), "wb") as f:
            f.truncate(BIG)
        many = os.path.join(self.d.home, "many")
        os.makedirs(many)
        for i in range(3000):
            open(os.path.join(many, "entry-with-a-long-name-%05d.txt" % i), "w").close()
        self.baseline = self.settled_facts()

    def settled_facts(self):
        """The daemon's descriptors and threads once they stop changing."""
        last, deadline = None, time.monotonic() + 10
        while time.monotonic() < deadline:
            facts = process_facts(self.d.process.pid)
            if facts == last:
                return facts
            last = facts
            time.sleep(0.3)
        return last

    def assert_cleaned_up(self, c):
        self.d.wait_for(c.key + "> Disconnected", timeout=30)
        self.assertEqual(self.settled_facts(), self.baseline,
                         "descriptors and threads after the session ended")

    def start_transfer(self, command):
        c = Control(self.d.port).login("alice", "pw")
        data = c.passive()
        reply = c.ask(command)
        self.assertTrue(reply.startswith("1"), reply)
        return c, data

    def test_vanishing_during_retr_list_and_stor(self):
        c, data = self.start_transfer("RETR big.bin")
        received = 0
        while received < 256 * 1024:
            received += len(data.recv(65536))
        vanish(data)
        vanish(c.sock)
        self.assert_cleaned_up(c)

        c, data = self.start_transfer("LIST many")
        self.assertTrue(data.recv(4096))
        vanish(data)
        vanish(c.sock)
        self.assert_cleaned_up(c)

        c, data = self.start_transfer("STOR part.bin")
        data.sendall(b"p" * 700)
        time.sleep(0.5)  # let the server take the bytes before the line drops
        vanish(data)
        vanish(c.sock)
        self.assert_cleaned_up(c)

        totals = self.statistics()
        self.assertEqual(totals["Connections"], "3")
        self.assertEqual(totals["Sessions"], "3")
        stored = os.path.getsize(os.path.join(self.d.home, "part.bin"))
        self.assertEqual(totals["Uploaded"], "%d Byte(s)" % stored,
                         "the upload total must be what reached the disk")
        downloaded, unit = totals["Downloaded"].split()
        self.assertIn(unit, ("KB", "MB"))
        self.assertLessEqual(float(downloaded) * (1024 if unit == "KB" else 1024 ** 2), BIG)

        # The server serves on, and the files are free.
        c = Control(self.d.port).login("alice", "pw")
        self.assertEqual(c.ask("DELE big.bin"), "250 Requested file action okay, completed.")
        data = c.passive()
        self.assertTrue(c.ask("STOR part.bin").startswith("150"))
        data.sendall(b"whole")
        data.close()
        self.assertEqual(c.reply(), "226 Closing data connection.")
        with open(os.path.join(self.d.home, "part.bin"), "rb") as f:
            self.assertEqual(f.read(), b"whole")
        self.assertEqual(c.ask("QUIT")[:3], "221")
        c.close()
        self.assert_cleaned_up(c)

    def test_checksums_stop_at_abor_and_when_the_client_vanishes(self):
        with open(os.path.join(self.d.home, "huge.bin"), "wb") as f:
            f.truncate(64 * 1024 ** 3)  # sparse: no disk, and minutes of hashing
        c = Control(self.d.port).login("alice", "pw")
        c.send(b"XCRC huge.bin 1\r\n")
        time.sleep(0.3)
        asked = time.monotonic()
        self.assertEqual(c.ask("ABOR"), "426 Checksum aborted.")
        self.assertEqual(c.reply(), "226 ABOR Command successful.")
        self.assertLess(time.monotonic() - asked, 1)
        names = ",".join(["huge.bin"] * 16)
        self.assertEqual(c.ask("MMD5 %s,huge.bin" % names), "501 MMD5 takes at most 16 file names")
        c.send(("MMD5 %s\r\n" % names).encode())
        time.sleep(0.3)
        vanish(c.sock)
        gone = time.monotonic()
        self.d.wait_for(c.key + "> Disconnected", timeout=30)
        self.assertLess(time.monotonic() - gone, 2, "the checksum outlived its client")
        self.assert_cleaned_up(c)

    def test_vanishing_while_the_server_waits_for_the_data_connection(self):
        c = Control(self.d.port).login("alice", "pw")
        c.ask("PASV")
        self.assertTrue(c.ask("RETR big.bin").startswith("150"))
        vanish(c.sock)
        self.assert_cleaned_up(c)


if __name__ == "__main__":
    unittest.main()
