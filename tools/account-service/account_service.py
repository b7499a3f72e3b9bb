#!/usr/bin/env python3
"""Account-service simulator: an HTTPS server (standard library only) that answers the account protocol for a
demo account, with per-test scenarios and a JSON-lines request log.

  account_service.py make-certs DIR
  account_service.py serve [--cert-dir DIR] [--untrusted] [--plain-http] [--port N] [--port-file F]
                           [--scenario F] [--log F] [--files-dir D] [--account F] [--lifetime S] [--parent-pid P]
"""

import argparse
import copy
import hashlib
import html
import http.server
import io
import json
import os
import random
import re
import select
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
API = "/api/kyb/v2/"


# ---------------------------------------------------------------------------------------------------------------
# Certificates


def _openssl(*args, env=None):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)


def _make_ca(folder, stem, name):
    _openssl("req", "-x509", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", os.path.join(folder, stem + ".key"), "-out", os.path.join(folder, stem + ".pem"),
             "-days", "30", "-subj", "/O=Kestrune tests/CN=" + name,
             "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def _make_server(folder, stem, ca_stem):
    key = os.path.join(folder, stem + ".key")
    csr = os.path.join(folder, stem + ".csr")
    ext = os.path.join(folder, stem + ".ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n")
    _openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", key, "-out", csr, "-subj", "/O=Kestrune tests/CN=127.0.0.1")
    _openssl("x509", "-req", "-in", csr, "-CA", os.path.join(folder, ca_stem + ".pem"),
             "-CAkey", os.path.join(folder, ca_stem + ".key"), "-set_serial",
             str(random.SystemRandom().randrange(1, 2 ** 62)), "-days", "30", "-extfile", ext,
             "-out", os.path.join(folder, stem + ".pem"))
    os.remove(csr)
    os.remove(ext)


def make_certs(folder):
    """ca.pem signs server.pem; untrusted-ca.pem signs untrusted-server.pem (same names, other issuer)."""
    os.makedirs(folder, exist_ok=True)
    _make_ca(folder, "ca", "Kestrune Test CA")
    _make_server(folder, "server", "ca")
    _make_ca(folder, "untrusted-ca", "Kestrune Untrusted CA")
    _make_server(folder, "untrusted-server", "untrusted-ca")


# ---------------------------------------------------------------------------------------------------------------
# Protocol helpers


def encipher(plain, passphrase):
    """OpenSSL's salted format: AES-256-CBC, key and IV by MD5 with one iteration, base64 in lines of 64."""
    env = dict(os.environ, KESTRUNE_SIM_PASS=passphrase)
    out = subprocess.run(["openssl", "enc", "-aes-256-cbc", "-md", "md5", "-salt", "-a", "-pass",
                          "env:KESTRUNE_SIM_PASS"], input=plain.encode("utf-8"), env=env, check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return out.decode("ascii").rstrip("\n")


def version_tuple(text):
    parts = []
    for p in str(text).split(".")[:4]:
        m = re.match(r"\d+", p)
        parts.append(int(m.group()) if m else 0)
    return tuple(parts + [0] * (4 - len(parts)))


def substitute(value, names):
    """Replaces {base}, {authority} and {port} in every text of a JSON value."""
    if isinstance(value, str):
        for k, v in names.items():
            value = value.replace("{" + k + "}", v)
        return value
    if isinstance(value, list):
        return [substitute(v, names) for v in value]
    if isinstance(value, dict):
        return {k: substitute(v, names) for k, v in value.items()}
    return value


def parse_multipart(body, content_type):
    """Parts of a multipart/form-data body: list of dicts with name, filename, content_type, data."""
    m = re.search(r'boundary=(?:"([^"]+)"|([^;\s]+))', content_type or "")
    if not m:
        return None
    boundary = b"--" + (m.group(1) or m.group(2)).encode("latin-1")
    parts = []
    chunks = body.split(boundary)
    for chunk in chunks[1:]:
        if chunk.startswith(b"--"):
            break
        if chunk.startswith(b"\r\n"):
            chunk = chunk[2:]
        head, sep, data = chunk.partition(b"\r\n\r\n")
        if not sep:
            continue
        if data.endswith(b"\r\n"):
            data = data[:-2]
        headers = {}
        for line in head.decode("latin-1").split("\r\n"):
            name, _, val = line.partition(":")
            headers[name.strip().lower()] = val.strip()
        disposition = headers.get("content-disposition", "")
        name = re.search(r'\bname="([^"]*)"', disposition)
        filename = re.search(r'\bfilename="([^"]*)"', disposition)
        parts.append({"name": name.group(1) if name else None,
                      "filename": filename.group(1) if filename else None,
                      "content_type": headers.get("content-type"),
                      "data": data})
    return parts


def safe_file(folder, name):
    if not name or name in (".", "..") or "/" in name or "\\" in name or "\0" in name:
        return None
    path = os.path.join(folder, name)
    return path if os.path.isfile(path) else None


# ---------------------------------------------------------------------------------------------------------------
# State shared by the handler threads


class Reply:
    def __init__(self, status=200, body=b"", content_type="application/json; charset=utf-8", headers=None):
        self.status = status
        self.body = body          # bytes, or None when file is set
        self.file = None          # path streamed as the body
        self.headers = {"Content-Type": content_type}
        self.headers.update(headers or {})

    @staticmethod
    def json(status, value):
        return Reply(status, json.dumps(value).encode("utf-8"))

    @staticmethod
    def page(status, title, inner):
        text = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title></head>\n<body>\n%s\n"
                "</body></html>\n") % (html.escape(title), inner)
        return Reply(status, text.encode("utf-8"), "text/html; charset=utf-8")


class Simulator:
    def __init__(self, args):
        self.args = args
        self.scheme = "http" if args.plain_http else "https"
        self.port = 0
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.scenario_key = ()  # never a stat key, so the first request loads
        self.scenario = {}
        self.counters = {}
        self.request_number = 0
        self.log_file = open(args.log, "a", encoding="utf-8") if args.log else None
        with open(args.account or os.path.join(HERE, "demo-account.json"), encoding="utf-8") as f:
            self.base_account = json.load(f)
        self.files_dir = args.files_dir or os.path.join(os.getcwd(), "files")
        os.makedirs(self.files_dir, exist_ok=True)
        self.uploads_dir = os.path.join(os.path.dirname(os.path.abspath(args.log)), "uploads") if args.log else None

    # --- scenario
    def current_scenario(self):
        """Reloads the scenario file when it was replaced; a reload restarts the successive-response counters.
        Without a scenario file (or while it is missing) the account is the plain one, files included."""
        path = self.args.scenario
        with self.lock:
            key = None
            if path:
                try:
                    st = os.stat(path)
                    key = (st.st_ino, st.st_mtime_ns, st.st_size)
                except OSError:
                    pass
            if key != self.scenario_key:
                scenario = {}
                if key is not None:
                    try:
                        with open(path, encoding="utf-8") as f:
                            scenario = json.load(f) or {}
                    except (OSError, ValueError) as e:
                        print("account-service: bad scenario %s: %s" % (path, e), file=sys.stderr)
                self.scenario_key = key
                self.scenario = scenario
                self.counters = {}
                self.make_files(self.account())
            return self.scenario

    def names(self):
        authority = "127.0.0.1:%d" % self.port
        return {"base": "%s://%s" % (self.scheme, authority), "authority": authority, "port": str(self.port)}

    def account(self):
        account = copy.deepcopy(self.base_account)
        account.update(copy.deepcopy(self.scenario.get("account") or {}))
        return substitute(account, self.names())

    def route_entry(self, path):
        routes = self.scenario.get("routes") or {}
        if path not in routes:
            return None
        entry = routes[path]
        if isinstance(entry, list):
            with self.lock:
                n = self.counters.get(path, 0)
                self.counters[path] = n + 1
            entry = entry[min(n, len(entry) - 1)] if entry else {}
        return substitute(entry or {}, self.names())

    def make_files(self, account):
        """Installer files of the account, made once with deterministic content."""
        for name, details in (account.get("files") or {}).items():
            path = safe_file(self.files_dir, name) or os.path.join(self.files_dir, name)
            if "/" in name or os.path.exists(path):
                continue
            size = int(details.get("size", 1024))
            seed = hashlib.sha1(name.encode("utf-8")).digest()
            with open(path + ".tmp", "wb") as f:
                block = b""
                while size > 0:
                    seed = hashlib.sha1(seed).digest()
                    block = (seed * 256)[:min(size, 5120)]
                    f.write(block)
                    size -= len(block)
            os.replace(path + ".tmp", path)

    # --- log
    def next_number(self):
        with self.lock:
            self.request_number += 1
            return self.request_number

    def log(self, record):
        with self.lock:
            if self.log_file:
                self.log_file.write(json.dumps(record, ensure_ascii=False) + "\n")
                self.log_file.flush()

    def save_upload(self, number, part):
        if not self.uploads_dir:
            return None
        os.makedirs(self.uploads_dir, exist_ok=True)
        name = re.sub(r"[^A-Za-z0-9._-]", "_", part["filename"] or "part") or "part"
        path = os.path.abspath(os.path.join(self.uploads_dir, "%d-%s" % (number, name)))
        with open(path, "wb") as f:
            f.write(part["data"])
        return path


# ---------------------------------------------------------------------------------------------------------------
# Built-in behaviour: the demo account


class Request:
    def __init__(self, method, path, query, headers, form, parts):
        self.method = method
        self.path = path
        self.query = query      # dict
        self.headers = headers  # lower-case names
        self.form = form        # list of (name, value)
        self.parts = parts      # list of dicts or None

    def form_value(self, name):
        for k, v in self.form:
            if k == name:
                return v
        return None


def calibration_archive(account, scanner):
    """A zip of the scanner's calibration, made from the account's file templates."""
    files = scanner.get("calibration_files") or account.get("calibration_files") or {}
    names = {"serial": str(scanner.get("serial_number", "")),
             "revision": str(scanner.get("calibration_revision", "")),
             "id": str(scanner.get("id", "")),
             "camera_id": str(scanner.get("camera_id", "")),
             "camera_clr_id": str(scanner.get("camera_clr_id", "")),
             "camera": str(scanner.get("camera", "")),
             "model": str(scanner.get("model", ""))}
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in files.items():
            z.writestr(substitute(name, names), substitute(text, names).encode("utf-8"))
    return out.getvalue()


class DemoAccount:
    def __init__(self, sim, account):
        self.sim = sim
        self.a = account

    def token_ok(self, token):
        return token is not None and token == self.a.get("auth_token")

    def unauthorized(self):
        return Reply.json(401, {"error": "You need to sign in or sign up before continuing."})

    def signed_in(self, hwfp, with_email):
        reply = {"auth_token_crypted": encipher(self.a.get("auth_token", ""), hwfp),
                 "hwfp_id": str(self.a.get("hwfp_id", "")),
                 "uok": encipher(self.a.get("uok", ""), hwfp)}
        if with_email:
            reply["email"] = self.a.get("email", "")
        return Reply.json(200, reply)

    def answer(self, r):
        p = r.path
        if p.startswith(API):
            return self.api(r, p[len(API):])
        if p == "/services":
            return self.web_start(r)
        if p == "/services/sign_in" and r.method == "POST":
            return self.web_sign_in(r)
        if p == "/services/signed_in":
            return Reply.page(200, "Signed in", "<p>You are signed in. Kestrune takes it from here.</p>")
        if p == "/signup":
            return Reply.page(200, "Create an account", "<h1>Create an account</h1>")
        if p == "/password/new":
            return Reply.page(200, "Forgot your password?", "<h1>Forgot your password?</h1>")
        if p.startswith("/files/"):
            path = safe_file(self.sim.files_dir, urllib.parse.unquote(p[len("/files/"):]))
            if not path:
                return Reply.json(404, {"error": "Not found"})
            reply = Reply(200, None, "application/octet-stream")
            reply.file = path
            return reply
        return Reply.json(404, {"error": "Not found"})

    # --- the web sign-in pages
    def web_redirect(self):
        query = urllib.parse.urlencode([("kyb", "true"), ("auth_token", self.a.get("auth_token", ""))])
        return Reply(302, b"", "text/html; charset=utf-8",
                     {"Location": "%s/services/signed_in?%s" % (self.sim.names()["base"], query)})

    def web_page(self, message=""):
        msg = '<p class="error">%s</p>\n' % html.escape(message) if message else ""
        return Reply.page(200, "Sign in", (
            "<h1>Sign in</h1>\n%s"
            '<form id="sign_in" method="post" action="/services/sign_in">\n'
            '<input type="hidden" name="kyb" value="true">\n'
            '<label>E-mail <input id="user_email" type="email" name="user[email]"></label>\n'
            '<label>Password <input id="user_password" type="password" name="user[password]"></label>\n'
            '<input id="sign_in_button" type="submit" value="Sign in">\n'
            "</form>\n"
            '<p><a id="signup" href="/signup">Create an account</a> '
            '<a id="forgot" href="/password/new">Forgot your password?</a> '
            '<a id="elsewhere" href="%s">Belmo on the web</a></p>') % (msg, html.escape(
                self.a.get("external_link", "https://www.belmo.example/"))))

    def web_start(self, r):
        if self.a.get("web_signed_in"):
            return self.web_redirect()
        return self.web_page()

    def web_sign_in(self, r):
        if r.form_value("user[email]") == self.a.get("email") and \
                r.form_value("user[password]") == self.a.get("password"):
            return self.web_redirect()
        return self.web_page("Invalid email or password.")

    # --- the JSON API
    def api(self, r, p):
        q = r.query
        if p == "login.json":
            email, password, hwfp = (r.form_value("user[email]"), r.form_value("user[password]"),
                                     r.form_value("user[hwfp]"))
            if not email or password is None or not hwfp:
                return Reply.json(422, {"message": "Missing parameters"})
            if email != self.a.get("email") or password != self.a.get("password"):
                return Reply.json(401, {"error": "Invalid email or password."})
            return self.signed_in(hwfp, False)
        if p == "info.json":
            token, hwfp = r.form_value("auth_token"), r.form_value("user[hwfp]")
            if not self.token_ok(token):
                return self.unauthorized()
            if not hwfp:
                return Reply.json(422, {"message": "Missing parameters"})
            return self.signed_in(hwfp, True)
        if p == "logs.json":
            if r.method != "POST" or r.parts is None:
                return Reply.json(422, {"message": "Expected a multipart upload"})
            names = [part["name"] for part in r.parts]
            if "hwfp" not in names or "log_file" not in names:
                return Reply.json(422, {"message": "Missing parameters"})
            return Reply.json(200, {"status": "ok"})

        if not self.token_ok(q.get("auth_token")):
            return self.unauthorized()
        scanners = self.a.get("scanners") or []
        rented = self.a.get("rented_scanners") or []
        if p == "scanners.json":
            return Reply.json(200, [{k: v for k, v in s.items() if k in (
                "id", "serial_number", "calibration_revision", "has_texture_camera", "upgrade_url")}
                for s in scanners])
        if p == "applications.json":
            return Reply.json(200, self.a.get("applications") or [])
        if p == "kybs/update_required.json":
            offer = self.a.get("update")
            if "version" not in q:
                return Reply.json(422, {"message": "Missing parameters"})
            if not offer or version_tuple(offer.get("version", "")) <= version_tuple(q["version"]):
                return Reply.json(422, {"message": "No update required"})
            return Reply.json(200, offer)
        if p == "scanners/serial_number.json":
            for cam in self.a.get("cameras") or []:
                if str(cam.get("camera_id")) == q.get("camerabwsn"):
                    return Reply.json(200, {"serial_number": cam.get("serial_number", ""),
                                            "belongs_to": cam.get("belongs_to", 0)})
            return Reply.json(422, {"message": "Scanner not found"})
        if p == "scanners/calibration_revision.json":
            for s in scanners + rented:
                if s.get("serial_number") == q.get("serial_number"):
                    return Reply.json(200, {"calibration_revision": s.get("calibration_revision", -1)})
            return Reply.json(404, {"message": "Scanner not found"})
        if p == "scanners/calibration_for_rent_scanners.json":
            for s in rented:
                if s.get("serial_number") == q.get("serial_number"):
                    return Reply(200, calibration_archive(self.a, s), "application/zip")
            return Reply.json(404, {"message": "Scanner not found"})
        m = re.fullmatch(r"scanners/([^/]+)/calibration\.json", p)
        if m:
            for s in scanners:
                if str(s.get("id")) == m.group(1):
                    return Reply(200, calibration_archive(self.a, s), "application/zip")
            return Reply.json(404, {"message": "Scanner not found"})
        return Reply.json(404, {"error": "Not found"})


# ---------------------------------------------------------------------------------------------------------------
# HTTP


MALFORMED = b'{"auth_token_crypted": "U2FsdGVkX1", "hwfp_id": [1, 2,'


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "AccountService/2"
    sys_version = ""
    timeout = 60

    def version_string(self):
        return self.server_version

    def log_message(self, *args):
        if os.environ.get("KESTRUNE_SIM_VERBOSE"):
            super().log_message(*args)

    def setup(self):
        super().setup()
        if isinstance(self.connection, ssl.SSLSocket):
            self.connection.do_handshake()

    def do_GET(self):
        self.serve()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_PATCH = do_GET

    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def serve(self):
        sim = self.server.sim
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        query_items = urllib.parse.parse_qsl(url.query, keep_blank_values=True, errors="replace")
        body = self.read_body()
        content_type = self.headers.get("Content-Type", "")
        form = []
        if content_type.split(";")[0].strip().lower() == "application/x-www-form-urlencoded":
            form = urllib.parse.parse_qsl(body.decode("utf-8", "replace"), keep_blank_values=True,
                                          errors="replace")
        parts = parse_multipart(body, content_type) if content_type.lower().startswith("multipart/") else None
        record = {"method": self.command, "path": path, "query": dict(query_items), "query_string": url.query,
                  "headers": {k.lower(): v for k, v in self.headers.items()},
                  "form": [list(item) for item in form], "body_size": len(body)}
        if parts is not None:
            record["parts"] = [{"name": pt["name"], "filename": pt["filename"], "content_type": pt["content_type"],
                                "size": len(pt["data"]), "sha1": hashlib.sha1(pt["data"]).hexdigest()}
                               for pt in parts]
        sim.current_scenario()
        number = record["number"] = sim.next_number()
        if parts:
            for pt, logged in zip(parts, record["parts"]):
                if pt["filename"] is not None:
                    logged["saved"] = sim.save_upload(number, pt)
        sim.log(record)

        entry = sim.route_entry(path) or {}
        request = Request(self.command, path, dict(query_items), record["headers"], form, parts)
        reply = DemoAccount(sim, sim.account()).answer(request) if not self.overrides_body(entry) else Reply()
        self.apply(entry, reply)

        if entry.get("delay_ms"):
            if sim.stop.wait(float(entry["delay_ms"]) / 1000.0):
                return self.drop()
        if entry.get("stall"):
            return self.stall()
        self.send(reply, entry)

    @staticmethod
    def overrides_body(entry):
        return any(k in entry for k in ("json", "body", "file", "malformed"))

    def apply(self, entry, reply):
        sim = self.server.sim
        if "status" in entry:
            reply.status = int(entry["status"])
        if "json" in entry:
            reply.body = json.dumps(entry["json"]).encode("utf-8")
            reply.headers["Content-Type"] = "application/json; charset=utf-8"
        elif "body" in entry:
            reply.body = str(entry["body"]).encode("utf-8")
            reply.headers["Content-Type"] = "text/plain; charset=utf-8"
        elif "file" in entry:
            reply.file = safe_file(sim.files_dir, entry["file"])
            reply.body = None if reply.file else b""
            reply.headers["Content-Type"] = "application/octet-stream"
        if entry.get("malformed"):
            reply.file, reply.body = None, MALFORMED
            reply.headers["Content-Type"] = "application/json; charset=utf-8"
        for k, v in (entry.get("headers") or {}).items():
            reply.headers[k] = str(v)

    def send(self, reply, entry):
        close_early = bool(entry.get("close_early"))
        chunked = bool(entry.get("chunked"))
        pause = float(entry.get("block_delay_ms", 0)) / 1000.0
        block_size = max(1, int(entry.get("block_size", 4096 if pause else 65536)))
        size = os.path.getsize(reply.file) if reply.file else len(reply.body)
        self.send_response(reply.status)
        for k, v in reply.headers.items():
            self.send_header(k, v)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        if close_early:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        limit = size // 2 if close_early else size
        source = open(reply.file, "rb") if reply.file else io.BytesIO(reply.body)
        try:
            with source:
                first = True
                while limit > 0:
                    if pause and not first:
                        self.wfile.flush()
                        if self.server.sim.stop.wait(pause):
                            return self.drop()
                    first = False
                    block = source.read(min(limit, block_size))
                    if not block:
                        break
                    limit -= len(block)
                    if chunked:
                        block = b"%x\r\n%s\r\n" % (len(block), block)
                    self.wfile.write(block)
                if chunked and not close_early:
                    self.wfile.write(b"0\r\n\r\n")
                self.wfile.flush()
        except (ConnectionError, ssl.SSLError, socket.timeout):
            self.close_connection = True  # the client went away
            return None
        if close_early:
            self.drop()
        return None

    def drop(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def stall(self):
        """Never answers: waits until the client closes the connection or the server stops."""
        sock = self.connection
        sock.setblocking(False)
        while not self.server.sim.stop.is_set():
            readable, _, _ = select.select([sock], [], [], 0.2)
            if not readable:
                continue
            try:
                if not sock.recv(4096):
                    break
            except (ssl.SSLWantReadError, BlockingIOError):
                continue
            except (OSError, ssl.SSLError):
                break
        self.close_connection = True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def __init__(self, sim, context):
        self.sim = sim
        self.context = context
        super().__init__(("127.0.0.1", sim.args.port), Handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        if self.context:
            sock = self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, addr

    def handle_error(self, request, client_address):
        kind = sys.exc_info()[0]
        if kind and issubclass(kind, (ssl.SSLError, ConnectionError, socket.timeout, BrokenPipeError)):
            return
        super().handle_error(request, client_address)


def watch(sim, server, lifetime, parent):
    """Stops the server after its lifetime, or as soon as its parent process is gone."""
    end = time.monotonic() + lifetime if lifetime > 0 else None
    while not sim.stop.wait(0.5):
        if end is not None and time.monotonic() >= end:
            break
        if parent:
            try:
                os.kill(parent, 0)
            except ProcessLookupError:
                break
            except PermissionError:
                pass
            if os.getppid() == 1 and parent != 1:
                break
    sim.stop.set()
    server.shutdown()


def serve(args):
    context = None
    if not args.plain_http:
        folder = args.cert_dir or os.path.join(os.getcwd(), "certs")
        stem = "untrusted-server" if args.untrusted else "server"
        if not os.path.exists(os.path.join(folder, stem + ".pem")):
            make_certs(folder)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, stem + ".pem"), os.path.join(folder, stem + ".key"))
    sim = Simulator(args)
    server = Server(sim, context)
    sim.port = server.server_address[1]
    sim.current_scenario()
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % sim.port)
        os.replace(args.port_file + ".tmp", args.port_file)
    else:
        print("account-service: %s://127.0.0.1:%d/" % (sim.scheme, sim.port), flush=True)
    threading.Thread(target=watch, args=(sim, server, args.lifetime, args.parent_pid), daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    sim.stop.set()
    server.server_close()


def main():
    parser = argparse.ArgumentParser(description="Account-service simulator")
    sub = parser.add_subparsers(dest="command", required=True)
    certs = sub.add_parser("make-certs", help="make the throw-away CAs and server certificates")
    certs.add_argument("dir")
    s = sub.add_parser("serve", help="run the server")
    s.add_argument("--cert-dir", help="certificates of make-certs (made there when missing)")
    s.add_argument("--untrusted", action="store_true", help="use the certificate of the second CA")
    s.add_argument("--plain-http", action="store_true")
    s.add_argument("--port", type=int, default=0)
    s.add_argument("--port-file")
    s.add_argument("--scenario")
    s.add_argument("--log")
    s.add_argument("--files-dir")
    s.add_argument("--account", help="demo account data (default: demo-account.json beside this file)")
    s.add_argument("--lifetime", type=float, default=600, help="seconds; 0 runs until stopped")
    s.add_argument("--parent-pid", type=int, default=0)
    args = parser.parse_args()
    if args.command == "make-certs":
        make_certs(args.dir)
    else:
        serve(args)


if __name__ == "__main__":
    main()
