#!/usr/bin/env python3
"""A printer on raw TCP, for the network port's tests: listens on 127.0.0.1
(a free port, written to DIR/port) and takes one connection at a time. What
arrives is appended to DIR/received. Steered by files in DIR, looked at every
20 ms: "stall" (present: it reads nothing), "send" (its bytes go to the
peer, then it is removed), "drop" (the connection is closed; holding
"reset", with a reset). DIR/events gets a line per connect and close.

    recorder.py DIR [RCVBUF]   (RCVBUF: the receive buffer's size, to stall sooner)
"""
import os
import select
import socket
import struct
import sys


def note(folder, line):
    with open(os.path.join(folder, "events"), "a") as f:
        f.write(line + "\n")


def main(folder, rcvbuf=0):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if rcvbuf:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    path = lambda name: os.path.join(folder, name)
    peer = None
    received = open(path("received"), "ab", buffering=0)
    while True:
        if peer is None:
            if select.select([listener], [], [], 0.02)[0]:
                peer, _ = listener.accept()
                note(folder, "connected")
            continue
        if os.path.exists(path("drop")):
            with open(path("drop")) as f:
                reset = f.read().strip() == "reset"
            os.unlink(path("drop"))
            if reset:
                peer.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            peer.close()
            peer = None
            note(folder, "dropped")
            continue
        if os.path.exists(path("send")):
            with open(path("send"), "rb") as f:
                data = f.read()
            os.unlink(path("send"))
            peer.sendall(data)
        if os.path.exists(path("stall")):
            select.select([], [], [], 0.02)
            continue
        if select.select([peer], [], [], 0.02)[0]:
            try:
                data = peer.recv(65536)
            except ConnectionError:
                data = b""
            if data:
                received.write(data)
            else:
                peer.close()
                peer = None
                note(folder, "closed")


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 0)
