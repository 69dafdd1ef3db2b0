#!/usr/bin/env python3
"""Writes a WAVE_FORMAT_EXTENSIBLE file with 24 valid bits in 32-bit integer
containers (as recorders write them), from the raw little-endian 24-bit
interleaved samples of another file.

Usage: extensible24.py RAW_S24LE CHANNELS RATE TARGET.wav
"""

import pathlib
import struct
import sys

PCM_SUBFORMAT = bytes.fromhex("0100000000001000800000aa00389b71")


def main(raw_path, channels, rate, target):
    channels, rate = int(channels), int(rate)
    raw = pathlib.Path(raw_path).read_bytes()
    # Each 24-bit sample sits in the top three bytes of its 32-bit container.
    data = b"".join(b"\0" + raw[i:i + 3] for i in range(0, len(raw) - len(raw) % 3, 3))
    fmt = struct.pack("<HHIIHHHHI16s", 0xFFFE, channels, rate, rate * channels * 4, channels * 4, 32,
                      22, 24, (1 << channels) - 1 if channels <= 2 else 0, PCM_SUBFORMAT)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    with open(target, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main(*sys.argv[1:])
