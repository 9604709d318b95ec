#!/usr/bin/env python3
"""Side-by-side benchmark of vantreld against vsftpd, pure-ftpd and proftpd.

Starts all four servers on loopback over one shared home, runs every workload against
each (a warm-up, then the runs taken in turns across the servers, so that a burst of
noise from other work on the machine falls on all of them rather than on one), prints
one table with the medians, vantreld's ratio to the best peer and the targets, and stops
every server it started. Needs root: the peers switch to the system account it creates.

    bench/run_bench.py                    # the full sizes (the reported figures)
    bench/run_bench.py --quick            # small sizes, for iterating on a change
    bench/run_bench.py --only small,list --servers vantreld,vsftpd
    bench/run_bench.py --only upload --variant new=build/x/bin/vantreld   # A/B a change
    bench/run_bench.py --only ftps-download,ftps-upload,ftps-small        # FTPS alone
    bench/run_bench.py --serve 600        # just the servers, to profile one by hand
    bench/run_bench.py --serve 600 --only ftps-download   # the same, with TLS switched on
"""

import argparse
import datetime
import os
import platform
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import ftp_client  # noqa: E402
import peers  # noqa: E402
import report  # noqa: E402
from servers import HOST, Proftpd, PureFtpd, Vantreld, Vsftpd  # noqa: E402
from workloads import FULL, QUICK, all_workloads, build_floor, make_files  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ACCOUNT = "vantrelbench"
# Ports below the system's ephemeral range, so no client connection ever takes them.
CONTROL_BASE = 19000
PASSIVE_BASE = 20000


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="small sizes (not for reporting)")
    parser.add_argument("--only", default="", help="comma-separated workload keys: "
                        "download,upload,small,login-seq,login-par,idle,list,parallel,stalled,crowd,"
                        "ftps-download,ftps-upload,ftps-small")
    parser.add_argument("--servers", default="vantreld,vsftpd,pure-ftpd,proftpd")
    parser.add_argument("--vantreld", default=os.path.join(REPO, "build/release/bin/vantreld"))
    parser.add_argument("--variant", action="append", default=[], metavar="LABEL=PATH",
                        help="also measure another vantreld build, as column vantreld:LABEL "
                        "(to compare a change with the same noise); repeatable")
    parser.add_argument("--workdir", default="/tmp",
                        help="where the shared home (several GiB at full size) is made")
    parser.add_argument("--output", default=os.path.join(REPO, "build/bench/results.md"))
    parser.add_argument("--keep", action="store_true",
                        help="keep the servers' directories (for a failed run)")
    parser.add_argument("--serve", type=float, default=0, metavar="SECONDS",
                        help="only start the servers over the files and keep them up this "
                        "long (to profile one by hand), then stop them")
    parser.add_argument("--no-curl", action="store_true", help="skip the curl cross-check")
    return parser.parse_args()


def machine():
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    return (f"{os.cpu_count()} cores ({cpu}), {mem_kib / 1024 / 1024:.1f} GiB memory, "
            f"Linux {platform.release()}, Python {platform.python_version()}")


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def make_servers(names, variants, binaries, vantreld, workdir, account, home):
    classes = {"vantreld": Vantreld, "vsftpd": Vsftpd, "pure-ftpd": PureFtpd,
               "proftpd": Proftpd}
    made = [(classes[name], vantreld if name == "vantreld" else binaries[name], {})
            for name in names]
    for variant in variants:
        label, _, path = variant.partition("=")
        if not label or not path:
            sys.exit(f"bench: --variant wants LABEL=PATH, not {variant!r}")
        made.append((Vantreld, os.path.abspath(path), {"label": label}))
    servers = []
    for i, (cls, binary, extra) in enumerate(made):
        servers.append(cls(binary, workdir, account, home, CONTROL_BASE + i * 100,
                           PASSIVE_BASE + i * 1500, **extra))
    return servers


def measure(workload, servers):
    """{server name: [Result per run]} with a warm-up first and the runs in turns. A
    server the workload cannot run against (no TLS) is left out."""
    skipped = [s for s in servers if not workload.supports(s)]
    for server in skipped:
        print(f"  {workload.key}: {server.name} does not offer AUTH TLS, left out", flush=True)
    servers = [s for s in servers if s not in skipped]
    results = {s.name: [] for s in servers}
    for server in servers:
        print(f"  {workload.key}: warm-up {server.name}", flush=True)
        workload.warm_up(server)
    for run in range(workload.runs()):
        for server in servers:
            try:
                result = workload.run(server)
            finally:
                server.check_alive()
            results[server.name].append(result)
            print(f"  {workload.key}: run {run + 1} {server.name}: {result.value:.2f} "
                  f"{workload.unit}, {result.cpu:.3g} {workload.cpu_unit}", flush=True)
    return results


def median_result(runs):
    values = [r.value for r in runs]
    middle = sorted(runs, key=lambda r: r.value)[len(runs) // 2]
    return report.Figure(statistics.median(values), statistics.median(r.cpu for r in runs),
                         middle.note, statistics.median(r.reference for r in runs))


def curl_check(servers, size, runs=3):
    """The median of `runs` curl downloads of the big file from each server: a client that
    is not ours. None for a server where any of them failed or fell short."""
    figures = {}
    for server in servers:
        url = f"ftp://{server.user}:{server.password}@{HOST}:{server.port}/big.bin"
        speeds = []
        for _ in range(runs):
            out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w",
                                  "%{speed_download} %{size_download}", url],
                                 capture_output=True, text=True)
            try:
                speed, got = out.stdout.split()
            except ValueError:
                break
            if int(got) != size:
                break
            speeds.append(float(speed) / 1e6)
        figures[server.name] = statistics.median(speeds) if len(speeds) == runs else None
    return figures


