#!/usr/bin/env python3
"""Pairs a fleet run's reported response times with the same exchanges on the wire.

    fleet_wire.py CAPTURE.pcap RUN.jsonl DEVICES.csv

CAPTURE.pcap is tcpdump's capture of the loopback interface during the run
(headers are enough: the payload length comes from the IP header). Every TCP
connection (its 4-tuple) is cut into exchanges: an exchange starts with the
first payload byte the client sends after the server last answered, and ends
with the last payload byte the server sends before the client sends again.
Each device has an address of its own (DEVICES.csv: name,host,port), so the
exchanges to that address, in the order they started, are the device's
requests in the order of their "index" in RUN.jsonl. The error of a request
is its reported time_us minus its wire time. A request answered with a 401
first is two exchanges on the wire, so this pairing is for devices that ask
for no credentials (the benchmark's nginx).

Prints one JSON object: the request and exchange counts, the pairs that could
not be made, and p50/p99/max of the error, the wire time and the reported
time, in microseconds.
"""

import csv
import json
import math
import socket
import struct
import sys
from collections import defaultdict


def read_packets(path):
    """Yields (time_us, src, sport, dst, dport, payload_len) of TCP/IPv4 packets."""
    with open(path, "rb") as f:
        head = f.read(24)
        magic = struct.unpack("<I", head[:4])[0]
        if magic in (0xA1B2C3D4, 0xA1B23C4D):
            endian = "<"
        else:
            endian = ">"
            magic = struct.unpack(">I", head[:4])[0]
        nano = magic == 0xA1B23C4D
        linktype = struct.unpack(endian + "I", head[20:24])[0]
        link_len = {1: 14, 113: 16, 276: 20, 0: 4, 101: 0}.get(linktype)
        if link_len is None:
            raise SystemExit(f"fleet_wire: link type {linktype} is not read here")
        record = struct.Struct(endian + "IIII")
        while True:
            rh = f.read(16)
            if len(rh) < 16:
                break
            sec, frac, incl, _orig = record.unpack(rh)
            data = f.read(incl)
            ip = data[link_len:]
            if len(ip) < 20 or ip[0] >> 4 != 4 or ip[9] != 6:
                continue
            ihl = (ip[0] & 0x0F) * 4
            total = struct.unpack(">H", ip[2:4])[0]
            tcp = ip[ihl:]
            if len(tcp) < 20:
                continue
            sport, dport = struct.unpack(">HH", tcp[:4])
            doff = (tcp[12] >> 4) * 4
            payload = total - ihl - doff
            t_us = sec * 1_000_000 + (frac // 1000 if nano else frac)
            yield t_us, ip[12:16], sport, ip[16:20], dport, payload


def exchanges_by_server(path, servers):
    """{(host, port): [(start_us, end_us), ...]} for the servers named."""
    conns = {}  # (client, cport, server, sport) -> [exchanges, state]
    for t_us, src, sport, dst, dport, payload in read_packets(path):
        if payload <= 0:
            continue
        if (dst, dport) in servers:  # client to server
            key = (src, sport, dst, dport)
            c = conns.setdefault(key, [[], "idle"])
            if c[1] != "request":
                c[0].append([t_us, None])
                c[1] = "request"
        elif (src, sport) in servers:  # server to client
            key = (dst, dport, src, sport)
            c = conns.get(key)
            if c is None or not c[0]:
                continue
            c[0][-1][1] = t_us
            c[1] = "answer"
    out = defaultdict(list)
    for (_c, _cp, server, sport), (exchanges, _state) in conns.items():
        out[(server, sport)].extend(exchanges)
    for v in out.values():
        v.sort(key=lambda e: e[0])
    return out


def pct(values, p):
    if not values:
        return None
    s = sorted(values)
    return s[min(len(s) - 1, max(0, math.ceil(p / 100.0 * len(s)) - 1))]


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    pcap, jsonl, devices_csv = sys.argv[1:]
    address = {}
    with open(devices_csv, newline="") as f:
        for row in csv.DictReader(f):
            address[row["name"]] = (socket.inet_aton(row["host"]), int(row["port"]))
    reported = defaultdict(list)
    with open(jsonl) as f:
        for line in f:
            rec = json.loads(line)
            if rec.get("kind") == "request" and rec.get("status") is not None:
                reported[rec["device"]].append((rec["index"], rec["time_us"]))
    wire = exchanges_by_server(pcap, set(address.values()))
    errors, wire_us, rep_us = [], [], []
    unpaired = 0
    devices_off = 0
    for name, recs in reported.items():
        recs.sort()
        ex = [e for e in wire.get(address[name], []) if e[1] is not None]
        if len(ex) != len(recs):
            devices_off += 1
            unpaired += abs(len(ex) - len(recs))
        for (_i, t_us), (start, end) in zip(recs, ex):
            w = end - start
            errors.append(t_us - w)
            wire_us.append(w)
            rep_us.append(t_us)
    result = {
        "requests": sum(len(r) for r in reported.values()),
        "exchanges": sum(len(v) for v in wire.values()),
        "paired": len(errors),
        "unpaired": unpaired,
        "devices_unpaired": devices_off,
        "error_us": {"p50": pct(errors, 50), "p99": pct(errors, 99), "max": max(errors) if errors else None,
                     "min": min(errors) if errors else None},
        "wire_us": {"p50": pct(wire_us, 50), "p99": pct(wire_us, 99), "max": max(wire_us) if wire_us else None},
        "reported_us": {"p50": pct(rep_us, 50), "p99": pct(rep_us, 99), "max": max(rep_us) if rep_us else None},
    }
    print(json.dumps(result))


if __name__ == "__main__":
    main()
