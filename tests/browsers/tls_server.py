#!/usr/bin/env python3
"""A TLS server on 127.0.0.1 for the browser tests: serves one page with the given certificate
chain, writes its port to PORT_FILE once it listens, and appends each request's path to
LOG_FILE, so that a request seen means the browser trusted the chain.

    tls_server.py CHAIN_PEM KEY PORT_FILE LOG_FILE
"""
import http.server
import os
import ssl
import sys

chain, key, port_file, log_file = sys.argv[1:5]


class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log_file, "a") as log:
            log.write(self.path + "\n")
        body = b"<html><body>certinstall test page</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # a refused handshake is what the tests expect before the run


server = Server(("127.0.0.1", 0), Page)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(chain, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
# Renamed into place, so that the port is read whole.
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
