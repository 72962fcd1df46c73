"""Serves a folder over HTTPS on 127.0.0.1 for tests: python3 https_server.py ROOT CERT KEY.
Prints the port it listens on, then serves until terminated."""
import functools
import http.server
import ssl
import sys

root, cert, key = sys.argv[1:4]


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=root))
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
