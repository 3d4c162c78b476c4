#!/usr/bin/python3
# Runs a Windows test program (its emulator command first) beside aiosmtpd servers on 127.0.0.1.
#
# Server <name> keeps its mail in FERROLO_SMTP_SERVERS/<name>/ (a Wine path, Z:/...) beside a file "port";
# FERROLO_TEST_CA is the CA of their certificates (DER). "untrusted" shows a certificate of another CA,
# "other-name" one made for other.example. Every server asks for the login ferrolo/secret.
import os, pathlib, subprocess, sys, tempfile

SINK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mail", "smtp_sink.py")
# RSA: Wine verifies some ECDSA signatures wrongly (now and then a fresh CA's, as a bad signature).
KEY = ["-newkey", "rsa:2048", "-nodes", "-days", "2"]
SERVERS = {"plain": ("none", "ca", ""), "trusted": ("starttls", "ca", "DNS:localhost"),
           "implicit": ("implicit", "ca", "DNS:localhost"), "untrusted": ("starttls", "other-ca", "DNS:localhost"),
           "other-name": ("starttls", "ca", "DNS:other.example")}


def openssl(folder, *arguments):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True)


with tempfile.TemporaryDirectory() as root:
    for ca in ("ca", "other-ca"):
        openssl(root, "req", "-x509", *KEY, "-subj", "/CN=Ferrolo " + ca, "-keyout", ca + ".key", "-out", ca + ".pem")
    openssl(root, "x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der")
    servers = []
    for name, (tls, ca, names) in SERVERS.items():
        os.mkdir(folder := os.path.join(root, name))
        pathlib.Path(folder, "server.ext").write_text(
            "subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n" % names)
        if names:
            openssl(folder, "req", *KEY, "-subj", "/CN=server", "-keyout", "server.key", "-out", "server.csr")
            openssl(folder, "x509", "-req", *KEY[-2:], "-in", "server.csr", "-CA", "../%s.pem" % ca, "-CAkey",
                    "../%s.key" % ca, "-CAcreateserial", "-extfile", "server.ext", "-out", "server.pem")
        servers.append(subprocess.Popen(["/usr/bin/python3", "-W", "ignore", SINK, "--folder", folder, "--tls", tls,
                                         "--certificates", folder, "--user", "ferrolo", "--password", "secret"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True))
        pathlib.Path(folder, "port").write_text(servers[-1].stdout.readline().split()[1])
    status = subprocess.run(sys.argv[1:], env=dict(os.environ, FERROLO_SMTP_SERVERS="Z:" + root + "/",
                                                   FERROLO_TEST_CA="Z:" + root + "/ca.der")).returncode
    for server in servers:
        server.terminate()
        server.wait()
sys.exit(status)
