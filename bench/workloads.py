"""The workloads of the benchmark, each run the same way against every server.

A workload measures one run and returns the figure and the server's processor time for
exactly the timed part (logins and set-up before the clock starts are not counted, except
where logging in is the thing measured). Every run checks what it got (byte counts, line
counts, file sizes on disk): a server that fails or cuts a listing short must not be
reported as fast.
"""

import os
import socket
import subprocess
import threading
import time
from dataclasses import dataclass

from ftp_client import Session, connect_and_login, open_crowd
from proc_tree import CpuMeter, cpu_seconds, memory_kib, tree
from servers import HOST

GIB = 1 << 30
MB = 1e6


@dataclass
class Sizes:
    big: int = GIB
    small_count: int = 2000
    small_size: int = 4096
    logins: int = 500
    login_threads: int = 8
    idle_sessions: int = 500
    idle_seconds: float = 20.0
    list_files: int = 10000
    list_runs: int = 5
    stalled_lists: int = 40
    stalled_entries: int = 200000
    parallel_clients: int = 8
    parallel_size: int = 256 << 20
    crowd_sessions: int = 10000


FULL = Sizes()
QUICK = Sizes(big=64 << 20, small_count=200, logins=50, idle_sessions=50, idle_seconds=3.0,
              list_files=1000, stalled_lists=10, stalled_entries=20000,
              parallel_size=16 << 20, crowd_sessions=1000)


@dataclass
class Result:
    value: float  # the figure in the workload's unit
    cpu: float  # the server's processor time, already in the workload's CPU unit
    note: str = ""
    reference: float = 0.0  # a figure the target compares with (the listing's floor)


def make_files(home, sizes, uid, gid):
    """The shared fixtures, written once into the one home every server serves."""
    block = os.urandom(1 << 20)

    def write(path, size):
        if os.path.exists(path) and os.path.getsize(path) == size:
            return
        with open(path, "wb") as f:
            left = size
            while left > 0:
                f.write(block[:min(left, len(block))])
                left -= min(left, len(block))

    write(os.path.join(home, "big.bin"), sizes.big)
    write(os.path.join(home, "parallel.bin"), sizes.parallel_size)
    trees = (("small", sizes.small_count, sizes.small_size, "f{:05d}.bin"),
             ("list", sizes.list_files, 0, "entry-{:05d}.txt"))
    for directory, count, size, name in trees:
        path = os.path.join(home, directory)
        os.makedirs(path, exist_ok=True)
        for i in range(count):
            write(os.path.join(path, name.format(i)), size)
    for root, dirs, files in os.walk(home):
        for entry in dirs + files:
            os.chown(os.path.join(root, entry), uid, gid)


def _login(server, tls=False):
    return connect_and_login(HOST, server.port, server.user, server.password,
                             tls=server.tls_client if tls else None)


def _check(condition, server, text):
    if not condition:
        raise RuntimeError(f"{server.name}: {text}")


def _timed(server, action):
    """(what `action()` returned, seconds it took, server processor seconds meanwhile)."""
    meter = CpuMeter(server.pid)
    meter.start()
    start = time.perf_counter()
    value = action()
    elapsed = time.perf_counter() - start
    return value, elapsed, meter.stop()


class Workload:
    key = ""
    title = ""
    unit = ""
    cpu_unit = ""
    higher_is_better = True
    tls = False  # FTPS: the servers must have their TLS switched on

    def __init__(self, sizes, home):
        self.sizes = sizes
        self.home = home

    def runs(self):
        return 3

    def supports(self, server):
        return not self.tls or server.offers_tls()

    def login(self, server):
        return _login(server, self.tls)

    def warm_up(self, server):
        self.run(server)

    def run(self, server):
        raise NotImplementedError


class Download(Workload):
    key = "download"
    unit = "MB/s"
    cpu_unit = "CPU s/GiB"

    @property
    def title(self):
        return f"1. download {self.sizes.big >> 20} MiB"

    def run(self, server):
        session = self.login(server)
        got, elapsed, cpu = _timed(server, lambda: session.retrieve("big.bin"))
        session.quit()
        _check(got == self.sizes.big, server, f"download gave {got} bytes")
        return Result(got / MB / elapsed, cpu / (got / GIB))


