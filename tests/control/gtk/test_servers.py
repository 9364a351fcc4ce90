#!/usr/bin/env python3
"""Local HTTP and FTP servers for the control's download tests.

Serves the files of one folder on 127.0.0.1, on ports chosen by the system, and prints
"HTTP <port>" and "FTP <port>" (or "FTP none" without pyftpdlib) once both listen.

HTTP paths: /sized/<name> announces the size; /chunked/<name> uses chunked transfer coding;
/slow/<name> announces the size and sends the body in four pieces with pauses; anything else is
answered with 404 and an error page.
"""
import http.server
import os
import sys
import threading
import time

root = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def body_of(self, prefix):
        name = self.path[len(prefix):]
        path = os.path.join(root, os.path.basename(name))
        if "/" in name or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def not_found(self):
        page = b"<html><body>404 Not Found</body></html>"
        self.send_response(404)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def do_GET(self):
        for prefix in ("/sized/", "/chunked/", "/slow/"):
            if self.path.startswith(prefix):
                body = self.body_of(prefix)
                break
        else:
            prefix, body = None, None
        if body is None:
            self.not_found()
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if prefix == "/chunked/":
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            step = max(1, len(body) // 3)
            for i in range(0, len(body), step):
                piece = body[i:i + step]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.flush()
            self.wfile.write(b"0\r\n\r\n")
            return
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if prefix == "/slow/":
            step = max(1, (len(body) + 3) // 4)
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                time.sleep(0.2)
            return
        self.wfile.write(body)


httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
threading.Thread(target=httpd.serve_forever, daemon=True).start()
print("HTTP", httpd.server_address[1], flush=True)

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.getLogger("pyftpdlib").setLevel(logging.ERROR)
except ImportError:
    print("FTP none", flush=True)
    threading.Event().wait()
    sys.exit(0)

authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
FTPHandler.authorizer = authorizer
FTPHandler.passive_ports = None
ftpd = FTPServer(("127.0.0.1", 0), FTPHandler)
print("FTP", ftpd.address[1], flush=True)
ftpd.serve_forever()
