#!/usr/bin/env python3
"""A download to Modbus devices that nobody here wrote: pymodbus serves the holding
registers, tklcli downloads a layout into two such devices at once, and what they hold is
compared with what the register map (docs/register-map.md) says the writes must leave
there, worked out here on its own from the list of writes: the download state 2
(finished) and the layout checksum (CRC-32 of the registers written, in address order)
included. What tklcli --print-writes lists for the devices is compared too.

Usage: modbus_interop.py TKLCLI GOLDEN_LAYOUT GOLDEN_WRITES OTHER_LAYOUT
The golden layout is compared with its reviewed list of writes; the other layout (with
Windows-1252 characters above 127) with the writes tklcli --print-writes reports for it
on the simulated sample network.
"""

import sys

from modbus_support import UNIT, Session, expected_listing, expected_registers, network, printer, start_device, tcp_node


def main():
    tklcli, golden_layout, golden_writes, other_layout = sys.argv[1:5]
    run = Session(tklcli)
    with open(golden_writes, encoding="utf-8") as f:
        cases = [(golden_layout, f.read().splitlines())]
    sim = run.tool(None, "download", other_layout, "--port", "Printer1", "--print-writes")
    if sim.returncode != 0:
        sys.exit(f"simulated download of {other_layout} failed: {sim.stderr}")
    cases.append((other_layout, sim.stdout.splitlines()))

    for layout, writes in cases:
        devices = [start_device(), start_device()]
        description = network([tcp_node(f"Module{k}", 10 + k, port) for k, (port, _) in enumerate(devices, 1)],
                              [printer(f"Printer{k}", f"Module{k}") for k in (1, 2)])
        result = run.tool(description, "download", layout, "--port", "Printer1", "--port", "Printer2", "--print-writes")
        run.verdict(f"{layout}: one download to both", result.returncode == 0
                    and result.stderr.count("writes to Printer") == 2, f"exit {result.returncode}: {result.stderr.strip()}")
        listed = expected_listing(writes, "Printer1") + expected_listing(writes, "Printer2")
        run.verdict(f"{layout}: --print-writes", result.stdout.splitlines() == listed,
                    f"{len(result.stdout.splitlines())} writes listed, {len(listed)} made: {result.stdout[:200]!r}")
        for k, (_, units) in enumerate(devices, 1):
            run.registers(f"{layout}: Printer{k}", units[UNIT], expected_registers(writes))
    run.finish()


if __name__ == "__main__":
    main()
