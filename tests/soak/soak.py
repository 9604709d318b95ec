#!/usr/bin/env python3
"""Soak test: many concurrent FTP clients for minutes against one daemon (build it with
AddressSanitizer: `make soak` does), with the web site polled all the while.

Each client has an account and a home of its own and loops over a mix of logins, listings,
downloads of shared files, uploads, read-backs, renames, deletes and directory changes. Nothing
in the mix is meant to fail, so every error reply counts as an error. At the end every file a
client believes it stored is compared with the disk byte for byte, the daemon is stopped
with SIGTERM and must exit with status 0 and no sanitizer report. Prints the operations
completed, the errors and the daemon's resident memory after the warm-up and at the end;
exits non-zero on any error.

Usage: soak.py --daemon build/debug/bin/vantreld [--clients 200] [--minutes 10]
"""

import argparse
import collections
import ftplib
import hashlib
import http.client
import io
import os
import random
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from harness import free_port  # noqa: E402

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "AddressSanitizer:DEADLYSIGNAL", "WARNING: ThreadSanitizer")
TIMEOUT = 120
SHARED_FILES = {"small.txt": 700, "medium.bin": 200 * 1024, "large.bin": 3 * 1024 * 1024}


def write_list_file(path, sections):
    with open(path, "w", encoding="utf-8") as f:
        for name, keys in sections.items():
            f.write("[%s]\n" % name)
            for key, value in keys.items():
                f.write("%s=%s\n" % (key, value))


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class Tally:
    """Operation counts and errors, shared by every client thread."""

    def __init__(self):
        self.lock = threading.Lock()
        self.operations = collections.Counter()
        self.errors = []

    def done(self, kind):
        with self.lock:
            self.operations[kind] += 1

    def failed(self, who, what):
        with self.lock:
            self.errors.append("%s: %s" % (who, what))


class Client(threading.Thread):
    def __init__(self, number, port, home, shared, tally, deadline):
        super().__init__(name="client%d" % number, daemon=True)
        self.number, self.port, self.home = number, port, home
        self.shared, self.tally, self.deadline = shared, tally, deadline
        self.rng = random.Random(number)
        self.files = {}  # name -> sha256 of what this client stored there
        self.serial = 0
        self.ftp = None
        self.doing = ""
        self.started = time.monotonic()

    def run(self):
        while time.monotonic() < self.deadline:
            began = time.monotonic()
            self.doing = "login"
            try:
                if self.ftp is None:
                    self.login()
                self.step()
            except (ftplib.Error, OSError, EOFError) as failure:
                self.tally.failed(self.name, "%s after %.1fs, %.0fs into the run: %s: %s" % (
                    self.doing, time.monotonic() - began, began - self.started,
                    type(failure).__name__, failure))
                self.drop()
        if self.ftp is not None:
            try:
                self.ftp.quit()
            except (ftplib.Error, OSError, EOFError) as failure:
                self.tally.failed(self.name, "QUIT: %s" % failure)
            self.ftp = None

    def drop(self):
        if self.ftp is not None:
            try:
                self.ftp.close()
            except OSError:
                pass
        self.ftp = None

    def login(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=TIMEOUT)
        ftp.login("user%d" % self.number, "pw%d" % self.number)
        self.ftp = ftp
        self.tally.done("login")

    def step(self):
        choice = self.rng.random()
        if choice < 0.05:
            self.doing = "logout"
            self.ftp.quit()
            self.ftp = None
            self.tally.done("logout")
            return
        if choice < 0.20:
            action = self.listing
        elif choice < 0.40:
            action = self.download_shared
        elif choice < 0.60 or not self.files:
            action = self.upload
        elif choice < 0.72:
            action = self.read_back
        elif choice < 0.82:
            action = self.rename
        elif choice < 0.90:
            action = self.delete
        else:
            action = self.directories
        self.doing = action.__name__
        action()

    def listing(self):
        lines = []
        path = self.rng.choice(["", "/pub", "/"])
        command = self.rng.choice(["LIST", "NLST", "MLSD"])
        self.ftp.retrlines(("%s %s" % (command, path)).strip(), lines.append)
        if path == "/pub" and not any("large.bin" in line for line in lines):
            self.tally.failed(self.name, "%s /pub without large.bin: %r" % (command, lines))
        self.tally.done("listing")

    def download_shared(self):
        name = self.rng.choice(sorted(self.shared))
        digest = hashlib.sha256()
        self.ftp.retrbinary("RETR /pub/" + name, digest.update)
        if digest.hexdigest() != self.shared[name]:
            self.tally.failed(self.name, "download of %s differs" % name)
        self.tally.done("download")

    def upload(self):
        self.serial += 1
        name = "f%d.bin" % self.serial
        size = self.rng.choice([0, 1, 1000, 65536, 100000, 400000])
        data = self.rng.randbytes(size)
        self.ftp.storbinary("STOR " + name, io.BytesIO(data))
        self.files[name] = hashlib.sha256(data).hexdigest()
        self.tally.done("upload")

    def read_back(self):
        name = self.rng.choice(sorted(self.files))
        digest = hashlib.sha256()
        self.ftp.retrbinary("RETR " + name, digest.update)
        if digest.hexdigest() != self.files[name]:
            self.tally.failed(self.name, "read-back of %s differs from the upload" % name)
        self.tally.done("read-back")

    def rename(self):
        name = self.rng.choice(sorted(self.files))
        self.serial += 1
        target = "r%d.bin" % self.serial
        self.ftp.sendcmd("RNFR " + name)
        self.ftp.sendcmd("RNTO " + target)
        self.files[target] = self.files.pop(name)
        self.tally.done("rename")

    def delete(self):
        name = self.rng.choice(sorted(self.files))
        self.ftp.delete(name)
        del self.files[name]
        self.tally.done("delete")

    def directories(self):
        self.serial += 1
        name = "d%d" % self.serial
        self.ftp.mkd(name)
        self.ftp.cwd(name)
        self.ftp.storbinary("STOR inner.txt", io.BytesIO(b"inner"))
        self.ftp.delete("inner.txt")
        self.ftp.cwd("..")
        self.ftp.rmd(name)
        if self.ftp.size("/pub/small.txt") != SHARED_FILES["small.txt"]:
            self.tally.failed(self.name, "SIZE of small.txt is wrong")
        self.tally.done("directories")

    def verify_disk(self):
        """Every file this client stored, compared with what lies on the disk."""
        for name, expected in self.files.items():
            with open(os.path.join(self.home, name), "rb") as f:
                if hashlib.sha256(f.read()).hexdigest() != expected:
                    self.tally.failed(self.name, "%s on disk differs from the upload" % name)
        self.tally.done("verified")


