"""Signing through hardware without hardware: a fresh SoftHSM token with a key made inside it and a
self-signed certificate for that key, and an RFC 3161 responder (`openssl ts -reply`) on the
loopback interface. Both are gone when the `with` block ends. And a terminal for a program that
asks for a PIN."""
import contextlib
import http.server
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import termios
import threading
import time
from pathlib import Path
from types import SimpleNamespace

from installer_builds import throwaway_certificate

MODULE = "/usr/lib/softhsm/libsofthsm2.so"


def _run(*args, env=None):
    subprocess.run(list(map(str, args)), check=True, capture_output=True, timeout=60, env=env)


@contextlib.contextmanager
def softhsm_token(t, pin="271828"):
    """.module, .uri, .cert, .pin, and .env with SOFTHSM2_CONF naming this token's own configuration."""
    folder = t.path("softhsm")
    (folder / "tokens").mkdir(parents=True)
    (folder / "softhsm2.conf").write_text(f"directories.tokendir = {folder / 'tokens'}\n")
    (folder / "engine.cnf").write_text("openssl_conf = init\n[init]\nengines = e\n[e]\npkcs11 = p\n[p]\n"
                                       f"engine_id = pkcs11\nMODULE_PATH = {MODULE}\n")
    env = {**os.environ, "SOFTHSM2_CONF": str(folder / "softhsm2.conf")}
    uri, cert = "pkcs11:token=msp-bootstrap-test;object=signer", folder / "signer.pem"
    try:
        _run("softhsm2-util", "--init-token", "--free", "--label", "msp-bootstrap-test", "--pin", pin, "--so-pin",
             pin, env=env)
        with_pin = {**env, "PIN": pin, "OPENSSL_CONF": str(folder / "engine.cnf")}
        _run("pkcs11-tool", "--module", MODULE, "--login", "--pin", "env:PIN", "--keypairgen", "--key-type",
             "rsa:3072", "--label", "signer", env=with_pin)
        _run("openssl", "req", "-new", "-x509", "-engine", "pkcs11", "-keyform", "engine", "-key",
             uri + ";type=private", "-passin", "env:PIN", "-out", cert, "-days", "2", "-subj",
             "/CN=msp-bootstrap token signer", "-addext", "extendedKeyUsage=codeSigning", env=with_pin)
        yield SimpleNamespace(module=MODULE, uri=uri, cert=cert, pin=pin, env=env)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class _TimeStamps(http.server.BaseHTTPRequestHandler):
    """POST /: a time stamp for the query; any other path: bytes that are none."""
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        answer = b"not a time stamp"
        if self.path == "/":
            answer = subprocess.run(["openssl", "ts", "-reply", "-config", self.server.config, "-queryfile",
                                     "/dev/stdin", "-out", "/dev/stdout"], input=query, capture_output=True,
                                    timeout=30).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def timestamp_responder(t):
    """.url answers, .closed_url refuses connections; .cert is the responder's certificate."""
    cert, key = throwaway_certificate(t, "tsa", "critical,timeStamping")
    t.path("tsa-serial").write_text("01\n")
    t.path("ts.cnf").write_text(f"[tsa]\ndefault_tsa = t\n[t]\nserial = {t.path('tsa-serial')}\nsigner_cert = {cert}\n"
                                f"signer_key = {key}\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                "digests = sha256\ness_cert_id_alg = sha256\n")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _TimeStamps)
    server.config = str(t.path("ts.cnf"))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    closed = socket.socket()  # bound but not listening
    closed.bind(("127.0.0.1", 0))
    try:
        yield SimpleNamespace(url=f"http://127.0.0.1:{server.server_address[1]}/", cert=cert,
                              closed_url=f"http://127.0.0.1:{closed.getsockname()[1]}/")
    finally:
        closed.close()
        server.shutdown()
        server.server_close()
        thread.join(timeout=10)


def on_terminal(command, env, answer, timeout=120):
    """Runs command with a terminal of its own (a pseudo-terminal, its controlling one) and types
    answer, as a person would, once the terminal shows "PIN" and has stopped echoing what is typed:
    (exit code, all the terminal showed)."""
    pid, fd = pty.fork()
    if pid == 0:
        try:
            os.execvpe(command[0], command, env)
        finally:
            os._exit(127)
    shown, answered, deadline = b"", False, time.monotonic() + timeout
    try:
        while select.select([fd], [], [], max(0.0, deadline - time.monotonic()))[0]:
            try:
                data = os.read(fd, 4096)
            except OSError:  # the program has ended and closed the terminal
                break
            if not data:
                break
            shown += data
            if not answered and b"PIN" in shown:
                while termios.tcgetattr(fd)[3] & termios.ECHO and time.monotonic() < deadline:
                    time.sleep(0.01)
                os.write(fd, answer.encode() + b"\n")
                answered = True
        else:
            os.kill(pid, signal.SIGKILL)
    finally:
        _, status = os.waitpid(pid, 0)
        os.close(fd)
    return os.waitstatus_to_exitcode(status), shown.decode("utf-8", "replace")
