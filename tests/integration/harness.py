"""Starts the real vantreld on loopback with a data directory written by the test.

Each test gets a fresh directory and a free port; the daemon's standard output (the log)
is collected by a reader thread so tests can wait for a line without polling the pipe.
"""

import errno
import ftplib
import os
import queue
import random
import resource
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

VANTRELD = os.environ.get("VANTRELD", "build/debug/bin/vantreld")
START_TIMEOUT = 20.0


def _ephemeral_start():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return 32768


def _bindable(port):
    for family, address in ((socket.AF_INET, "0.0.0.0"), (socket.AF_INET6, "::")):
        try:
            with socket.socket(family, socket.SOCK_STREAM) as s:
                if family == socket.AF_INET6:
                    s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
                s.bind((address, port))
        except OSError as failure:
            if family == socket.AF_INET6 and not socket.has_ipv6:
                continue
            if failure.errno == errno.EADDRINUSE:
                return False
    return True


def free_port():
    """A port free now and below the system's ephemeral range: a port the system handed out
    could be given to some other process's outgoing connection before the daemon binds it,
    which under load happens."""
    top = _ephemeral_start()
    for _ in range(1000):
        port = random.randrange(21000, top)
        if _bindable(port):
            return port
    raise RuntimeError("no free port below %d" % top)


def free_ports(count):
    """The first of `count` consecutive ports free now, as free_port chooses them."""
    top = _ephemeral_start() - count
    for _ in range(1000):
        first = random.randrange(21000, top)
        if all(_bindable(port) for port in range(first, first + count)):
            return first
    raise RuntimeError("no %d free ports in a row below %d" % (count, top))


def write_list_file(path, sections):
    """sections: {name: {key: value}} in order; values are written as given."""
    with open(path, "w", encoding="utf-8") as f:
        for name, keys in sections.items():
            f.write(f"[{name}]\n")
            for key, value in keys.items():
                f.write(f"{key}={value}\n")


def read_list_file(path):
    sections, current = {}, None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key] = value
    return sections


HOME = object()  # stands for the daemon's own home directory in member()


def member(user, password, home=HOME, **flags):
    record = {"user": user, "pass": password, "home": home}
    for flag in ("download", "upload", "rename", "changedirectory", "makedirectory",
                 "deletefile", "deletedirectory"):
        record["allow_" + flag] = "1" if flags.get(flag, True) else "0"
    record["virtualdir"] = flags.get("virtualdir", "")
    record["filecontrol"] = flags.get("filecontrol", "")
    record["download"] = str(flags.get("download_limit", 0))
    record["upload"] = str(flags.get("upload_limit", 0))
    return record


class Daemon:
    """`args` are added to the daemon's command line; `open_files` sets its descriptor
    limit (soft and hard) instead of inheriting the test's."""

    def __init__(self, settings=None, members=(), directory=None, args=(), open_files=None):
        self.args = list(args)
        self.open_files = open_files
        self.dir = directory or tempfile.mkdtemp(prefix="vantrel-it-")
        self.port = free_port()
        self.home = os.path.join(self.dir, "home")
        os.makedirs(self.home, exist_ok=True)
        # No passive range by default: daemons of tests running side by side would
        # compete for the same few ports.
        self.write_settings(settings)
        if members:
            self.write_members(members)
        self.lines = []
        self._queue = queue.Queue()
        self.process = None

    def path(self, name):
        return os.path.join(self.dir, name)

    def write_settings(self, settings=None):
        values = {"serverport": str(self.port), "dataport": "0", "pasvrangestart": "0"}
        values.update(settings or {})
        write_list_file(self.path("ftpsettings.lst"), {"ftpsettings": values})

    def write_members(self, members):
        sections = {"ftpmembers": {"ftpmembers": str(len(members))}}
        for i, record in enumerate(members):
            home = self.home if record["home"] is HOME else record["home"]
            sections[f"ftpmember{i}"] = dict(record, home=home)
        write_list_file(self.path("ftpmembers.lst"), sections)

    def reload(self, expect="- Configuration reloaded"):
        """Sends SIGHUP; the lines logged from then until one containing `expect`."""
        seen = len(self.lines)
        self.process.send_signal(signal.SIGHUP)
        deadline = time.monotonic() + 10.0
        while not any(expect in line for line in self.lines[seen:]):
            left = deadline - time.monotonic()
            if left <= 0 or not self._drain(left):
                raise AssertionError(f"no log line with {expect!r}; got: {self.lines[seen:]}")
        self.settle(0.2)
        return self.lines[seen:]

    def start(self, expect="- Server started"):
        limit = self.open_files

        def limit_descriptors():
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))

        self.process = subprocess.Popen(
            [VANTRELD, "--data-dir", self.dir, *self.args], stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True, bufsize=1,
            preexec_fn=limit_descriptors if limit else None)
        threading.Thread(target=self._read, daemon=True).start()
        if expect:
            self.wait_for(expect, START_TIMEOUT)
        return self

    def _read(self):
        for raw in self.process.stdout:
            self._queue.put(raw.rstrip("\n"))
        self._queue.put(None)

    def _drain(self, timeout):
        try:
            line = self._queue.get(timeout=timeout)
        except queue.Empty:
            return False
        if line is None:
            self._queue.put(None)
            return False
        # "YYYY-MM-DD HH:MM:SS> text": keep the text only.
        self.lines.append(line.split("> ", 1)[1] if "> " in line[:21] else line)
        return True

    def wait_for(self, fragment, timeout=10.0):
        """The first collected line containing `fragment`, waiting for it if need be."""
        deadline = time.monotonic() + timeout
        seen = 0
        while True:
            for line in self.lines[seen:]:
                if fragment in line:
                    return line
            seen = len(self.lines)
            left = deadline - time.monotonic()
            if left <= 0 or (not self._drain(left) and self.process.poll() is not None):
                raise AssertionError(f"no log line with {fragment!r}; got: {self.lines}")

    def settle(self, seconds=0.7):
        """Collects the lines of the next log tick(s)."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self._drain(max(0.0, deadline - time.monotonic()))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            code = self.process.wait(timeout=30)
            while self._drain(0.5):
                pass
            return code
        return self.process.returncode if self.process else None

    def ftp(self, user=None, password=None):
        client = ftplib.FTP()
        client.connect("127.0.0.1", self.port, timeout=10)
        if user is not None:
            try:
                client.login(user, password)
            except BaseException:
                client.close()
                raise
        return client

    def cleanup(self):
        self.stop()
        if self.process and self.process.stdout:
            self.process.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class DaemonTestCase(unittest.TestCase):
    """Gives each test `self.start(...)`, stopping and removing the daemon afterwards."""

    def start(self, settings=None, members=(), expect="- Server started"):
        daemon = Daemon(settings, members)
        self.addCleanup(daemon.cleanup)
        return daemon.start(expect)
