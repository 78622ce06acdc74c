#!/usr/bin/env python3
"""Serves a directory on 127.0.0.1 from a port the system picks.

Usage: demo_server.py ROOT PORT_FILE
The chosen port is written to PORT_FILE once the server listens.
"""
import functools
import http.server
import sys


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    root, port_file = sys.argv[1], sys.argv[2]
    handler = functools.partial(QuietHandler, directory=root)
    with http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler) as server:
        with open(port_file + ".tmp", "w") as f:
            f.write(str(server.server_address[1]))
        import os
        os.replace(port_file + ".tmp", port_file)
        server.serve_forever()


if __name__ == "__main__":
    main()