# Python cannot choose TLS 1.3 cipher suites, and OpenSSL reads its configuration file once,
# when the ssl module is imported; so the bench runs itself again with this one in force.
CLIENT_OPENSSL_CONF = """openssl_conf = bench_conf
[bench_conf]
ssl_conf = bench_ssl
[bench_ssl]
system_default = bench_tls
[bench_tls]
Ciphersuites = {cipher}
"""


def pin_client_cipher():
    path = os.path.join(REPO, "build/bench/client-openssl.cnf")
    if os.environ.get("OPENSSL_CONF") == path:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(CLIENT_OPENSSL_CONF.format(cipher=ftp_client.TLS_CIPHER))
    os.execve(sys.executable, [sys.executable, *sys.argv], dict(os.environ, OPENSSL_CONF=path))


def make_certificate(directory):
    """One EC P-256 certificate for 127.0.0.1 that every server presents."""
    cert, key = os.path.join(directory, "bench.crt"), os.path.join(directory, "bench.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    f"/CN={HOST}", "-addext", f"subjectAltName=IP:{HOST}", "-keyout", key,
                    "-out", cert], check=True, capture_output=True)
    os.chmod(cert, 0o644)
    return cert, key


def switch_tls_on(servers, workdir):
    cert, key = make_certificate(workdir)
    for server in servers:
        server.enable_tls(cert, key)
        server.restart()
        print(f"bench: {server.name} restarted with TLS (pid {server.pid})", flush=True)


def serve(servers, seconds):
    for server in servers:
        print(f"bench: ftp://{server.user}:{server.password}@{HOST}:{server.port}/ "
              f"{server.name} pid {server.pid}", flush=True)
    print(f"bench: serving for {seconds:g} s", flush=True)
    try:
        time.sleep(seconds)
    except KeyboardInterrupt:
        pass


def stop_on_signals():
    """SIGTERM and SIGINT (even where a shell started us with it ignored) unwind main,
    whose clean-up stops the servers and removes the account and the files."""
    def interrupt(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGINT, interrupt)


def figures_names(figures, names):
    """The columns: the servers asked for, then any variants, in the order measured."""
    measured = next(iter(figures.values()), {})
    return names + [n for n in measured if n not in names]


def main():
    args = parse_args()
    pin_client_cipher()
    stop_on_signals()
    if os.geteuid() != 0:
        sys.exit("bench: run as root (it creates a login account and runs the peers, "
                 "which switch to it)")
    sizes = QUICK if args.quick else FULL
    names = [n for n in args.servers.split(",") if n]
    keys = [k for k in args.only.split(",") if k]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    # The crowd's sessions take a descriptor each in this process and in a threaded
    # server, which inherits the limit.
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    binaries = peers.prepare(os.path.join(REPO, "build/bench"), names)
    floor_binary = build_floor(os.path.join(REPO, "build/bench"))
    vantreld = os.path.abspath(args.vantreld)
    workdir = tempfile.mkdtemp(prefix="vantrel-bench-", dir=args.workdir)
    os.chmod(workdir, 0o755)
    home = os.path.join(workdir, "home")
    os.makedirs(home)
    account = peers.SystemAccount(ACCOUNT, home)
    servers = []
    started = time.monotonic()
    load_before = load()
    try:
        account.create()
        print(f"bench: writing the files into {home}", flush=True)
        make_files(home, sizes, account.uid(), account.gid())
        servers = make_servers(names, args.variant, binaries, vantreld, workdir, account,
                               home)
        for server in servers:
            server.start()
            print(f"bench: {server.name} on port {server.port} (pid {server.pid})", flush=True)
        if args.serve:
            if any(k.startswith("ftps-") for k in keys):
                switch_tls_on(servers, workdir)
            serve(servers, args.serve)
            return
        figures = {}
        measured = {}
        for workload in all_workloads(sizes, home, floor_binary):
            if keys and workload.key not in keys:
                continue
            if workload.tls and not servers[0].tls:
                switch_tls_on(servers, workdir)
            print(f"bench: {workload.title} (at {(time.monotonic() - started) / 60:.1f} min)",
                  flush=True)
            runs = measure(workload, servers)
            figures[workload.key] = {name: median_result(r) for name, r in runs.items()}
            measured[workload.key] = workload
        curl = {} if args.no_curl or (keys and "download" not in keys) else \
            curl_check(servers, sizes.big)
    finally:
        for server in servers:
            server.stop()
        account.remove()
        if args.keep:
            shutil.rmtree(home, ignore_errors=True)
            print(f"bench: kept {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)

    header = report.header(
        date=datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), machine=machine(),
        quick=args.quick, load_before=load_before, load_after=load(),
        minutes=(time.monotonic() - started) / 60)
    table = report.table(figures_names(figures, names), measured, figures, curl)
    text = header + "\n" + table
    print("\n" + text)
    os.makedirs(os.path.dirname(args.output), exist_ok=True)
    with open(args.output, "w") as f:
        f.write(text)
    print(f"bench: table written to {args.output}")


if __name__ == "__main__":
    main()
