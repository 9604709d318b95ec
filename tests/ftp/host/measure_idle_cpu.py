"""Measures what idle sessions cost: starts the test host, logs in N clients, leaves them
idle, and reports the host's processor time over the measuring period.

Usage: measure_idle_cpu.py <path of ftp_test_host> [sessions=1000] [seconds=20]
Needs a descriptor limit above twice the session count (ulimit -n).
"""

import os
import socket
import subprocess
import sys
import tempfile
import time


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line, in clock ticks.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_count(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("Threads:"):
                return int(line.split()[1])
    return 0


def read_reply(sock):
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = sock.recv(4096)
        if not chunk:
            raise RuntimeError("closed: %r" % data)
        data += chunk
    return data.decode()


def main():
    host_binary = sys.argv[1]
    sessions = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
    with tempfile.TemporaryDirectory() as root:
        host = subprocess.Popen([host_binary, root], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE)
        port = int(host.stdout.readline().split()[1])
        clients = []
        for _ in range(sessions):
            s = socket.create_connection(("127.0.0.1", port), timeout=30)
            read_reply(s)
            s.sendall(b"USER user\r\n")
            read_reply(s)
            s.sendall(b"PASS secret\r\n")
            assert read_reply(s).startswith("230")
            clients.append(s)
        time.sleep(1.0)  # let the logins settle
        threads = thread_count(host.pid)
        before = cpu_seconds(host.pid)
        time.sleep(seconds)
        after = cpu_seconds(host.pid)
        used = after - before
        print("%d idle logged-in sessions, %d host threads: %.3f s of CPU in %.0f s (%.3f%%)"
              % (sessions, threads, used, seconds, 100.0 * used / seconds))
        for s in clients:
            s.close()
        host.stdin.close()
        host.wait(timeout=60)


if __name__ == "__main__":
    main()