class WebPoller(threading.Thread):
    def __init__(self, port, tally, deadline):
        super().__init__(name="web", daemon=True)
        self.port, self.tally, self.deadline = port, tally, deadline

    def run(self):
        body = urllib.parse.urlencode({"username": "admin", "password": "pw"})
        while time.monotonic() < self.deadline:
            try:
                conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=TIMEOUT)
                conn.request("POST", "/", body,
                             {"Content-Type": "application/x-www-form-urlencoded"})
                response = conn.getresponse()
                page = response.read().decode("utf-8")
                conn.close()
                if response.status != 200 or "Server Statistics:" not in page:
                    self.tally.failed("web", "status %d without statistics" % response.status)
                self.tally.done("web page")
            except (OSError, http.client.HTTPException) as failure:
                self.tally.failed("web", str(failure))
            time.sleep(0.5)


def prepare(directory, clients, port, web_port):
    shared = {}
    pub = os.path.join(directory, "pub")
    os.makedirs(pub)
    rng = random.Random(1)
    for name, size in SHARED_FILES.items():
        data = rng.randbytes(size)
        with open(os.path.join(pub, name), "wb") as f:
            f.write(data)
        shared[name] = hashlib.sha256(data).hexdigest()
    write_list_file(os.path.join(directory, "ftpsettings.lst"), {"ftpsettings": {
        "serverport": port, "dataport": 0, "pasvrangestart": 0, "webinterfaceenabled": 1,
        "webinterfaceport": web_port, "webinterfaceusers": "admin=pw;",
        # Every soak client comes from 127.0.0.1; the limit per address is not under test.
        "maxclientsperaddress": 0}})
    members = {"ftpmembers": {"ftpmembers": clients}}
    for i in range(clients):
        home = os.path.join(directory, "home", "c%d" % i)
        os.makedirs(home)
        record = {"user": "user%d" % i, "pass": "pw%d" % i, "home": home,
                  "virtualdir": "pub=%s;" % pub, "filecontrol": "", "download": 0, "upload": 0}
        for flag in ("download", "upload", "rename", "changedirectory", "makedirectory",
                     "deletefile", "deletedirectory"):
            record["allow_" + flag] = 1
        members["ftpmember%d" % i] = record
    write_list_file(os.path.join(directory, "ftpmembers.lst"), members)
    return shared


