#!/usr/bin/env python3
"""A hostile IAM service for the end-to-end tests: every request gets a
"200 OK" whose chunked body never ends, sent as fast as the client takes
it ("endless"), or no answer at all ("silent"). It prints the address it
listens on, then serves until killed.

    hostile_iam.py endless|silent
"""

import socketserver
import sys

CHUNK = b"[" * 65536


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        # The request's head, then the answer the mode gives.
        data = b""
        while b"\r\n\r\n" not in data:
            more = self.request.recv(65536)
            if not more:
                return
            data += more
        try:
            if self.server.mode == "endless":
                self.request.sendall(
                    b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                    b"Transfer-Encoding: chunked\r\n\r\n")
                frame = b"%x\r\n" % len(CHUNK) + CHUNK + b"\r\n"
                while True:
                    self.request.sendall(frame)
            else:
                while self.request.recv(65536):
                    pass
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    server.mode = sys.argv[1]
    print("Listening on 127.0.0.1:%d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
