"""Processor time and memory of a server's whole process tree, read from /proc.

A forking server spreads its work over one process per session (two for some), and the
sessions of a login test are gone before anyone could sample them. The kernel adds the
time of every child a process has waited for to that process's cutime/cstime, so the sum
of utime+stime+cutime+cstime over the live tree counts the finished sessions too, as long
as each was reaped by a process that is still alive (the listener, in practice).
"""

import os

TICKS = os.sysconf("SC_CLK_TCK")
PAGE_KIB = os.sysconf("SC_PAGE_SIZE") // 1024


def _stat_fields(pid):
    with open(f"/proc/{pid}/stat", "rb") as f:
        text = f.read()
    # The command name may hold spaces and parentheses: the fields start after the last ")".
    return text[text.rindex(b")") + 2:].split()


def _parents():
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            parents[int(entry)] = int(_stat_fields(entry)[1])
        except (OSError, ValueError, IndexError):
            pass  # gone between the listing and the read
    return parents


def tree(root):
    """The pids of `root` and all its descendants that exist now."""
    children = {}
    for pid, parent in _parents().items():
        children.setdefault(parent, []).append(pid)
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, ()))
    return found


def cpu_seconds(root):
    """Processor seconds the tree has used so far, finished children included."""
    ticks = 0
    for pid in tree(root):
        try:
            fields = _stat_fields(pid)
        except OSError:
            continue
        # utime, stime, cutime, cstime are fields 14-17 of stat; index 0 here is field 3.
        ticks += sum(int(fields[i]) for i in range(11, 15))
    return ticks / TICKS


def memory_kib(root):
    """(RSS, PSS) summed over the tree, in KiB. RSS counts shared pages once per process
    (what the figure of the issue asks for); PSS splits them between the sharers."""
    rss = pss = 0
    for pid in tree(root):
        try:
            with open(f"/proc/{pid}/statm") as f:
                rss += int(f.read().split()[1]) * PAGE_KIB
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        pss += int(line.split()[1])
                        break
        except OSError:
            continue
    return rss, pss


class CpuMeter:
    """Processor time of a tree between start() and stop()."""

    def __init__(self, root):
        self.root = root
        self.start_seconds = 0.0

    def start(self):
        self.start_seconds = cpu_seconds(self.root)

    def stop(self):
        return cpu_seconds(self.root) - self.start_seconds
