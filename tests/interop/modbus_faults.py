#!/usr/bin/env python3
"""The client's checks of every answer, against answers of a Modbus device nobody here
wrote: pymodbus serves the registers, and a relay between tklcli and pymodbus spoils one
answer of a download (another unit, protocol id, transaction id, echoed count, an answer
sent twice, an answer that trickles in). Each download must fail at the request whose
answer was spoilt, with a message that names what was wrong, and send nothing after it.

Usage: modbus_faults.py TKLCLI LAYOUT
"""

import logging
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from modbus_interop import description, start_device  # noqa: E402


def recv_exactly(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def recv_frame(sock):
    header = recv_exactly(sock, 7)
    if header is None:
        return None
    rest = recv_exactly(sock, int.from_bytes(header[4:6], "big") - 1)
    return None if rest is None else header + rest


class Relay:
    """Listens on a free loopback port; relays one client to the device, spoiling answer `at`."""

    def __init__(self, device_port, at, spoil):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.requests = 0
        threading.Thread(target=self.run, args=(device_port, at, spoil), daemon=True).start()

    def run(self, device_port, at, spoil):
        client, _ = self.listener.accept()
        device = socket.create_connection(("127.0.0.1", device_port))
        try:
            self.relay(client, device, at, spoil)
        except OSError:
            pass  # the client went away: the end of its download
        client.close()
        device.close()

    def relay(self, client, device, at, spoil):
        while True:
            request = recv_frame(client)
            if request is None:
                break
            self.requests += 1
            device.sendall(request)
            answer = recv_frame(device)
            if answer is None:
                break
            if self.requests == at:
                spoil(client, answer)
            else:
                client.sendall(answer)


def set_byte(at, value):
    def spoil(sock, answer):
        sock.sendall(answer[:at] + bytes([value]) + answer[at + 1:])
    return spoil


def twice(sock, answer):
    sock.sendall(answer + answer)


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
    ("an answer sent twice", 3, twice, "the device sent 12 bytes more than its answer"),
    ("an answer a byte at a time", 3, trickle, "no answer within 1000 ms"),
]


def main():
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    tklcli, layout = sys.argv[1:3]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, TKL_DEVICE_STORE=os.path.join(tmp, "devices.json"))
        device = start_device()
        for name, at, spoil, what in CASES:
            relay = Relay(device, at, spoil)
            network = description([relay.port])
            network["nodes"][-1]["modbus"]["timeoutMs"] = 1000
            path = os.path.join(tmp, "network.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(network, f)
            run = subprocess.run([tklcli, "download", layout, "--port", "Printer1"],
                                 env=dict(env, TKL_NETWORK=path), capture_output=True, text=True)
            time.sleep(0.2)  # the relay counts a request that came after the spoilt one
            if run.returncode != 1 or what not in run.stderr or relay.requests != at:
                print(f"{name}: exit {run.returncode}, {relay.requests} requests (spoilt {at}): {run.stderr.strip()}")
                failures += 1
            else:
                print(f"{name}: failed at request {at}: {run.stderr.strip().splitlines()[-1]}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
