#!/usr/bin/env python3
"""apt's proxy, the one way out of a fresh machine's network namespace.

usage: relay.py OUTER_NETNS HOST PORT

Listens on 127.0.0.1:3142 where it starts, prints "ready", and joins each connection to
HOST:PORT opened from OUTER_NETNS (a /proc/PID/ns/net). apt asks a proxy for absolute URLs,
which the archive answers as they are.
"""
import ctypes
import os
import socket
import sys
import threading

CLONE_NEWNET = 0x40000000


def pipe(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    finally:
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def main():
    outer, host, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    listener = socket.create_server(("127.0.0.1", 3142))
    # A thread's network namespace decides where the sockets it makes live; the listener stays
    # in the inner one. Every thread started from here on inherits the outer one.
    libc = ctypes.CDLL(None, use_errno=True)
    fd = os.open(outer, os.O_RDONLY)
    if libc.setns(fd, CLONE_NEWNET) != 0:
        sys.exit(f"relay: setns {outer}: {os.strerror(ctypes.get_errno())}")
    os.close(fd)
    print("ready", flush=True)
    while True:
        client, _ = listener.accept()
        try:
            server = socket.create_connection((host, port), timeout=30)
            server.settimeout(None)
        except OSError:
            client.close()
            continue
        for a, b in ((client, server), (server, client)):
            threading.Thread(target=pipe, args=(a, b), daemon=True).start()


main()
