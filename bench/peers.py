"""The three peer servers, taken from Debian, and the system account they log in with.

vsftpd, pure-ftpd and proftpd all provide and conflict with "ftp-server", so apt will
install only one of them at a time; and each package's maintainer scripts would start a
system service on port 21. So the bench installs the libraries they need with apt,
downloads the three packages with `apt-get download`, and unpacks them with `dpkg-deb -x`
into build/bench/peers/. No maintainer script runs, nothing is registered as a service,
and every peer process the bench ever runs is one it started itself from that tree.

The peers authenticate system accounts (hashing the password with crypt(3) on every
login), so the bench creates one throwaway account for the run and removes it at the end.
"""

import glob
import os
import re
import secrets
import subprocess

# proftpd's TLS module comes in a package of its own.
PACKAGES = {"vsftpd": ["vsftpd"], "pure-ftpd": ["pure-ftpd"],
            "proftpd": ["proftpd-core", "proftpd-mod-crypto"]}
BINARIES = {
    "vsftpd": "usr/sbin/vsftpd",
    "pure-ftpd": "usr/sbin/pure-ftpd",
    "proftpd": "usr/sbin/proftpd",
}


def _run(*args, **kwargs):
    return subprocess.run(args, check=True, text=True, capture_output=True, **kwargs)


def _installed(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], text=True,
                            capture_output=True)
    return result.stdout.strip() == "install ok installed"


def _library_dependencies(deb):
    """The shared-library packages a .deb depends on (names only)."""
    depends = _run("dpkg-deb", "-f", deb, "Depends").stdout
    names = []
    for clause in depends.split(","):
        # "libfoo (>= 1.0) | libbar": the first alternative will do.
        name = re.split(r"[\s(|]", clause.strip(), maxsplit=1)[0]
        if name.startswith("lib") or name.startswith("zlib"):
            names.append(name)
    return names


def _apt_install(packages):
    missing = [p for p in packages if not _installed(p)]
    if not missing:
        return
    print(f"bench: installing {' '.join(missing)}", flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "install", "-y", "-qq", *missing], check=True, env=env,
                   stdout=subprocess.DEVNULL)


def _download(package, debs):
    found = glob.glob(os.path.join(debs, f"{package}_*.deb"))
    if not found:
        print(f"bench: downloading {package}", flush=True)
        try:
            _run("apt-get", "download", package, cwd=debs)
        except subprocess.CalledProcessError:
            subprocess.run(["apt-get", "update", "-qq"], check=True)
            _run("apt-get", "download", package, cwd=debs)
        found = glob.glob(os.path.join(debs, f"{package}_*.deb"))
    return found[0]


def prepare(root, names=tuple(PACKAGES)):
    """Unpacks the packages of each peer of `names` under `root` that are not there yet;
    {name: binary path}."""
    debs = os.path.join(root, "debs")
    os.makedirs(debs, exist_ok=True)
    binaries = {}
    for name, packages in PACKAGES.items():
        if name not in names:
            continue
        tree = os.path.join(root, "peers", name)
        for package in packages:
            # A mark per package: a tree unpacked before a package joined the list gets it.
            mark = os.path.join(tree, f".unpacked-{package}")
            if os.path.exists(mark):
                continue
            deb = _download(package, debs)
            os.makedirs(tree, exist_ok=True)
            _run("dpkg-deb", "-x", deb, tree)
            _apt_install(_library_dependencies(deb))
            open(mark, "w").close()
        binaries[name] = os.path.join(tree, BINARIES[name])
    return binaries


class SystemAccount:
    """A throwaway login account, created for the run and deleted after it."""

    def __init__(self, name, home):
        self.name = name
        self.home = home
        self.password = secrets.token_hex(12)
        self.created = False

    def create(self):
        exists = subprocess.run(["id", "-u", self.name], capture_output=True).returncode == 0
        if not exists:
            _run("useradd", "--no-create-home", "--home-dir", self.home, "--shell", "/bin/sh",
                 self.name)
            self.created = True
        else:
            # A run that was killed left it behind; it is ours, so point it at this home.
            _run("usermod", "--home", self.home, self.name)
            self.created = True
        # SHA-512 crypt (5000 rounds, about a millisecond) rather than Debian 12's default
        # yescrypt (over 100 ms a login here): the peers still hash a system password on
        # every login, but the login figures then show the servers, not the hash, and
        # the run stays short.
        _run("chpasswd", "--crypt-method", "SHA512", input=f"{self.name}:{self.password}\n")
        os.chown(self.home, self.uid(), self.gid())

    def uid(self):
        return int(_run("id", "-u", self.name).stdout)

    def gid(self):
        return int(_run("id", "-g", self.name).stdout)

    def remove(self):
        if self.created:
            subprocess.run(["userdel", self.name], capture_output=True)
            self.created = False
