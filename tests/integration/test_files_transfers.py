"""Downloads and uploads end to end: truncation, appends, speed limits, files shared by
several transfers at once, and the totals the statistics keep."""

import datetime
import fcntl
import ftplib
import http.client
import io
import os
import re
import subprocess
import time
import unittest
import urllib.parse

from files_support import SharedDaemonCase, read_file, write_file
from harness import free_port, member

DONE = "226 Closing data connection."
# Larger than what the loopback socket buffers hold, so a download whose client does not
# read yet keeps its file open on the server.
BIG = 16 * 1024 * 1024


class Transfers(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {}, [member("tina", "pw"), member("other", "pw")]

    def test_stor_truncates_an_existing_file_before_any_data_arrives(self):
        write_file(self.in_home("t.txt"), b"old content that is long")
        s = self.session("tina", "pw")
        conn = s.ftp.transfercmd("STOR t.txt")
        self.assertEqual(os.path.getsize(self.in_home("t.txt")), 0)
        conn.sendall(b"new")
        conn.close()
        self.assertEqual(s.ftp.voidresp(), DONE)
        self.assertEqual(read_file(self.in_home("t.txt")), b"new")
        s.log("Upload file /t.txt")

    def test_append(self):
        write_file(self.in_home("log.txt"), b"one,")
        s = self.session("tina", "pw")
        self.assertEqual(s.store("log.txt", b"two", "APPE"), DONE)
        self.assertEqual(read_file(self.in_home("log.txt")), b"one,two")
        self.assertEqual(s.transfer_reply("APPE missing.txt", b"x"),
                         "550 Append file failed /missing.txt")
        self.assertFalse(os.path.exists(self.in_home("missing.txt")))
        self.assertEqual(s.transfer_reply("STOR nodir/new.txt", b"x"),
                         "551 Failed to upload file /nodir/new.txt")
        s.logs(["Append file /log.txt", "Append file failed /missing.txt",
                "Failed to upload file /nodir/new.txt"])

    def test_transfers_of_missing_files_directories_and_fifos(self):
        os.makedirs(self.in_home("a-directory"), exist_ok=True)
        # Opening a FIFO for reading waits for a writer; the session must not.
        if not os.path.exists(self.in_home("a-fifo")):
            os.mkfifo(self.in_home("a-fifo"))
        s = self.session("tina", "pw")
        for name in ("nothing.bin", "a-directory", "a-fifo"):
            self.assertEqual(s.transfer_reply("RETR " + name),
                             "550 Requested action aborted: local error in processing.")
        s.logs(["File not found /nothing.bin", "File not found /a-directory",
                "File not found /a-fifo"])
        # Nor does an upload onto a FIFO wait for a reader.
        self.assertEqual(s.transfer_reply("STOR a-fifo", b"x"),
                         "551 Failed to upload file /a-fifo")

    def test_many_readers_but_writers_alone(self):
        content = os.urandom(BIG)
        write_file(self.in_home("big.bin"), content)
        first = self.session("tina", "pw")
        running = first.ftp.transfercmd("RETR big.bin")
        first.log("Download file /big.bin (16.00 MB)")

        # A second client reads the same file at the same time.
        second = self.session("other", "pw")
        self.assertEqual(second.retrieve("big.bin"), content)
        self.assertEqual(second.reply("XCRC big.bin")[:4], "250 ")
        # Nobody may change it while it is being read.
        self.assertEqual(second.transfer_reply("STOR big.bin", b"overwrite"),
                         "551 Failed to upload file /big.bin")
        self.assertEqual(second.transfer_reply("APPE big.bin", b"more"),
                         "550 Append file failed /big.bin")

        received = bytearray()
        while chunk := running.recv(1 << 20):
            received += chunk
        running.close()
        self.assertEqual(first.ftp.voidresp(), DONE)
        self.assertEqual(bytes(received), content)
        self.assertEqual(read_file(self.in_home("big.bin")), content)
        second.logs(["Download file /big.bin (16.00 MB)", "Checksum file /big.bin (16.00 MB)",
                     "Failed to upload file /big.bin", "Append file failed /big.bin"])

    def test_a_file_being_written_is_not_read(self):
        writer = self.session("tina", "pw")
        upload = writer.ftp.transfercmd("STOR growing.bin")
        upload.sendall(b"first half ")
        writer.log("Upload file /growing.bin")

        reader = self.session("other", "pw")
        self.assertEqual(reader.transfer_reply("RETR growing.bin"),
                         "550 Download file failed /growing.bin")
        self.assertEqual(reader.reply("XMD5 growing.bin"),
                         "550 Checksum file failed /growing.bin")
        self.assertEqual(reader.transfer_reply("STOR growing.bin", b"x"),
                         "551 Failed to upload file /growing.bin")

        upload.sendall(b"second half")
        upload.close()
        self.assertEqual(writer.ftp.voidresp(), DONE)
        self.assertEqual(reader.retrieve("growing.bin"), b"first half second half")
        reader.logs(["Download file failed /growing.bin", "Checksum file failed /growing.bin",
                     "Failed to upload file /growing.bin",
                     "Download file /growing.bin (22 Byte(s))"])

    def test_locks_of_other_programs_are_honoured(self):
        write_file(self.in_home("shared.txt"), b"shared")
        s = self.session("tina", "pw")
        with open(self.in_home("shared.txt"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            self.assertEqual(s.transfer_reply("RETR shared.txt"),
                             "550 Download file failed /shared.txt")
            fcntl.flock(held, fcntl.LOCK_SH)
            self.assertEqual(s.retrieve("shared.txt"), b"shared")
            self.assertEqual(s.transfer_reply("STOR shared.txt", b"x"),
                             "551 Failed to upload file /shared.txt")
        self.assertEqual(s.store("shared.txt", b"mine now"), DONE)
        self.assertEqual(read_file(self.in_home("shared.txt")), b"mine now")

    def test_curl_uploads_and_downloads(self):
        data = os.urandom(300000)
        write_file(self.in_home("curl-src.bin"), data)
        base = "ftp://tina:pw@127.0.0.1:%d/" % self.daemon.port
        up = subprocess.run(["curl", "-sS", "--max-time", "30", "-T", "-", base + "curl-up.bin"],
                            input=data, capture_output=True, timeout=40)
        self.assertEqual(up.returncode, 0, up.stderr)
        self.assertEqual(read_file(self.in_home("curl-up.bin")), data)
        down = subprocess.run(["curl", "-sS", "--max-time", "30", base + "curl-src.bin"],
                              capture_output=True, timeout=40)
        self.assertEqual(down.returncode, 0, down.stderr)
        self.assertEqual(down.stdout, data)


class SpeedLimits(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        return {}, [member("slow", "pw", download_limit=10000, upload_limit=10000)]

    def timed(self, action):
        start = time.monotonic()
        result = action()
        return result, time.monotonic() - start

    def test_limited_download_keeps_within_a_tenth_of_its_limit(self):
        content = os.urandom(100000)
        write_file(self.in_home("limited.bin"), content)
        s = self.session("slow", "pw")
        got, seconds = self.timed(lambda: s.retrieve("limited.bin"))
        self.assertEqual(got, content)
        self.assertGreaterEqual(seconds, 9.0)
        self.assertLessEqual(seconds, 11.0)

    def test_limited_upload(self):
        content = os.urandom(30000)
        s = self.session("slow", "pw")
        reply, seconds = self.timed(lambda: s.store("limited-up.bin", content))
        self.assertEqual(reply, DONE)
        self.assertEqual(read_file(self.in_home("limited-up.bin")), content)
        self.assertGreaterEqual(seconds, 2.7)
        self.assertLessEqual(seconds, 3.3)


def web_totals(port):
    """(downloaded, uploaded) as the web site's statistics show them."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    conn.request("POST", "/", urllib.parse.urlencode({"username": "admin", "password": "pw"}),
                 {"Content-Type": "application/x-www-form-urlencoded"})
    page = conn.getresponse().read().decode("utf-8")
    conn.close()

    def row(label):
        match = re.search(label + r"</td><td bgcolor=#dddddd><font size=2 color=#0000ff>"
                                  r"([^<]*)</td>", page)
        if not match:
            raise AssertionError("no %s row in %s" % (label, page))
        return match.group(1)

    return row("Downloaded"), row("Uploaded")


# The transfer log's columns: time, seconds, host, bytes, name, type, "_", direction,
# access mode, user, "ftp 0 *", completion.
XFERLOG_LINE = re.compile(r"^(\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}) (\d+) (\S+) (\d+) (\S+) "
                          r"([ab]) _ ([oi]) ([ar]) (\S+) ftp 0 \* ([ci])$")


def read_xferlog(path):
    """(host, bytes, name, type, direction, mode, user, status) of every line, names and
    users decoded."""
    rows = []
    with open(path, "rb") as f:
        for line in f.read().decode("utf-8").split("\n")[:-1]:
            match = XFERLOG_LINE.match(line)
            if not match:
                raise AssertionError("not a transfer log line: %r" % line)
            when = datetime.datetime.strptime(" ".join(match.group(1).split()),
                                              "%a %b %d %H:%M:%S %Y")
            if abs((datetime.datetime.now() - when).total_seconds()) > 60:
                raise AssertionError("not local time now: %r" % line)
            host, size, name, kind, direction, mode, user, status = match.groups()[2:]
            rows.append((host, int(size), urllib.parse.unquote(name), kind, direction, mode,
                         urllib.parse.unquote(user), status))
    return rows


class Totals(SharedDaemonCase):
    @classmethod
    def configure(cls, root):
        cls.web_port = free_port()
        cls.xferlog = os.path.join(root, "transfers.log")
        return ({"webinterfaceenabled": "1", "webinterfaceport": str(cls.web_port),
                 "webinterfaceusers": "admin=pw;", "xferlog": "transfers.log",
                 "allowanonymous": "1", "anonymoushome": os.path.join(root, "home")},
                [member("tina", "pw")])

    def test_finished_transfers_add_their_bytes(self):
        self.daemon.wait_for("- Web interface started")
        self.assertEqual(web_totals(self.web_port), ("0 Byte(s)", "0 Byte(s)"))
        write_file(self.in_home("five.bin"), b"5" * 5000)
        s = self.session("tina", "pw")
        self.assertEqual(s.retrieve("five.bin"), b"5" * 5000)
        self.assertEqual(s.store("three.bin", b"3" * 3000), DONE)
        # Neither checksums, listings nor refused transfers count.
        s.reply("XCRC five.bin")
        s.listing()
        s.transfer_reply("RETR nothing.bin")
        self.assertEqual(web_totals(self.web_port), ("4.88 KB", "2.93 KB"))
        curl = subprocess.run(["curl", "-sS", "--max-time", "20",
                               "ftp://tina:pw@127.0.0.1:%d/five.bin" % self.daemon.port],
                              capture_output=True, timeout=30)
        self.assertEqual(curl.stdout, b"5" * 5000)
        self.assertEqual(web_totals(self.web_port), ("9.77 KB", "2.93 KB"))

    def test_transfer_log_has_a_line_for_each_ended_transfer(self):
        write_file(self.in_home("two words%.bin"), b"2" * 2000)
        write_file(self.in_home("big.bin"), b"b" * BIG)
        s = self.session("tina", "pw")
        self.assertEqual(s.retrieve("two words%.bin"), b"2" * 2000)
        s.ftp.storlines("STOR notes.txt", io.BytesIO(b"a\r\nb\r\n"))
        conn = s.ftp.transfercmd("RETR big.bin")
        conn.recv(1000)
        conn.close()  # broken off long before the end
        with self.assertRaises(ftplib.error_temp):
            s.ftp.voidresp()
        # Neither checksums, listings nor refused transfers are transfers.
        s.reply("XCRC big.bin")
        s.listing()
        s.transfer_reply("RETR nothing.bin")
        guest = self.session("anonymous", "guest mail@example.test")
        self.assertEqual(guest.retrieve("two words%.bin"), b"2" * 2000)
        rows = [row for row in read_xferlog(self.xferlog)
                if row[2] in ("/two words%.bin", "/notes.txt", "/big.bin")]
        broken = rows[2]
        self.assertLess(broken[1], BIG)
        self.assertEqual(rows, [
            ("127.0.0.1", 2000, "/two words%.bin", "b", "o", "r", "tina", "c"),
            ("127.0.0.1", 6, "/notes.txt", "a", "i", "r", "tina", "c"),
            ("127.0.0.1", broken[1], "/big.bin", "a", "o", "r", "tina", "i"),  # still TYPE A
            ("127.0.0.1", 2000, "/two words%.bin", "b", "o", "a", "guest mail@example.test",
             "c"),
        ])


if __name__ == "__main__":
    unittest.main()
