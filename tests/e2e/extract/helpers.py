"""What the end-to-end tests of mivra-extract share: running it, WAV files
made here, 24-bit readings and damaged copies. MIVRA_EXTRACT names the
program; with MIVRA_BOTH_THREAD_PATHS=1 (the normal build) every run of media
is made again on one thread (MIVRA_EXTRACT_THREADS=1), which must give the
same status, lines and bytes."""

import concurrent.futures
import hashlib
import os
import pathlib
import random
import shutil
import struct
import subprocess
import tempfile
import unittest

import numpy
import soundfile

EXTRACT = os.environ["MIVRA_EXTRACT"]
BOTH_PATHS = os.environ.get("MIVRA_BOTH_THREAD_PATHS") == "1"

def ffmpeg(*arguments):
    """Runs the ffmpeg CLI; returns its last argument, the output."""
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", *arguments], check=True)
    return arguments[-1]

def environment(one_thread):
    """The test's environment, with the run on one thread or the default path."""
    return {**os.environ, "MIVRA_EXTRACT_THREADS": "1" if one_thread else ""}

def run(*arguments, one_thread=False, **options):
    options = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, "stdin": subprocess.DEVNULL, **options}
    # A generous timeout: the sanitizer build is several times slower.
    return subprocess.run([EXTRACT, *arguments], text=True, timeout=120, env=environment(one_thread), **options)

def extract(source, target, *rest, **options):
    """A run of media; in the normal build the one-thread run must agree with it."""
    if not BOTH_PATHS:
        return run(source, target, *rest, **options)
    alone = os.path.join(tempfile.mkdtemp(dir=os.path.dirname(os.path.abspath(target))), os.path.basename(target))
    if os.path.exists(target):  # both runs start from the same target
        shutil.copy(target, alone)
    done, one = run(source, target, *rest, **options), run(source, alone, *rest, one_thread=True, **options)
    both = [(r.returncode, r.stdout, r.stderr.replace(t, "TARGET"),
             os.path.exists(t) and hashlib.sha256(pathlib.Path(t).read_bytes()).hexdigest())
            for r, t in ((done, target), (one, alone))]
    shutil.rmtree(os.path.dirname(alone))
    if both[0] != both[1]:
        raise AssertionError(f"{source} at {rest}: two threads {both[0]}, one thread {both[1]}")
    return done

def wav_header(rate, channels, data_size):
    return struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", data_size + 36, b"WAVE", b"fmt ", 16, 1, channels, rate,
                       rate * 3 * channels, 3 * channels, 24, b"data", data_size)

def write_wav24(path, rate, samples):
    """Frames of 24-bit integer samples as a PCM WAV, written by libsndfile."""
    soundfile.write(path, numpy.asarray(samples, dtype="int32") << 8, rate, subtype="PCM_24")
    return path

def samples24(wav):
    """libsndfile's reading of a file as 24-bit int32 frames."""
    return soundfile.read(wav, dtype="int32", always_2d=True)[0] >> 8

def cli24(source, channels, *options):
    """The ffmpeg CLI's 24-bit reading of the first audio track (it truncates where we round)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", source, *options, "-map", "0:a:0",
                          "-f", "s32le", "-c:a", "pcm_s32le", "-"], check=True, capture_output=True).stdout
    return numpy.frombuffer(raw, dtype="<i4").reshape(-1, channels) >> 8

class ExtractTest(unittest.TestCase):
    def assertSuccess(self, done, target, channels, rate):
        """Exit 0, the frame count alone on stdout, a header that tells the file's truth; the data."""
        self.assertEqual((done.returncode, done.stderr), (0, ""), target)
        with open(target, "rb") as f:
            header, data = f.read(44), f.read()
        self.assertEqual((header, len(data) % (3 * channels)), (wav_header(rate, channels, len(data)), 0))
        self.assertEqual(done.stdout, f"{len(data) // (3 * channels)}\n")
        return data

    def assertFailure(self, done, message):
        self.assertEqual((done.returncode, done.stdout, done.stderr), (1, "", message + "\n"))

    def assertDamagedCopiesHold(self, sources, folder, count):
        """Copies of each (source, channels) cut at 3, 50 and 95 %, and `count` with 64 random bytes somewhere
        (the same on every run), never crash, hang or lie: a true file, or one line and no target."""
        cases = []
        for source, channels in sources:
            original = pathlib.Path(source).read_bytes()
            generator = random.Random(os.path.basename(source))
            copies = [original[:int(len(original) * fraction)] for fraction in (0.03, 0.5, 0.95)]
            for _ in range(count):
                damaged, start = bytearray(original), generator.randrange(len(original))
                damaged[start:start + 64] = bytes(generator.randrange(256) for _ in range(64))
                copies.append(bytes(damaged))
            for contents in copies:
                copy = pathlib.Path(tempfile.mkdtemp(dir=folder), os.path.basename(source))
                copy.write_bytes(contents)
                cases.append((str(copy), channels, str(copy.parent / "out.wav")))
        # The runs are independent; running a few at once keeps the suite short.
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            for (copy, channels, target), done in zip(cases, pool.map(lambda c: extract(c[0], c[2]), cases)):
                with self.subTest(copy):
                    self.assertIn(done.returncode, (0, 1), done.stderr)
                    if done.returncode == 0:
                        self.assertSuccess(done, target, channels, 48000)
                    else:
                        self.assertEqual((done.stdout, done.stderr.count("\n")), ("", 1), done.stderr)
                        self.assertFalse(os.path.exists(target))
