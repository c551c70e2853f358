#!/usr/bin/env python3
"""The client's checks of every answer, against answers of a Modbus device nobody here
wrote: pymodbus serves the registers, and a relay between tklcli and pymodbus spoils one
answer of a download (another unit, protocol id, transaction id, echoed count, an answer
sent twice, an answer that trickles in). Each download must fail at the request whose
answer was spoilt, with a message that names what was wrong, and send nothing after it.

Usage: modbus_faults.py TKLCLI LAYOUT
"""

import sys
import time

from modbus_support import Session, start_device, tcp_node


def set_byte(at, value):
    return lambda sock, answer: sock.sendall(answer[:at] + bytes([value]) + answer[at + 1:])


def trickle(sock, answer):
    for byte in answer:
        sock.sendall(bytes([byte]))
        time.sleep(0.15)


# Answer 3 is a one-register write; 33 carries element 1's one-register members (answer 1
# is the download state's).
CASES = [
    ("another unit", 3, set_byte(6, 7), "the device answered for unit 7, asked unit 3"),
    ("protocol id 1", 3, set_byte(3, 1), "the device answered with protocol id 1, not 0"),
    ("transaction id", 3, set_byte(1, 99), "the device answered transaction 99, asked transaction 3"),
    ("echoed count", 33, set_byte(11, 3), "the device echoed a count of 3 registers, asked 12"),
    ("an answer sent twice", 3, lambda sock, answer: sock.sendall(answer + answer),
     "the device sent 12 bytes more than its answer"),
    ("an answer a byte at a time", 3, trickle, "no answer within 1000 ms"),
]


def main():
    tklcli, layout = sys.argv[1:3]
    run = Session(tklcli)
    device, _ = start_device()
    run.spoilt(layout, device, CASES, lambda relay: (tcp_node("Module1", 11, relay.port, timeout_ms=1000), lambda: None))
    run.finish()


if __name__ == "__main__":
    main()
