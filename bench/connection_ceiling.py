#!/usr/bin/env python3
"""How many idle connections vantreld holds at a given descriptor limit, and what they
cost, while one logged-in client keeps listing and downloading.

For each limit: starts the daemon with that limit (soft and hard), logs one client in and
keeps it busy (LIST, then RETR of a 1 MiB file, over and over), then opens idle control
connections from many loopback addresses, one per address, until the daemon refuses one.
Reports the connections held, the daemon's RSS and thread count at that point, and how
many of the busy client's listings and downloads failed meanwhile (none should).

    bench/connection_ceiling.py                     # limits 1024 and 65536
    bench/connection_ceiling.py --limits 4096 --vantreld build/debug/bin/vantreld

Raising the hard limit above the current one needs CAP_SYS_RESOURCE; limits above what
this process may take are skipped. Every address is on loopback.
"""

import argparse
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from ftp_client import FtpError, connect_and_login  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST = "127.0.0.1"
USER, PASSWORD = "busy", "pw"
FILE_SIZE = 1 << 20
IP_BIND_ADDRESS_NO_PORT = 24  # the port is chosen at connect, per address and peer


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def address(i):
    """The i-th idle host: 127.1.0.1, 127.1.0.2, ... (never 127.0.0.1, the busy client's)."""
    i += 1
    return "127.%d.%d.%d" % (1 + i // 65536, i // 256 % 256, i % 256)


def write_data_directory(directory, port):
    home = os.path.join(directory, "home")
    os.makedirs(home)
    with open(os.path.join(home, "file.bin"), "wb") as f:
        f.write(os.urandom(FILE_SIZE))
    with open(os.path.join(directory, "ftpsettings.lst"), "w") as f:
        f.write(f"[ftpsettings]\nserverport={port}\ndataport=0\npasvrangestart=0\n"
                "logtofile=0\n")
    flags = "".join(f"allow_{flag}=1\n" for flag in (
        "download", "upload", "rename", "changedirectory", "makedirectory", "deletefile",
        "deletedirectory"))
    with open(os.path.join(directory, "ftpmembers.lst"), "w") as f:
        f.write(f"[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser={USER}\npass={PASSWORD}\n"
                f"home={home}\n{flags}virtualdir=\nfilecontrol=\ndownload=0\nupload=0\n")


def status(pid):
    facts = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            facts[key] = value.split()
    return int(facts["VmRSS"][0]), int(facts["Threads"][0])


class BusyClient(threading.Thread):
    """Lists and downloads without pause until stopped; counts what went wrong."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.session = connect_and_login(HOST, port, USER, PASSWORD)
        self.stopping = threading.Event()
        self.rounds = 0
        self.failures = []

    def run(self):
        while not self.stopping.is_set():
            try:
                if self.session.list_lines() < 1:
                    raise FtpError("empty listing")
                if self.session.retrieve("file.bin") != FILE_SIZE:
                    raise FtpError("short download")
                self.rounds += 1
            except (OSError, FtpError) as failure:
                self.failures.append(repr(failure))
                time.sleep(0.1)

    def stop(self):
        self.stopping.set()
        self.join(60)
        self.session.close()


def fill(port, most):
    """Idle connections, each greeted, until one is refused; (held, refusal reply). The
    connect waits at most 10 s for a greeting."""
    held = []
    for i in range(most):
        s = socket.socket()
        s.setsockopt(socket.IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, 1)
        s.settimeout(10)
        s.bind((address(i), 0))
        try:
            s.connect((HOST, port))
            greeting = s.recv(4)
        except OSError as failure:  # a server without a ceiling runs out of descriptors
            s.close()
            return held, f"no greeting: {failure!r}"
        if greeting != b"220 ":
            reply = greeting + s.recv(200)
            s.close()
            return held, reply.decode("latin-1").strip()
        held.append(s)
    return held, "(none: the test's own limit came first)"


def measure(vantreld, limit):
    directory = tempfile.mkdtemp(prefix="vantrel-ceiling-")
    port = free_port()
    write_data_directory(directory, port)
    daemon = subprocess.Popen(
        [vantreld, "--data-dir", directory], stdout=subprocess.DEVNULL,
        preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit)))
    held = []
    try:
        deadline = time.monotonic() + 20
        while True:
            try:
                socket.create_connection((HOST, port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        busy = BusyClient(port)
        busy.start()
        rss_before, threads_before = status(daemon.pid)
        started = time.monotonic()
        held, refusal = fill(port, limit)
        filled = time.monotonic() - started
        time.sleep(2)  # the busy client works at the ceiling
        rss, threads = status(daemon.pid)
        busy.stop()
        return {"limit": limit, "held": len(held), "refusal": refusal,
                "fill_seconds": filled, "rss_before_mib": rss_before / 1024,
                "threads_before": threads_before, "rss_mib": rss / 1024, "threads": threads,
                "busy_rounds": busy.rounds, "busy_failures": busy.failures}
    finally:
        for s in held:
            s.close()
        daemon.send_signal(signal.SIGTERM)
        daemon.wait(60)
        shutil.rmtree(directory, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vantreld", default=os.path.join(REPO, "build/release/bin/vantreld"))
    parser.add_argument("--limits", default="1024,65536")
    args = parser.parse_args()
    limits = [int(n) for n in args.limits.split(",")]
    # This process holds one descriptor per idle connection too.
    wanted = max(limits) + 1024
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    try:
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), max(hard, wanted)))
    except (ValueError, OSError):
        # No privilege to raise the hard limit (a container without CAP_SYS_RESOURCE):
        # the limits above it cannot be given to the daemon either.
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        print(f"(hard descriptor limit here: {hard}; larger limits are skipped)")
    print("| descriptor limit | idle connections held | refusal | RSS before -> at ceiling "
          "| threads | busy client rounds / failures | fill time |")
    print("|---|---|---|---|---|---|---|")
    for limit in limits:
        if limit > resource.getrlimit(resource.RLIMIT_NOFILE)[1]:
            print(f"| {limit} | skipped: above this machine's hard limit | | | | | |")
            continue
        r = measure(args.vantreld, limit)
        print(f"| {r['limit']} | {r['held']} (+1 busy) | {r['refusal']} | "
              f"{r['rss_before_mib']:.1f} -> {r['rss_mib']:.1f} MiB | "
              f"{r['threads_before']} -> {r['threads']} | "
              f"{r['busy_rounds']} / {len(r['busy_failures'])} | {r['fill_seconds']:.1f} s |")
        for failure in r["busy_failures"][:3]:
            print(f"  busy client failure: {failure}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
