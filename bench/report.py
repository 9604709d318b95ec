"""The one table of a run: the median figure and the server's processor time for each
server, vantreld's ratio to the best peer, and whether the target is met."""

from dataclasses import dataclass

from ftp_client import TLS_CIPHER, TLS_VERSION

OURS = "vantreld"


@dataclass
class Figure:
    value: float
    cpu: float
    note: str = ""
    reference: float = 0.0


@dataclass
class Target:
    text: str
    met: object  # (ratio, cpu ratio, our figure) -> bool


def _at_least(ratio):
    return Target(f">= {ratio}x", lambda r, c, f: r >= ratio)


def _transfer():
    return Target(">= 1.0x, CPU <= best peer's",
                  lambda r, c, f: r >= 1.0 and c <= 1.0)


TARGETS = {
    "download": _transfer(),
    "upload": _transfer(),
    "parallel": _transfer(),
    "small": _at_least(1.25),
    "login-seq": _at_least(1.5),
    "login-par": _at_least(1.5),
    "idle": Target("< 100 KiB/session, < 0.5% CPU",
                   lambda r, c, f: f.value < 100 and f.cpu < 0.5),
    "list": Target("<= 1.25x floor", lambda r, c, f: f.value <= 1.25 * f.reference),
    "stalled": Target("< 100 MiB", lambda r, c, f: f.value < 100),
    "crowd": Target("< 100 KiB/session", lambda r, c, f: f.value < 100),
    "ftps-download": _transfer(),
    "ftps-upload": _transfer(),
    "ftps-small": _transfer(),
}


def _number(x):
    if abs(x) >= 100:
        return f"{x:.0f}"
    if abs(x) >= 10:
        return f"{x:.1f}"
    return f"{x:.3g}"


def header(date, machine, quick, load_before, load_after, minutes):
    lines = [f"Run of {date} on {machine}.",
             f"Load average before {load_before}, after {load_after}; "
             f"{minutes:.1f} minutes in all. The machine is shared, so only ratios count."]
    if quick:
        lines.append("QUICK SIZES: for trying changes only, not figures to report.")
    return "\n".join(lines) + "\n"


def table(names, workloads, figures, curl):
    """`workloads`: {key: the Workload measured}; `figures`: {key: {server: Figure}}."""
    peers = [n for n in names if not n.startswith(OURS)]
    head = ["workload (figure; CPU)", *names, "ratio to best peer", "target", "met"]
    rows = [head, ["---"] * len(head)]
    notes = []
    for key, workload in workloads.items():
        by_server = figures[key]
        unit = f"{workload.unit}; {workload.cpu_unit}"
        row = [f"{workload.title} ({unit})"]
        for name in names:
            figure = by_server.get(name)
            if figure is None:
                row.append("not offered")  # no TLS yet
                continue
            row.append(f"{_number(figure.value)} ; {_number(figure.cpu)}")
            if figure.note:
                notes.append(f"{workload.title}, {name}: {figure.note}")
        measured_peers = [p for p in peers if p in by_server]
        if OURS in by_server and measured_peers:
            ours = by_server[OURS]
            pick = max if workload.higher_is_better else min
            best = pick(by_server[p].value for p in measured_peers)
            least_cpu = min(by_server[p].cpu for p in measured_peers)
            ratio = ours.value / best if best else float("inf")
            # Below the clock-tick resolution of /proc a peer's time reads as zero.
            cpu_ratio = ours.cpu / least_cpu if least_cpu else float("inf")
            cpu_text = f"{cpu_ratio:.3g}x" if least_cpu else "n/a"
            target = TARGETS[key]
            row += [f"{ratio:.3g}x (CPU {cpu_text})", target.text,
                    "yes" if target.met(ratio, cpu_ratio, ours) else "NO"]
        else:
            row += ["-", TARGETS[key].text, "-"]
        rows.append(row)
    text = "\n".join("| " + " | ".join(row) + " |" for row in rows) + "\n"
    text += ("\nCPU is the server's processor time over its whole process tree for the timed "
             "part; the CPU ratio compares with the peer that used the least. Figures are "
             "medians of three runs after a warm-up (LIST: of five). MB = 10^6 bytes.\n")
    if any(k.startswith("login") for k in workloads):
        text += ("The peers check a system account's password with crypt(3) on every login "
                 "(the bench sets it as SHA-512 crypt, 5000 rounds, about 1 ms; Debian 12's "
                 "default yescrypt would cost them over 100 ms a login); vantreld compares "
                 "against its own account list.\n")
    if any(workloads[k].tls for k in workloads):
        text += (f"FTPS: explicit AUTH TLS, PROT P, {TLS_VERSION} with {TLS_CIPHER} for "
                 "every server (one EC P-256 certificate); each data connection offers to "
                 "resume the control connection's TLS session (the notes say how many "
                 "did).\n")
    if notes:
        text += "\n" + "\n".join(f"- {n}" for n in notes) + "\n"
    if curl:
        cells = ", ".join(f"{n} {_number(v) if v is not None else 'failed'}"
                          for n, v in curl.items())
        text += f"\nCross-check, curl downloading the big file, median of three (MB/s): {cells}\n"
    return text
