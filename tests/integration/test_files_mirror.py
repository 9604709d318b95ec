"""A whole tree copied with lftp's mirror, down and back up, several files at a time, the
files keeping their times on the way up."""

import os
import random
import shutil
import subprocess
import tempfile
import unittest

from files_support import SharedDaemonCase, read_file, write_file
from harness import member

FILES = 200
SIZES = (0, 1, 511, 4096, 65537, 300000)


def make_tree(top, seed):
    rng = random.Random(seed)
    for i in range(FILES):
        name = "f%03d.bin" % i if i % 17 else "file %03d with spaces.txt" % i
        path = os.path.join(top, "d%d" % (i % 5), "s%d" % (i // 5 % 4), name)
        write_file(path, rng.randbytes(SIZES[i % len(SIZES)]))
        # Years back, so that a copy that merely got the time of its upload shows.
        moment = 1500000000 + i * 3607
        os.utime(path, (moment, moment))
    os.makedirs(os.path.join(top, "empty"))


def times_of(top):
    """{relative path of a file: modification time in whole seconds}"""
    return {os.path.relpath(os.path.join(directory, name), top):
            int(os.stat(os.path.join(directory, name)).st_mtime)
            for directory, _, files in os.walk(top) for name in files}


def tree_of(top):
    """{relative path: bytes, or None for a directory}"""
    found = {}
    for directory, subdirectories, files in os.walk(top):
        for name in subdirectories:
            found[os.path.relpath(os.path.join(directory, name), top)] = None
        for name in files:
            path = os.path.join(directory, name)
            found[os.path.relpath(path, top)] = read_file(path)
    return found


class Mirror(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {}, [member("milo", "pw")]

    def lftp(self, command):
        # lftp reads our machine listings (MLSD) here, as it does by default.
        script = ("set cmd:fail-exit yes; set net:max-retries 1; "
                  "open -u milo,pw 127.0.0.1:%d; %s" % (self.daemon.port, command))
        done = subprocess.run(["lftp", "-c", script], capture_output=True, text=True,
                              timeout=300)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def local_dir(self):
        path = tempfile.mkdtemp(prefix="vantrel-mirror-")
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def test_download_tree(self):
        make_tree(self.in_home("tree"), 1)
        local = self.local_dir()
        self.lftp("mirror --parallel=3 /tree %s/tree" % local)
        expected = tree_of(self.in_home("tree"))
        self.assertEqual(sum(1 for v in expected.values() if v is not None), FILES)
        self.assertEqual(tree_of(os.path.join(local, "tree")), expected)

    def test_upload_tree(self):
        local = self.local_dir()
        make_tree(os.path.join(local, "src"), 2)
        self.lftp("mirror -R --parallel=3 %s/src /up" % local)
        self.assertEqual(tree_of(self.in_home("up")), tree_of(os.path.join(local, "src")))
        self.assertEqual(times_of(self.in_home("up")), times_of(os.path.join(local, "src")),
                         "uploads keep their times")


if __name__ == "__main__":
    unittest.main()