class Upload(Workload):
    key = "upload"
    unit = "MB/s"
    cpu_unit = "CPU s/GiB"

    @property
    def title(self):
        return f"2. upload {self.sizes.big >> 20} MiB"

    def run(self, server):
        name = f"upload-{server.name}.bin"
        target = os.path.join(self.home, name)
        # Dirty pages of the previous upload must not be flushed on this one's time.
        os.sync()
        session = self.login(server)
        source = os.path.join(self.home, "big.bin")
        sent, elapsed, cpu = _timed(server, lambda: session.store(name, source))
        session.quit()
        stored = os.path.getsize(target)
        os.remove(target)
        _check(sent == stored == self.sizes.big, server, f"upload stored {stored} bytes")
        return Result(sent / MB / elapsed, cpu / (sent / GIB))


class SmallFiles(Workload):
    key = "small"
    unit = "files/s"
    cpu_unit = "CPU us/file"

    @property
    def title(self):
        return (f"3. {self.sizes.small_count} x {self.sizes.small_size >> 10} KiB files, "
                "one session")

    def run(self, server):
        session = self.login(server)
        session.command("CWD small", 250)

        def fetch_all():
            for i in range(self.sizes.small_count):
                got = session.retrieve(f"f{i:05d}.bin")
                _check(got == self.sizes.small_size, server, f"small file gave {got} bytes")

        _, elapsed, cpu = _timed(server, fetch_all)
        session.quit()
        count = self.sizes.small_count
        return Result(count / elapsed, cpu / count * 1e6)


def _login_cycles(server, count):
    for _ in range(count):
        session = Session(HOST, server.port)
        try:
            session.login(server.user, server.password)
            session.command("QUIT", 221)
        finally:
            session.close()


