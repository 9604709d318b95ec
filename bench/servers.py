"""The four servers under test, each with a throwaway configuration in its own directory:
loopback only, its own control port and passive range, one account whose home is the
shared home, and nothing that would make one of them slower for reasons other than its
own work (no reverse DNS, no transfer logs, no artificial login delay).

TLS is off until the FTPS workloads, which restart every server with it switched on: the
same certificate for all, explicit AUTH TLS, encrypted data connections allowed (the client
asks for them), the client certificate not asked for, and the servers' own rules on session
reuse left as they come. The cipher is the client's to pin (ftp_client.py).
"""

import os
import signal
import socket
import subprocess
import time

from ftp_client import Session, tls_client_context
from proc_tree import tree

HOST = "127.0.0.1"
# Per server. pure-ftpd admits at most half as many clients as it has passive ports, and
# the idle workload holds 500 (the crowd's ten thousand would need more ports than lie
# below the ephemeral range for all four servers).
PASSIVE_PORTS = 1200


def free_port(first):
    """A free port at or above `first`. Not one the system picks: those come from the
    ephemeral range, where a client connection of the run may hold it just when a
    restarted server wants it back."""
    for port in range(first, first + 100):
        with socket.socket() as s:
            try:
                s.bind(("0.0.0.0", port))
                return port
            except OSError:
                continue
    raise RuntimeError(f"no free port in {first}..{first + 99}")


