"""The live-results endpoint the stat reader posts to when its "api_url" is left empty.

The module's built-in default is HTTPS on the vendor host (a build constant). Inside a private
network and mount namespace this answers it on loopback: the vendor host resolves to
127.0.0.1 through a hosts file mounted over /etc/hosts, a certificate authority made for this
run joins the system's trusted bundle (mounted over it, never written), and a LiveReceiver
serves HTTPS on port 443 with a certificate for the vendor host. Nothing outside the namespace
sees any of it.
"""

import os
import re
import subprocess

from live_receiver import LiveReceiver

SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


def vendor_host(build):
    """The vendor host a configured build folder embeds (OSTRELO_VENDOR_HOST)."""
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            found = re.match(r"OSTRELO_VENDOR_HOST:[A-Z]+=(.+)$", line.strip())
            if found:
                return found.group(1)
    raise RuntimeError(f"{build} does not name the vendor host")


def only_loopback():
    """True when the only network interface is loopback, as in a fresh network namespace."""
    links = subprocess.run(["ip", "-o", "link", "show"], capture_output=True, text=True, check=True).stdout
    names = [line.split(":")[1].strip().split("@")[0] for line in links.splitlines() if ":" in line]
    return names == ["lo"]


def _run(*command):
    subprocess.run(command, check=True, capture_output=True)


def _make_certificates(folder, host):
    """A throw-away authority and a server certificate it signs for `host`; returns paths."""
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr, cert = (os.path.join(folder, n) for n in ("server.key", "server.csr", "server.pem"))
    extensions = os.path.join(folder, "server.ext")
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", ca_key, "-out", ca,
         "-subj", "/CN=Ostrelo demo authority", "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    with open(extensions, "w", encoding="ascii") as ext:
        ext.write(f"subjectAltName=DNS:{host}\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
    _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", f"/CN={host}")
    _run("openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-days", "2",
         "-out", cert, "-extfile", extensions)
    return ca, cert, key


def _mount_over(source, target):
    os.chmod(source, 0o644)
    _run("mount", "--bind", source, target)


def start(build, folder, echo):
    """Answers the built-in default endpoint from here; returns the started LiveReceiver."""
    if not only_loopback():
        raise RuntimeError("the default endpoint is only answered inside a private network namespace")
    host = vendor_host(build)
    os.makedirs(folder, exist_ok=True)
    ca, cert, key = _make_certificates(folder, host)

    hosts = os.path.join(folder, "hosts")
    with open(hosts, "w", encoding="ascii") as out:
        out.write(f"127.0.0.1\tlocalhost\n::1\tlocalhost\n127.0.0.1\t{host}\n")
    bundle = os.path.join(folder, "ca-certificates.crt")
    with open(bundle, "wb") as out:
        if os.path.exists(SYSTEM_BUNDLE):
            with open(SYSTEM_BUNDLE, "rb") as system:
                out.write(system.read())
        with open(ca, "rb") as ours:
            out.write(ours.read())
    _mount_over(hosts, "/etc/hosts")
    _mount_over(bundle, SYSTEM_BUNDLE)
    return LiveReceiver(port=443, echo=echo, tls=(cert, key), name=host).start()
