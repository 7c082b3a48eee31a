#!/usr/bin/env python3
"""A stand-in update server for the program tests, run inside a private network namespace.

POST /sus answers with the content of --answer; GET serves files of --root by the last part of
the path. Every request is appended to --log as "METHOD PORT PATH USER-AGENT|CONTENT-TYPE". --ready names a FIFO that gets a line once every port listens.
Ports not listed are not opened, so their connections are refused."""
import argparse
import http.server
import os
import shutil
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ports", required=True)
    parser.add_argument("--answer", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    args = parser.parse_args()
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def record(self):
            with lock, open(args.log, "a") as log:
                log.write("%s %d %s %s|%s\n" % (
                    self.command, self.server.server_address[1], self.path,
                    self.headers.get("User-Agent", ""), self.headers.get("Content-Type", "")))

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            self.rfile.read(length)
            self.record()
            with open(args.answer, "rb") as f:
                self.reply(f.read())

        def do_GET(self):
            self.record()
            path = os.path.join(args.root, os.path.basename(self.path))
            if not os.path.isfile(path):
                self.send_error(404, "Not Found")
                return
            # Streamed, so that large archives cost the server no memory.
            self.send_response(200)
            self.send_header("Content-Length", str(os.path.getsize(path)))
            self.end_headers()
            with open(path, "rb") as f:
                shutil.copyfileobj(f, self.wfile, 1 << 20)

        def reply(self, data):
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *unused):
            pass

    servers = [http.server.ThreadingHTTPServer(("127.0.0.1", int(p)), Handler)
               for p in args.ports.split(",") if p]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(args.ready, "w") as ready:
        ready.write("ready\n")
    threading.Event().wait()


if __name__ == "__main__":
    main()
