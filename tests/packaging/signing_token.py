"""What signing through hardware needs, without hardware: a fresh SoftHSM token whose key is made
inside it, with a self-signed certificate for that key, and an RFC 3161 time-stamp responder
(`openssl ts -reply`) on the loopback interface. Both are removed when the `with` block ends."""
import contextlib
import http.server
import os
import shutil
import socket
import subprocess
import tempfile
import threading
from dataclasses import dataclass
from pathlib import Path

SOFTHSM_MODULE = "/usr/lib/softhsm/libsofthsm2.so"


@dataclass
class Token:
    module: str
    uri: str
    cert: Path
    pin: str
    env: dict  # SOFTHSM2_CONF naming this token's own configuration


def _run(args, env=None):
    subprocess.run(list(map(str, args)), check=True, capture_output=True, timeout=60, env=env)


@contextlib.contextmanager
def softhsm_token(t, label="msp-bootstrap-test", key="signer", pin="271828"):
    folder = t.path("softhsm")
    (folder / "tokens").mkdir(parents=True)
    conf = folder / "softhsm2.conf"
    conf.write_text(f"directories.tokendir = {folder / 'tokens'}\nobjectstore.backend = file\nlog.level = ERROR\n")
    env = {**os.environ, "SOFTHSM2_CONF": str(conf), "TEST_PIN": pin}
    try:
        _run(["softhsm2-util", "--init-token", "--free", "--label", label, "--pin", pin, "--so-pin", "s" + pin], env)
        _run(["pkcs11-tool", "--module", SOFTHSM_MODULE, "--login", "--pin", "env:TEST_PIN", "--keypairgen",
              "--key-type", "rsa:3072", "--label", key], env)
        # The certificate is made with the token's key, through OpenSSL's pkcs11 engine.
        engines = subprocess.run(["openssl", "version", "-e"], capture_output=True, text=True).stdout.split('"')[1]
        engine_conf = folder / "engine.cnf"
        engine_conf.write_text("openssl_conf = init\n[init]\nengines = engines\n[engines]\npkcs11 = pkcs11\n"
                               f"[pkcs11]\nengine_id = pkcs11\ndynamic_path = {engines}/pkcs11.so\n"
                               f"MODULE_PATH = {SOFTHSM_MODULE}\ninit = 0\n")
        uri = f"pkcs11:token={label};object={key}"
        cert = folder / "signer.pem"
        _run(["openssl", "req", "-new", "-x509", "-engine", "pkcs11", "-keyform", "engine", "-key",
              uri + ";type=private", "-passin", "env:TEST_PIN", "-out", cert, "-days", "2",
              "-subj", "/CN=msp-bootstrap token signer", "-addext", "extendedKeyUsage=codeSigning"],
             {**env, "OPENSSL_CONF": str(engine_conf)})
        del env["TEST_PIN"]
        yield Token(SOFTHSM_MODULE, uri, cert, pin, env)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


@dataclass
class Responder:
    url: str          # answers with a time stamp; URL + "nonsense" answers with bytes that are none
    cert: Path        # the responder's self-signed certificate
    closed_url: str   # a loopback port where nothing listens


class _TimeStamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        answer = b"not a time stamp"
        if self.path == "/":
            with tempfile.TemporaryDirectory() as d:
                Path(d, "q.tsq").write_bytes(query)
                subprocess.run(["openssl", "ts", "-reply", "-config", self.server.config, "-queryfile",
                                f"{d}/q.tsq", "-out", f"{d}/r.tsr"], capture_output=True, timeout=30)
                answer = Path(d, "r.tsr").read_bytes() if Path(d, "r.tsr").is_file() else b""
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def timestamp_responder(t):
    folder = t.path("tsa")
    folder.mkdir()
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", folder / "tsa.key", "-out",
          folder / "tsa.pem", "-days", "2", "-subj", "/CN=msp-bootstrap test TSA",
          "-addext", "extendedKeyUsage=critical,timeStamping"])
    (folder / "serial").write_text("01\n")
    (folder / "ts.cnf").write_text(
        f"[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = {folder / 'serial'}\n"
        f"signer_cert = {folder / 'tsa.pem'}\nsigner_key = {folder / 'tsa.key'}\nsigner_digest = sha256\n"
        "default_policy = 1.2.3.4.1\ndigests = sha256\naccuracy = secs:1\ness_cert_id_alg = sha256\n")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _TimeStamps)
    server.config = str(folder / "ts.cnf")
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    closed = socket.socket()  # bound, never listening: connections to it are refused
    closed.bind(("127.0.0.1", 0))
    try:
        yield Responder(f"http://127.0.0.1:{server.server_address[1]}/", folder / "tsa.pem",
                        f"http://127.0.0.1:{closed.getsockname()[1]}/")
    finally:
        closed.close()
        server.shutdown()
        server.server_close()
        thread.join(timeout=10)