class Server:
    name = "?"
    # The most sessions its configuration below lets it hold at once: the crowd workload's
    # ten thousand and its busy client.
    max_sessions = 10001
    # Where the server's standard output goes: a file for start-up errors, except for
    # vantreld, whose log is its standard output, a line per command.
    output_to_file = True
    errors_on_stdin = False

    def __init__(self, binary, workdir, account, home, control_port, passive_start):
        self.binary = binary
        self.dir = os.path.join(workdir, self.name)
        os.makedirs(self.dir, exist_ok=True)
        self.account = account
        self.home = home
        self.port = free_port(control_port)
        self.passive = (passive_start, passive_start + PASSIVE_PORTS - 1)
        self.process = None
        self._log = None
        self.idle_processes = 1
        self.tls = None  # (certificate, key) files once TLS is switched on
        self.tls_client = None  # the client's context for this server
        self._offers_tls = None

    @property
    def user(self):
        return self.account.name

    @property
    def password(self):
        return self.account.password

    @property
    def pid(self):
        return self.process.pid

    def command(self):
        raise NotImplementedError

    def enable_tls(self, cert, key):
        """Switches TLS on from the next start."""
        self.tls = (cert, key)
        self.tls_client = tls_client_context(cert)
        self._offers_tls = None

    def offers_tls(self):
        """Whether the running server takes AUTH TLS (asked once per start)."""
        if self._offers_tls is None:
            session = Session(HOST, self.port, timeout=10)
            try:
                self._offers_tls = self.tls is not None and session.offers_tls()
            finally:
                session.close()
        return self._offers_tls

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self):
        self._log = open(os.path.join(self.dir, "output.log") if self.output_to_file
                         else os.devnull, "wb")
        stdin = self._log if self.errors_on_stdin else subprocess.DEVNULL
        # The client's pinned OpenSSL configuration is not the servers'.
        env = {k: v for k, v in os.environ.items() if k != "OPENSSL_CONF"}
        self.process = subprocess.Popen(self.command(), stdin=stdin,
                                        stdout=self._log, stderr=subprocess.STDOUT,
                                        cwd=self.dir, env=env)
        self._offers_tls = None
        self._wait_ready()
        self.idle_processes = self._settled_process_count()

    def _wait_ready(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        while True:
            if self.process.poll() is not None:
                raise RuntimeError(f"{self.name} exited at start:\n{self.output()}")
            try:
                with socket.create_connection((HOST, self.port), timeout=2) as s:
                    if s.recv(4).startswith(b"220"):
                        return
            except OSError:
                pass
            if time.monotonic() > deadline:
                raise RuntimeError(f"{self.name} does not answer on port {self.port}")
            time.sleep(0.1)

    def _settled_process_count(self, timeout=5.0):
        """Processes of the idle server, once the readiness probe's session has gone."""
        deadline = time.monotonic() + timeout
        count = len(tree(self.pid))
        while time.monotonic() < deadline:
            time.sleep(0.2)
            now = len(tree(self.pid))
            if now == count:
                return count
            count = now
        return count

    def output(self):
        try:
            with open(os.path.join(self.dir, "output.log"), errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def check_alive(self):
        if self.process is not None and self.process.poll() is not None:
            raise RuntimeError(f"{self.name} exited with {self.process.returncode}:\n"
                               f"{self.output()}")

    def restart(self):
        """A fresh process on the same port, for figures that a long run would blur."""
        self.stop()
        self.start()

    def stop(self):
        """Stops the server and every process it started, each by its own PID."""
        if self.process is None:
            return
        pids = tree(self.pid) if self.process.poll() is None else []
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for pid in pids[1:]:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.process = None
        self._log.close()


class Vantreld(Server):
    name = "vantreld"
    output_to_file = bool(os.environ.get("BENCH_VANTRELD_LOG"))  # for a failed start

    def __init__(self, *args, label=""):
        if label:
            self.name = f"vantreld:{label}"
        super().__init__(*args)

    def command(self):
        start, end = self.passive
        self.write("ftpsettings.lst", "\n".join([
            "[ftpsettings]",
            f"serverport={self.port}",
            "dataport=0",
            f"pasvrangestart={start}",
            # The range runs from start to start + size, both included.
            f"pasvrangesize={end - start}",
            "maxclientcount=0",
            # Every bench client comes from one address, as for the peers (max_per_ip=0).
            "maxclientsperaddress=0",
            "logtofile=0",
            *self.tls_settings(),
            ""]))
        self.write("ftpmembers.lst", "\n".join([
            "[ftpmembers]", "ftpmembers=1", "[ftpmember0]",
            f"user={self.user}", f"pass={self.password}", f"home={self.home}",
            *(f"allow_{flag}=1" for flag in ("download", "upload", "rename",
                                               "changedirectory", "makedirectory",
                                               "deletefile", "deletedirectory")),
            "virtualdir=", "filecontrol=", "download=0", "upload=0", ""]))
        os.chmod(os.path.join(self.dir, "ftpmembers.lst"), 0o600)
        return [self.binary, "--data-dir", self.dir]

    def tls_settings(self):
        """The settings that switch explicit FTPS on, with the bench's certificate."""
        if not self.tls:
            return []
        cert, key = self.tls
        return ["tlsmode=1", f"tlscertfile={cert}", f"tlskeyfile={key}", "tlssessionreuse=1"]


class Vsftpd(Server):
    name = "vsftpd"
    errors_on_stdin = True  # where it writes "500 OOPS" at start-up

    def command(self):
        empty = os.path.join(self.dir, "empty")
        os.makedirs(empty, exist_ok=True)
        start, end = self.passive
        conf = self.write("vsftpd.conf", "\n".join([
            "listen=YES", "listen_ipv6=NO", f"listen_address={HOST}",
            f"listen_port={self.port}", "background=NO",
            "anonymous_enable=NO", "local_enable=YES", "write_enable=YES",
            "local_umask=022", "pasv_enable=YES", f"pasv_min_port={start}",
            f"pasv_max_port={end}", "connect_from_port_20=NO",
            # A PAM service with no file of its own: PAM's "other", the common-* stack.
            f"secure_chroot_dir={empty}", "pam_service_name=vsftpd-bench",
            "seccomp_sandbox=NO",
            "max_clients=0", "max_per_ip=0", "xferlog_enable=NO", "syslog_enable=NO",
            f"vsftpd_log_file={os.path.join(self.dir, 'vsftpd.log')}",
            "idle_session_timeout=600", "data_connection_timeout=120",
            *self.tls_settings(), ""]))
        os.chmod(conf, 0o600)
        return [self.binary, conf]

    def tls_settings(self):
        if not self.tls:
            return []
        cert, key = self.tls
        # Its default list for TLS 1.2 and below (DES-CBC3-SHA) is below OpenSSL 3's
        # security level; TLS 1.3 suites are not set by it at all.
        return ["ssl_enable=YES", f"rsa_cert_file={cert}", f"rsa_private_key_file={key}",
                "ssl_ciphers=HIGH", "ssl_request_cert=NO", "force_local_logins_ssl=NO",
                "force_local_data_ssl=NO"]


class PureFtpd(Server):
    name = "pure-ftpd"
    max_sessions = PASSIVE_PORTS // 2  # see PASSIVE_PORTS

    def command(self):
        start, end = self.passive
        return [self.binary, "-S", f"{HOST},{self.port}", "-4", "-p", f"{start}:{end}",
                "-l", "unix", "-E", "-H", "-c", "2000", "-C", "2000", "-I", "10",
                "-L", "100000:8", "-g", os.path.join(self.dir, "pure-ftpd.pid"),
                *self.tls_options()]

    def tls_options(self):
        if not self.tls:
            return []
        cert, key = self.tls
        return ["-Y", "1", "-2", f"{cert},{key}"]  # TLS allowed, not required


class Proftpd(Server):
    name = "proftpd"

    def command(self):
        start, end = self.passive
        conf = self.write("proftpd.conf", "\n".join([
            'ServerName "bench"', "ServerType standalone", "DefaultServer on",
            f"Port {self.port}", f"DefaultAddress {HOST}", "SocketBindTight on",
            "UseIPv6 off", "User nobody", "Group nogroup", "Umask 022",
            f"PidFile {os.path.join(self.dir, 'proftpd.pid')}",
            f"ScoreboardFile {os.path.join(self.dir, 'proftpd.scoreboard')}",
            f"SystemLog {os.path.join(self.dir, 'proftpd.log')}",
            "TransferLog none", "WtmpLog off", "UseReverseDNS off", "DelayEngine off",
            "ControlsEngine off", "AuthPAM off", "AuthOrder mod_auth_unix.c",
            "RequireValidShell off", "MaxInstances 10001", f"PassivePorts {start} {end}",
            "TimeoutIdle 600", "AllowOverwrite on", *self.tls_settings(), ""]))
        return [self.binary, "-n", "-q", "-c", conf]

    def tls_settings(self):
        if not self.tls:
            return []
        cert, key = self.tls
        # mod_tls comes in its own package, unpacked into the same tree (peers.py).
        modules = os.path.join(os.path.dirname(os.path.dirname(self.binary)), "lib/proftpd")
        return [f"ModulePath {modules}", "<IfModule mod_dso.c>", "LoadModule mod_tls.c",
                "</IfModule>", "TLSEngine on", "TLSProtocol TLSv1.2 TLSv1.3",
                f"TLSECCertificateFile {cert}", f"TLSECCertificateKeyFile {key}",
                "TLSRequired off", "TLSVerifyClient off", "TLSRenegotiate none",
                f"TLSLog {os.path.join(self.dir, 'tls.log')}"]
