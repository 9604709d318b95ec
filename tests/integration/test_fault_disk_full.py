"""A disk that fills up during an upload, against the real daemon.

The daemon runs with a file size limit (RLIMIT_FSIZE) and SIGXFSZ ignored, so a write past
the limit fails with EFBIG exactly as a full disk fails one with ENOSPC, without needing a
small file system (and the rights to mount one); where those rights exist, one more test
fills a real 1 MiB tmpfs. The upload must end with 451 or 426, never 226, and the server
must go on serving."""

import os
import subprocess
import sys
import threading
import unittest

import harness
from harness import Daemon, member
from hostile_client import TIMEOUT, Control, HostileCase

LIMIT = 1024 * 1024
LAUNCHER = """#!%s
import os, resource, signal, sys
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (%d, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))
os.execv(%r, [%r] + sys.argv[1:])
"""


class FullDisk(HostileCase):
    def start_limited(self):
        d = Daemon({}, [member("alice", "pw")])
        self.addCleanup(d.cleanup)
        self.addCleanup(self.assert_clean_exit, d)
        # Python's subprocess puts SIGXFSZ back to its default in every child, so the
        # limit and the ignored signal are set by a small launcher that then becomes the
        # daemon (same process, limits and dispositions kept across exec).
        launcher = os.path.join(d.dir, "launch-limited")
        with open(launcher, "w") as f:
            f.write(LAUNCHER % (sys.executable, LIMIT, harness.VANTRELD, harness.VANTRELD))
        os.chmod(launcher, 0o755)
        real = harness.VANTRELD
        harness.VANTRELD = launcher
        try:
            d.start()
        finally:
            harness.VANTRELD = real
        return d

    def upload(self, c, command, size):
        """Runs an upload of `size` bytes; its final reply."""
        data = c.passive()
        reply = c.ask(command)
        self.assertTrue(reply.startswith("150"), reply)

        def send():
            try:
                block = b"d" * 65536
                for _ in range(size // len(block)):
                    data.sendall(block)
                data.sendall(b"d" * (size % len(block)))
            except OSError:
                pass  # the server gave up on the upload and closed
            finally:
                data.close()

        sender = threading.Thread(target=send)
        sender.start()
        final = c.reply()
        sender.join(TIMEOUT)
        return final

    def test_upload_past_the_full_disk_fails_and_the_server_serves_on(self):
        d = self.start_limited()
        c = Control(d.port).login("alice", "pw")
        for command, size in (("STOR big.bin", 3 * LIMIT), ("STOR exact.bin", LIMIT + 1),
                              ("STOR small.bin", 100), ("APPE small.bin", 2 * LIMIT)):
            final = self.upload(c, command, size)
            if size <= LIMIT:
                self.assertEqual(final, "226 Closing data connection.", command)
            else:
                self.assertIn(final[:3], ("451", "426"), "%s of %d bytes: %s" %
                              (command, size, final))
        for name in ("big.bin", "exact.bin", "small.bin"):
            self.assertLessEqual(os.path.getsize(os.path.join(d.home, name)), LIMIT, name)

        # Still serving: an upload within the limit, a download, a listing.
        self.assertEqual(self.upload(c, "STOR fits.bin", 5000), "226 Closing data connection.")
        self.assertEqual(os.path.getsize(os.path.join(d.home, "fits.bin")), 5000)
        data = c.passive()
        self.assertTrue(c.ask("RETR fits.bin").startswith("150"))
        got = b""
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            got += chunk
        data.close()
        self.assertEqual(c.reply(), "226 Closing data connection.")
        self.assertEqual(got, b"d" * 5000)
        self.assertEqual(c.ask("QUIT")[:3], "221")
        c.close()
        d.wait_for(c.key + "> Disconnected")

    def test_upload_onto_a_file_system_that_fills_up(self):
        # The real thing, where the system lets us mount one: ENOSPC rather than EFBIG.
        d = Daemon({}, [member("alice", "pw")])
        self.addCleanup(d.cleanup)
        small = os.path.join(d.home, "small-fs")
        os.makedirs(small)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % LIMIT, "tmpfs",
                                  small], capture_output=True).returncode == 0
        if not mounted:
            self.skipTest("cannot mount a small file system here")
        self.addCleanup(subprocess.run, ["umount", "-l", small])
        self.addCleanup(self.assert_clean_exit, d)
        d.start()
        c = Control(d.port).login("alice", "pw")
        self.assertEqual(c.ask("CWD small-fs")[:3], "250")
        self.assertIn(self.upload(c, "STOR big.bin", 3 * LIMIT)[:3], ("451", "426"))
        os.remove(os.path.join(small, "big.bin"))
        self.assertEqual(self.upload(c, "STOR fits.bin", 5000), "226 Closing data connection.")
        self.assertEqual(os.path.getsize(os.path.join(small, "fits.bin")), 5000)
        self.assertEqual(c.ask("QUIT")[:3], "221")
        c.close()
        d.wait_for(c.key + "> Disconnected")

    def test_other_sessions_are_untouched_by_a_failing_upload(self):
        d = self.start_limited()
        with open(os.path.join(d.home, "read.bin"), "wb") as f:
            f.write(b"r" * 300000)
        reader = Control(d.port).login("alice", "pw")
        writer = Control(d.port).login("alice", "pw")
        data = reader.passive()
        self.assertTrue(reader.ask("RETR read.bin").startswith("150"))
        self.assertIn(self.upload(writer, "STOR huge.bin", 2 * LIMIT)[:3], ("451", "426"))
        got = b""
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            got += chunk
        data.close()
        self.assertEqual(reader.reply(), "226 Closing data connection.")
        self.assertEqual(len(got), 300000)
        reader.close()
        writer.close()


if __name__ == "__main__":
    unittest.main()