def wait_for_line(log_path, fragment, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            if fragment in f.read():
                return True
        time.sleep(0.1)
    return False


def sanitizer_reports(log_path):
    reports = []
    with open(log_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if any(mark in line for mark in SANITIZER_MARKS):
                reports.append(line.rstrip())
    return reports


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--daemon", required=True)
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--warm-up", type=float, default=60, help="seconds before the first RSS")
    parser.add_argument("--keep", action="store_true", help="keep the data directory")
    parser.add_argument("--asan-quarantine-mb", type=int, default=16)
    args = parser.parse_args()

    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = 8 * args.clients + 512
    if hard != resource.RLIM_INFINITY and hard < wanted:
        sys.exit("needs %d open files; the hard limit is %d" % (wanted, hard))
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), hard))

    directory = tempfile.mkdtemp(prefix="vantrel-soak-")
    port, web_port = free_port(), free_port()
    shared = prepare(directory, args.clients, port, web_port)
    log_path = os.path.join(directory, "daemon.log")
    log = open(log_path, "w")
    # AddressSanitizer holds freed memory in a quarantine (256 MiB by default) to catch late
    # uses; while it fills, the daemon's resident size grows whatever the daemon does. A
    # small quarantine keeps that check and lets the figures show the daemon's own memory.
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [
        env.get("ASAN_OPTIONS", ""), "quarantine_size_mb=%d" % args.asan_quarantine_mb]))
    daemon = subprocess.Popen([args.daemon, "--data-dir", directory], stdout=log,
                              stderr=subprocess.STDOUT, env=env)
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.1)
    if not wait_for_line(log_path, "- Web interface started", 20):
        daemon.kill()
        sys.exit("the web interface did not start; see %s" % log_path)
    print("daemon %d on port %d, web %d, data in %s" % (daemon.pid, port, web_port, directory),
          flush=True)

    tally = Tally()
    started = time.monotonic()
    deadline = started + args.minutes * 60
    clients = [Client(i, port, os.path.join(directory, "home", "c%d" % i), shared, tally,
                      deadline) for i in range(args.clients)]
    poller = WebPoller(web_port, tally, deadline)
    poller.start()
    for client in clients:
        client.start()
        time.sleep(0.02)  # a ramp keeps the listen queue from overflowing at the start

    rss_warm, rss_peak, samples = None, 0, []
    while time.monotonic() < deadline:
        time.sleep(5)
        rss = resident_kb(daemon.pid)
        rss_peak = max(rss_peak, rss)
        samples.append((round(time.monotonic() - started), rss))
        if rss_warm is None and time.monotonic() - started >= args.warm_up:
            rss_warm = rss
        if daemon.poll() is not None:
            tally.failed("daemon", "exited with %s during the run" % daemon.returncode)
            break
    for client in clients:
        client.join(TIMEOUT)
    poller.join(TIMEOUT)
    rss_end = resident_kb(daemon.pid) if daemon.poll() is None else 0
    for client in clients:
        client.verify_disk()

    daemon.send_signal(signal.SIGTERM)
    try:
        code = daemon.wait(120)
    except subprocess.TimeoutExpired:
        daemon.kill()
        code = "killed after SIGTERM hung"
    log.close()
    reports = sanitizer_reports(log_path)
    elapsed = time.monotonic() - started

    total = sum(n for kind, n in tally.operations.items() if kind != "verified")
    print("clients %d, %.1f minutes" % (args.clients, elapsed / 60))
    print("operations %d (%s)" % (total, ", ".join(
        "%s %d" % item for item in sorted(tally.operations.items()))))
    print("errors %d" % len(tally.errors))
    for error in tally.errors[:20]:
        print("  " + error)
    print("daemon RSS: after %ds warm-up %d KiB, at the end %d KiB, peak %d KiB" % (
        args.warm_up, rss_warm or 0, rss_end, rss_peak))
    print("RSS samples (s, KiB): " + " ".join("%d:%d" % s for s in samples[::6]))
    print("daemon exit status %s, sanitizer reports %d" % (code, len(reports)))
    for line in reports[:20]:
        print("  " + line)
    failed = tally.errors or reports or code != 0
    if not args.keep and not failed:
        shutil.rmtree(directory, ignore_errors=True)
    else:
        print("data directory kept: " + directory)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
