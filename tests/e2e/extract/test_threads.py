#!/usr/bin/env python3
"""mivra-extract gives the same result whether decoding runs on a thread of its
own (the default) or everything runs on one thread (MIVRA_EXTRACT_THREADS=1):
the same exit status, output lines and target bytes, on the end-to-end inputs,
damaged copies of them, longer decoded inputs that fill the queue between the
threads, and the real-media corpus.

Usage: test_threads.py PATH/TO/mivra-extract [unittest arguments]
"""

import concurrent.futures
import glob
import hashlib
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

import test_corpus
import test_extract
from test_extract import ffmpeg

EXTRACT = None
FOLDER = None
RATES = ("48000", "44100")


def setUpModule():
    global FOLDER
    FOLDER = tempfile.mkdtemp(prefix="mivra-threads-")
    test_extract.setUpModule()
    test_corpus.setUpModule()


def tearDownModule():
    test_extract.tearDownModule()
    test_corpus.tearDownModule()
    shutil.rmtree(FOLDER)


def outcome(source, rate, one_thread, limit=None):
    """Exit status, output lines and the target's hash (None when absent) of one run."""
    target = os.path.join(tempfile.mkdtemp(dir=FOLDER), "out.wav")
    environment = dict(os.environ)
    environment.pop("MIVRA_EXTRACT_THREADS", None)
    if one_thread:
        environment["MIVRA_EXTRACT_THREADS"] = "1"
    done = subprocess.run([EXTRACT, source, target, rate], capture_output=True, env=environment, timeout=120,
                          stdin=subprocess.DEVNULL,
                          preexec_fn=limit and (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))))
    digest = None
    if os.path.exists(target):
        with open(target, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        os.remove(target)
    return done.returncode, done.stdout, done.stderr.replace(target.encode(), b"TARGET"), digest


def damaged_copies(source, count):
    """Copies cut short and copies with 64 random bytes somewhere, the same on every run."""
    with open(source, "rb") as f:
        original = f.read()
    generator = random.Random(os.path.basename(source))
    copies = [original[:int(len(original) * fraction)] for fraction in (0.03, 0.5, 0.95)]
    for _ in range(count):
        damaged, start = bytearray(original), generator.randrange(len(original))
        damaged[start:start + 64] = bytes(generator.randrange(256) for _ in range(64))
        copies.append(bytes(damaged))
    folder = tempfile.mkdtemp(dir=FOLDER)
    paths = []
    for index, contents in enumerate(copies):
        paths.append(os.path.join(folder, f"{index}-{os.path.basename(source)}"))
        with open(paths[-1], "wb") as f:
            f.write(contents)
    return paths


def long_inputs():
    """Decoded inputs long enough for the decoder to run ahead and wait."""
    made = []
    for name, arguments in (
            ("six.flac", ["-f", "lavfi", "-i", "anoisesrc=color=pink:sample_rate=48000:duration=20",
                          "-af", "pan=5.1|c0=c0|c1=0.9*c0|c2=0.8*c0|c3=0.7*c0|c4=0.6*c0|c5=0.5*c0",
                          "-c:a", "flac", "-sample_fmt", "s32"]),
            ("stereo.m4a", ["-f", "lavfi", "-i", "anoisesrc=color=pink:sample_rate=44100:duration=20",
                            "-ac", "2", "-c:a", "aac"]),
            ("stereo.mp3", ["-f", "lavfi", "-i", "sine=frequency=997:sample_rate=44100:duration=20",
                            "-ac", "2", "-c:a", "libmp3lame"])):
        made.append(os.path.join(FOLDER, name))
        ffmpeg(*arguments, made[-1])
    return made


def corpus_inputs():
    """The corpus packages' own media, lossless and lossy copies of one
    recording, and the container timeline cases."""
    shipped = [name for folder in test_corpus.PACKAGES.values()
               for pattern in ("**/*.wav", "**/*.oga", "**/*.ogg", "**/*.flac", "**/*.mp3")
               for name in glob.glob(os.path.join(folder, pattern), recursive=True)]
    recording = test_corpus.shipped("alsa-utils", "usr/share/sounds/alsa/Front_Center.wav")[0]
    copies = []
    for name, codec in (("copy.flac", "flac"), ("copy.mp4", "aac"), ("copy.oga", "libvorbis"),
                        ("copy.opus", "libopus"), ("copy.wma", "wmav2")):
        copies.append(os.path.join(FOLDER, name))
        ffmpeg("-i", recording, "-c:a", codec, copies[-1])
    timeline = {name: make() for name, make, *_ in test_corpus.timeline_cases()}
    damaged = [d for name in (*copies, timeline["chained opus"], timeline["edit list alac"])
               for d in damaged_copies(name, 4)]
    return sorted(shipped) + copies + list(timeline.values()) + damaged


class SameOnBothPaths(unittest.TestCase):
    def assertSameEverywhere(self, sources):
        cases = [(source, rate) for source in sources for rate in RATES]

        def both(case):
            return outcome(*case, one_thread=True), outcome(*case, one_thread=False)

        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for (source, rate), (one, pipelined) in zip(cases, pool.map(both, cases)):
                with self.subTest(source=source, rate=rate):
                    self.assertEqual(pipelined, one)

    def test_end_to_end_inputs_and_damaged_copies(self):
        sources = [test_extract.path(name) for name in (*test_extract.FACTS, "notes.txt", "video_only.mp4")]
        decoded = ("stereo.mp3", "stereo_aac.m4a", "stereo.flac", "stereo_f32.wav", "video_pcm.mov")
        damaged = [d for name in decoded for d in damaged_copies(test_extract.path(name), 5)]
        self.assertSameEverywhere(sources + damaged)

    def test_long_inputs(self):
        made = long_inputs()
        self.assertSameEverywhere(made + [d for name in made for d in damaged_copies(name, 4)])

    def test_corpus(self):
        self.assertSameEverywhere(corpus_inputs())

    def test_a_failed_write_stops_the_decoder_ahead_of_it(self):
        """The write fails while the decoder thread is ahead: the same message,
        no target left, and the run ends at once instead of decoding on."""
        flac = long_inputs()[0]
        for rate in RATES:
            one = outcome(flac, rate, one_thread=True, limit=65536)
            pipelined = outcome(flac, rate, one_thread=False, limit=65536)
            self.assertEqual(pipelined, one)
            self.assertEqual(pipelined, (1, b"", b"ecriture impossible : TARGET\n", None))


if __name__ == "__main__":
    EXTRACT = os.path.abspath(sys.argv.pop(1))
    test_extract.EXTRACT = test_corpus.EXTRACT = EXTRACT
    unittest.main(verbosity=1)