class Logins(Workload):
    unit = "logins/s"
    cpu_unit = "CPU us/login"

    def __init__(self, sizes, home, threads):
        super().__init__(sizes, home)
        self.threads = threads
        self.key = "login-seq" if threads == 1 else "login-par"

    @property
    def title(self):
        how = "sequential" if self.threads == 1 else f"{self.threads} threads"
        return f"4. {self.sizes.logins} login cycles, {how}"

    def warm_up(self, server):
        # A tenth is enough to load the libraries and fill the caches; the peers' logins
        # are slow enough that a full warm-up would double the workload's time.
        self._cycles(server, max(self.threads, self.sizes.logins // 10))

    def run(self, server):
        return self._cycles(server, self.sizes.logins)

    def _cycles(self, server, total):
        shares = [total // self.threads + (i < total % self.threads) for i in range(self.threads)]
        failures = []

        def worker(count):
            try:
                _login_cycles(server, count)
            except Exception as failure:  # reported below, on the main thread
                failures.append(failure)

        threads = [threading.Thread(target=worker, args=(n,)) for n in shares]
        meter = CpuMeter(server.pid)
        meter.start()
        start = time.perf_counter()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        elapsed = time.perf_counter() - start
        _wait_for_sessions_to_end(server)
        cpu = meter.stop()
        _check(not failures, server, f"login failed: {failures[:1]}")
        return Result(total / elapsed, cpu / total * 1e6)


def _wait_for_sessions_to_end(server, timeout=10.0):
    """Until the tree has no session processes left (threaded servers: at once), so their
    processor time has been folded into the listener's."""
    deadline = time.monotonic() + timeout
    while len(tree(server.pid)) > server.idle_processes and time.monotonic() < deadline:
        time.sleep(0.05)


class Idle(Workload):
    key = "idle"
    unit = "KiB RSS/session"
    cpu_unit = "CPU % idle"
    higher_is_better = False

    @property
    def title(self):
        return (f"5. {self.sizes.idle_sessions} idle sessions, {self.sizes.idle_seconds:g} s")

    def warm_up(self, server):
        self._hold(server, 1.0, max(1, self.sizes.idle_sessions // 10))

    def run(self, server):
        # A threaded server keeps the stacks and heap of sessions that have ended for the
        # next ones, so after the warm-up (or any earlier workload) new sessions would
        # look free. A fresh process shows what holding them really costs.
        server.restart()
        return self._hold(server, self.sizes.idle_seconds, self.sizes.idle_sessions)

    def _hold(self, server, seconds, count):
        _wait_for_sessions_to_end(server)
        time.sleep(0.5)
        rss_before, pss_before = memory_kib(server.pid)
        sessions = []
        try:
            _open_sessions(server, count, sessions)
            time.sleep(1.0)  # let the last sessions finish their log-in work
            rss_after, pss_after = memory_kib(server.pid)
            meter = CpuMeter(server.pid)
            meter.start()
            time.sleep(seconds)
            cpu = meter.stop()
            for session in sessions:
                session.command("NOOP", 200)  # all still there, none timed out
        finally:
            for session in sessions:
                session.close()
        per_rss = (rss_after - rss_before) / count
        per_pss = (pss_after - pss_before) / count
        note = (f"PSS {per_pss:.0f} KiB/session; total RSS with sessions "
                f"{rss_after / 1024:.1f} MiB")
        return Result(per_rss, cpu / seconds * 100, note)


def _open_sessions(server, count, sessions, threads=8):
    """`count` logged-in sessions, opened from several threads (the forking peers take
    tens of milliseconds a login on a busy machine)."""
    failures = []
    lock = threading.Lock()

    def worker(share):
        try:
            for _ in range(share):
                session = Session(HOST, server.port)
                with lock:
                    sessions.append(session)
                session.login(server.user, server.password)
        except Exception as failure:  # reported below, on the main thread
            failures.append(failure)

    shares = [count // threads + (i < count % threads) for i in range(threads)]
    workers = [threading.Thread(target=worker, args=(n,)) for n in shares]
    for thread in workers:
        thread.start()
    for thread in workers:
        thread.join()
    _check(not failures, server, f"idle session failed: {failures[:1]}")


class Crowd(Workload):
    """Ten thousand idle logged-in sessions at once, opened as fast as the server takes
    them, while one more client lists a directory and downloads a file: what holding them
    costs (memory, threads or processes) and whether the busy client notices. A server
    whose own limits stop short of the count is measured at its limit (the note says)."""

    key = "crowd"
    unit = "KiB RSS/session"
    cpu_unit = "s to open"
    higher_is_better = False

    @property
    def title(self):
        return f"12. {self.sizes.crowd_sessions} idle sessions beside a busy client"

    def runs(self):
        return 1  # minutes a run for the forking peers, and the figure varies little

    def warm_up(self, server):
        pass  # each run starts a fresh server

    def run(self, server):
        # One place stays for the busy client.
        count = min(self.sizes.crowd_sessions, server.max_sessions - 1)
        server.restart()
        _wait_for_sessions_to_end(server)
        time.sleep(0.5)
        rss_before, _ = memory_kib(server.pid)
        start = time.perf_counter()
        sessions = open_crowd(HOST, server.port, count, server.user, server.password)
        try:
            opened = time.perf_counter() - start
            time.sleep(1.0)  # let the last sessions finish their log-in work
            rss, _ = memory_kib(server.pid)
            processes = tree(server.pid)
            threads = sum(_thread_count(pid) for pid in processes)
            list_seconds, get_seconds = self._busy(server)
            for session in sessions[::max(1, count // 20)]:
                session.sendall(b"NOOP\r\n")
                _check(session.recv(4) == b"200 ", server, "a crowd session stopped answering")
        finally:
            for session in sessions:
                session.close()
        limited = f" (its limit; {self.sizes.crowd_sessions} asked)" if count < \
            self.sizes.crowd_sessions else ""
        note = (f"{count} sessions{limited} opened in {opened:.1f} s; total RSS "
                f"{rss / 1024:.0f} MiB; {len(processes)} processes, {threads} threads; busy "
                f"client meanwhile: LIST of {self.sizes.small_count} entries {list_seconds:.3f} "
                f"s, RETR of {self.sizes.small_size >> 10} KiB {get_seconds:.3f} s (medians)")
        return Result((rss - rss_before) / count, opened, note)

    def _busy(self, server, rounds=5):
        """Median seconds of a LIST and of a RETR by a client logged in beside the crowd."""
        session = self.login(server)
        try:
            session.command("CWD small", 250)
            lists, gets = [], []
            for _ in range(rounds):
                _, seconds, _ = _timed(server, session.list_lines)
                lists.append(seconds)
                size, seconds, _ = _timed(server, lambda: session.retrieve("f00000.bin"))
                _check(size == self.sizes.small_size, server, "short download beside the crowd")
                gets.append(seconds)
        finally:
            session.close()
        return sorted(lists)[rounds // 2], sorted(gets)[rounds // 2]


def _thread_count(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("Threads:"))
    except (OSError, StopIteration):
        return 0  # gone meanwhile


FLOOR_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "list_floor.cpp")


def build_floor(directory):
    """The floor loop (list_floor.cpp), compiled as a release build would be."""
    binary = os.path.join(directory, "list_floor")
    if not os.path.exists(binary) or os.path.getmtime(binary) < os.path.getmtime(FLOOR_SOURCE):
        os.makedirs(directory, exist_ok=True)
        subprocess.run(["g++", "-O2", "-std=c++20", "-o", binary, FLOOR_SOURCE], check=True)
    return binary


class Listing(Workload):
    """LIST of a large directory, beside its floor: the median of a few listings of the
    same directory by a plain loop that reads the names and each entry's facts and
    formats the lines (bench/list_floor.cpp), measured right before each run."""
    key = "list"
    unit = "s"
    cpu_unit = "CPU ms/LIST"
    higher_is_better = False

    def __init__(self, sizes, home, floor_binary):
        super().__init__(sizes, home)
        self.floor_binary = floor_binary

    @property
    def title(self):
        return f"6. LIST of {self.sizes.list_files} files"

    def runs(self):
        return self.sizes.list_runs

    def floor(self):
        out = subprocess.run([self.floor_binary, os.path.join(self.home, "list"), "5"],
                             check=True, capture_output=True, text=True).stdout
        return float(out.split()[0]) / 1000

    def run(self, server):
        floor = self.floor()
        session = _login(server)
        session.command("CWD list", 250)
        lines, elapsed, cpu = _timed(server, session.list_lines)
        session.quit()
        _check(lines >= self.sizes.list_files, server, f"LIST gave {lines} lines")
        return Result(elapsed, cpu * 1000, f"floor {floor * 1000:.1f} ms, LIST at "
                      f"{elapsed / floor:.2f}x floor", reference=floor)


class StalledListings(Workload):
    """Clients that start a LIST of a huge directory and never read it: how much memory
    the server holds for them. A fresh server process, as for the idle sessions."""
    key = "stalled"
    unit = "MiB RSS"
    cpu_unit = "CPU s"
    higher_is_better = False

    @property
    def title(self):
        return (f"8. {self.sizes.stalled_lists} stalled LISTs of "
                f"{self.sizes.stalled_entries} entries")

    def runs(self):
        return 1

    def warm_up(self, server):
        path = os.path.join(self.home, "stalled")
        if os.path.isdir(path):
            return
        os.makedirs(path + ".new")
        for i in range(self.sizes.stalled_entries):
            with open(os.path.join(path + ".new", f"stalled-entry-{i:07d}.dat"), "wb"):
                pass
        facts = os.stat(self.home)
        os.chown(path + ".new", facts.st_uid, facts.st_gid)
        os.rename(path + ".new", path)

    def run(self, server):
        server.restart()
        _wait_for_sessions_to_end(server)
        time.sleep(0.5)
        rss_before, _ = memory_kib(server.pid)
        stalled = []
        meter = CpuMeter(server.pid)
        meter.start()
        try:
            # All the listings asked for before any answer is awaited: a server that reads
            # the whole directory before its first reply works on them side by side.
            for _ in range(self.sizes.stalled_lists):
                stalled.append(_stall_listing(server))
            rss_after = _settled_rss(server)
            cpu = meter.stop()
            for session, _ in stalled:
                session.expect(125, 150)  # every one of them really started
        finally:
            for session, data in stalled:
                data.close()
                session.close()
        grown = (rss_after - rss_before) / 1024
        return Result(grown, cpu, f"RSS {rss_before / 1024:.1f} MiB before, "
                      f"{rss_after / 1024:.1f} MiB with the stalled listings")


def _stall_listing(server):
    """A session that sent LIST of the huge directory and will read none of it."""
    session = _login(server)
    session.command("CWD stalled", 250)
    _, line = session.command("PASV", 227)
    numbers = [int(n) for n in line.split(b"(")[1].split(b")")[0].split(b",")]
    data = socket.socket()
    data.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    data.connect((HOST, numbers[4] * 256 + numbers[5]))
    session.sock.sendall(b"LIST\r\n")
    return session, data


def _settled_rss(server, timeout=600.0):
    """The tree's RSS once the server has sat still for two seconds: no more memory and
    next to no processor time (a server still reading the directory is not stalled)."""
    deadline = time.monotonic() + timeout
    last, _ = memory_kib(server.pid)
    last_cpu = cpu_seconds(server.pid)
    steady_since = time.monotonic()
    while time.monotonic() < deadline and time.monotonic() - steady_since < 2.0:
        time.sleep(0.25)
        now, _ = memory_kib(server.pid)
        now_cpu = cpu_seconds(server.pid)
        if abs(now - last) > 256 or now_cpu - last_cpu > 0.05:
            steady_since = time.monotonic()
        last, last_cpu = now, now_cpu
    return last


class Parallel(Workload):
    key = "parallel"
    unit = "MB/s"
    cpu_unit = "CPU s/GiB"

    @property
    def title(self):
        return (f"7. {self.sizes.parallel_clients} clients x "
                f"{self.sizes.parallel_size >> 20} MiB at once")

    def run(self, server):
        count = self.sizes.parallel_clients
        sessions = [_login(server) for _ in range(count)]
        got = [0] * count
        failures = []
        barrier = threading.Barrier(count + 1)

        def worker(i):
            try:
                barrier.wait()
                got[i] = sessions[i].retrieve("parallel.bin")
            except Exception as failure:  # reported below, on the main thread
                failures.append(failure)

        threads = [threading.Thread(target=worker, args=(i,)) for i in range(count)]
        for thread in threads:
            thread.start()

        def release_and_join():
            barrier.wait()
            for thread in threads:
                thread.join()

        _, elapsed, cpu = _timed(server, release_and_join)
        for session in sessions:
            session.quit()
        _check(not failures, server, f"parallel download failed: {failures[:1]}")
        _check(all(n == self.sizes.parallel_size for n in got), server, f"got {got}")
        total = sum(got)
        return Result(total / MB / elapsed, cpu / (total / GIB))


class _Ftps:
    """The FTPS form of a workload: the same run over TLS, noting how many data
    connections resumed the control connection's session (a server that offers no
    resumption pays a full handshake for each)."""
    tls = True

    def run(self, server):
        self._sessions = []
        result = super().run(server)
        made = sum(s.data_connections for s in self._sessions)
        resumed = sum(s.resumed_data_connections for s in self._sessions)
        result.note = f"{resumed} of {made} data connections resumed the TLS session"
        return result

    def login(self, server):
        session = super().login(server)
        self._sessions.append(session)
        return session


class FtpsDownload(_Ftps, Download):
    key = "ftps-download"

    @property
    def title(self):
        return f"9. FTPS download {self.sizes.big >> 20} MiB"


class FtpsUpload(_Ftps, Upload):
    key = "ftps-upload"

    @property
    def title(self):
        return f"10. FTPS upload {self.sizes.big >> 20} MiB"


class FtpsSmallFiles(_Ftps, SmallFiles):
    key = "ftps-small"

    @property
    def title(self):
        return (f"11. FTPS {self.sizes.small_count} x {self.sizes.small_size >> 10} KiB "
                "files, one session")


def all_workloads(sizes, home, floor_binary):
    """In the order run: the plain ones, then the FTPS ones (for which the servers are
    restarted with their TLS switched on)."""
    return [Download(sizes, home), Upload(sizes, home), SmallFiles(sizes, home),
            Logins(sizes, home, 1), Logins(sizes, home, sizes.login_threads),
            Idle(sizes, home), Listing(sizes, home, floor_binary), Parallel(sizes, home),
            StalledListings(sizes, home), Crowd(sizes, home), FtpsDownload(sizes, home),
            FtpsUpload(sizes, home), FtpsSmallFiles(sizes, home)]
