#!/usr/bin/env python3
"""Turns a tidewell-devsim event log (--log) into an input of the devsim fuzz target.

Usage: seeds_from_log.py LOG OUT [--file NAME=PATH ...]

The log names every line the device received, every packet and its verdict, and every
answer the host gave to the device's packets; this rebuilds the host's bytes from it, with
the log's time gaps as time escapes. Packets the host sent are rebuilt from the file given
for the transfer's device name (for "download NAME"), padded with zeros like the host pads.
"""
import re
import sys

ESCAPE = 0xFF
STEP_MS = 20
SOH, STX, EOT, ACK, NAK, CAN = 0x01, 0x02, 0x04, 0x06, 0x15, 0x18


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] == "\\" and text[i + 1] == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        elif text[i] == "\\":
            out.append(ord(text[i + 1]))
            i += 2
        else:
            out.append(ord(text[i]))
            i += 1
    return bytes(out)


def packet(number, payload, crc, damaged=False):
    body = bytes([STX, number & 0xFF, 0xFF - (number & 0xFF)]) + payload
    if crc:
        check = crc16(payload)
        tail = bytes([check >> 8, check & 0xFF])
    else:
        tail = bytes([sum(payload) & 0xFF])
    if damaged:
        tail = bytes(b ^ 0x5A for b in tail)
    return body + tail


def convert(log_lines, files):
    out = bytearray([0, 0])
    last_ms = None
    crc = True
    payloads = b""
    refused = False

    def send(data):
        # Each of the host's answers comes after what the device did before it.
        if len(out) > 2 and out[-2] != ESCAPE:
            out.extend([ESCAPE, 1])
        for byte in data:
            out.extend([ESCAPE, ESCAPE] if byte == ESCAPE else [byte])

    def wait(ms):
        steps = int(ms // STEP_MS)
        while steps > 0:
            n = min(steps, 254)
            out.extend([ESCAPE, n])
            steps -= n

    for raw in log_lines:
        match = re.match(r"\s*(\d+\.\d+) (.*)$", raw)
        if not match:
            continue
        ms, text = float(match.group(1)) * 1000, match.group(2)
        if last_ms is not None and ms > last_ms:
            wait(ms - last_ms)
        last_ms = ms
        if text == 'tx line ":LOGIN:"':
            if not refused:
                send(b"   ")
            refused = False
        elif text.startswith("login refused") or text.startswith("fault refuse-login"):
            refused = True
        elif text.startswith("rx line "):
            send(unescape(text[len('rx line "'):-1]) + b"\r")
        elif text.startswith("transfer download "):
            name = unescape(re.match(r'transfer download "(.*)":', text).group(1)).decode()
            data = files.get(name, b"")
            payloads = data + bytes(-len(data) % 1024)
        elif text.startswith("tx start request"):
            crc = "CRC" in text
        elif m := re.match(r"rx packet (\d+) \(#(\d+)\) (ok|bad|repeated)", text):
            number, ordinal = int(m.group(1)), int(m.group(2))
            payload = payloads[(ordinal - 1) * 1024:ordinal * 1024].ljust(1024, b"\0")
            send(packet(number, payload, crc, damaged=m.group(3) == "bad"))
        elif text.startswith("rx EOT"):
            send(bytes([EOT]))
        elif text.startswith("rx start request"):
            send(b"C" if "CRC" in text else bytes([NAK]))
        elif text.startswith("rx ACK"):
            send(bytes([ACK]))
        elif text.startswith("rx NAK"):
            send(bytes([NAK]))
        elif text.startswith("rx CAN CAN"):
            send(bytes([CAN, CAN]))
    return bytes(out)


def main(argv):
    log_path, out_path = argv[1], argv[2]
    files = {}
    rest = argv[3:]
    while rest:
        if rest[0] == "--file":
            name, path = rest[1].split("=", 1)
            with open(path, "rb") as f:
                files[name] = f.read()
            rest = rest[2:]
        else:
            sys.exit("unknown argument " + rest[0])
    with open(log_path, encoding="latin-1") as f:
        data = convert(f.read().splitlines(), files)
    with open(out_path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv)
