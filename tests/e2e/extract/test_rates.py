#!/usr/bin/env python3
"""End-to-end tests of mivra-extract at rates far from the source's: the
conversion runs in bounded memory, or is refused before the target is touched.

Usage: test_rates.py PATH/TO/mivra-extract [unittest arguments]
Under MIVRA_SANITIZED=1 the address-space limit is left out: the sanitizer
reserves terabytes of shadow memory.
"""

import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

EXTRACT = None
NOT_CONVERTIBLE = "format audio non convertible nativement"
# The whole address space of the run, libraries included: one conversion that
# grew with the rate ratio took gigabytes.
ADDRESS_SPACE_LIMIT = 256 << 20


def wav24(path, rate, frames, channels=2):
    """A 24-bit PCM WAV of a slow ramp, distinct on each channel."""
    data = b"".join(((i * 9973 + c * 1000) % 8_000_000 - 4_000_000).to_bytes(3, "little", signed=True)
                    for i in range(frames) for c in range(channels))
    with open(path, "wb") as f:
        f.write(struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", len(data) + 36, b"WAVE", b"fmt ", 16, 1, channels,
                            rate, rate * 3 * channels, 3 * channels, 24, b"data", len(data)) + data)
    return path


def limited():
    if os.environ.get("MIVRA_SANITIZED") != "1":
        resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_LIMIT, ADDRESS_SPACE_LIMIT))


class ExtremeRates(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="mivra-extract-rates-")
        self.addCleanup(shutil.rmtree, self.folder)
        self.target = os.path.join(self.folder, "out.wav")

    def source(self, rate, frames):
        return wav24(os.path.join(self.folder, f"{rate}-{frames}.wav"), rate, frames)

    def run_extract(self, source, rate):
        return subprocess.run([EXTRACT, source, self.target, rate], capture_output=True, text=True, timeout=120,
                              stdin=subprocess.DEVNULL, preexec_fn=limited)

    def test_conversions_up_to_the_largest_factor_are_written(self):
        # The resampler's output for one input sample far exceeds a piece of
        # output here: 6250 frames from each 1 Hz sample.
        for source, rate, frames in ((self.source(48000, 4800), "300000000", 30_000_000),
                                     (self.source(1, 20), "6250", 125_000),
                                     (self.source(62500, 62500), "10", 10)):
            with self.subTest(rate=rate):
                result = self.run_extract(source, rate)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, f"{frames}\n", ""))
                with open(self.target, "rb") as f:
                    header = f.read(44)
                self.assertEqual(struct.unpack_from("<I", header, 24)[0], int(rate))
                self.assertEqual(struct.unpack_from("<I", header, 40)[0], frames * 6)
                self.assertEqual(os.path.getsize(self.target), 44 + frames * 6)

    def test_rates_further_apart_are_refused_from_the_rate_the_file_states(self):
        # The factor itself is decided and tested in the unit tests of the run.
        with open(self.target, "w") as f:
            f.write("keep")
        result = self.run_extract(self.source(1, 333), "48000")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (1, "", NOT_CONVERTIBLE + "\n"))
        with open(self.target) as f:
            self.assertEqual(f.read(), "keep")


if __name__ == "__main__":
    EXTRACT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
