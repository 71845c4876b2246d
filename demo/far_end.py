#!/usr/bin/env python3
"""The far end of the demo's virtual cable: the devices a user would plug in.

  far_end.py printer PTY           print what arrives, until 1.5 s pass quietly
  far_end.py scanner|scanner-back PTY CODE...   a barcode scanner: waits for the control's
                                   start ACK, then sends each code with the
                                   suffix 0x03 and shows the control's answer
  far_end.py netprinter PORTFILE   a printer on the network (raw TCP, as on port
                                   9100) on 127.0.0.1: writes its port to
                                   PORTFILE, takes one connection, prints what
                                   came once the control closes it
"""
import os
import select
import socket
import sys
import time

NAMES = {0x06: "ACK", 0x0F: "0x0F (error answer)"}


def readable(data):
    out = []
    for b in data:
        if b == 0x0A:
            out.append("<LF>\n")
        elif b == 0x0D:
            out.append("<CR>")
        elif 0x20 <= b < 0x7F:
            out.append(chr(b))
        else:
            out.append("<%s>" % {0x1B: "ESC", 0x0C: "FF"}.get(b, "%02X" % b))
    return "".join(out)


def read_some(fd, limit, quiet):
    """Bytes until `limit` bytes came or `quiet` seconds passed without one."""
    data = b""
    while len(data) < limit:
        ready, _, _ = select.select([fd], [], [], quiet)
        if not ready:
            break
        data += os.read(fd, limit - len(data))
    return data


def printer(pty):
    fd = os.open(pty, os.O_RDWR | os.O_NOCTTY)
    data = read_some(fd, 1 << 20, 1.5)
    os.close(fd)
    print("  the printer received %d bytes:" % len(data))
    for line in readable(data).splitlines():
        print("    | " + line)


def netprinter(port_file):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(60)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    peer, _ = listener.accept()
    data = b""
    while True:
        piece = peer.recv(65536)
        if not piece:
            break
        data += piece
    peer.close()
    listener.close()
    print("  the network printer received %d bytes:" % len(data))
    for line in readable(data).splitlines():
        print("    | " + line)


def scanner(pty, codes, greeted=True):
    fd = os.open(pty, os.O_RDWR | os.O_NOCTTY)
    answer = read_some(fd, 1, 20) if greeted else b""
    if greeted:
        print("  scanner: the control said %s at the start" % NAMES.get(answer[0], answer.hex()) if answer
              else "  scanner: no start answer")
    for code in codes:
        time.sleep(0.4)
        os.write(fd, code.encode("cp1252") + b"\x03")
        answer = read_some(fd, 1, 20)
        shown = code.replace("\r", "<CR>")
        print("  scanner sends %-22s -> the control answers %s" %
              ('"%s"' % shown, NAMES.get(answer[0], answer.hex()) if answer else "nothing"))
        sys.stdout.flush()
    os.close(fd)


if __name__ == "__main__":
    if sys.argv[1] == "printer":
        printer(sys.argv[2])
    elif sys.argv[1] == "netprinter":
        netprinter(sys.argv[2])
    else:
        # scanner-back: plugged in again in the middle of a session, no start answer comes.
        scanner(sys.argv[2], [c.replace("\\r", "\r") for c in sys.argv[3:]], sys.argv[1] == "scanner")
