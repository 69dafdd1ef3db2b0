#!/usr/bin/env python3
"""End-to-end tests of mivra-extract on media made by the ffmpeg CLI.

Usage: test_extract.py PATH/TO/mivra-extract [unittest arguments]
"""

import concurrent.futures
import os
import random
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

EXTRACT = None
TOO_BIG = "depasse la taille d'un WAV classique, ffmpeg requis"
USAGE = "usage: mivra-extract <source> <cible.wav> [frequence]"
FOLDER = None
FACTS = {}  # name: (channels, rate, frames, bit-exact against the CLI)


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", *arguments], check=True)


def sines(*frequencies, rate=44100, duration=1):
    return [a for f in frequencies
            for a in ("-f", "lavfi", "-i", f"sine=frequency={f}:sample_rate={rate}:duration={duration}")]


def merged(count, first=0, tail=""):
    return ["-filter_complex", "".join(f"[{i}:a]" for i in range(first, first + count))
            + f"amerge=inputs={count}{tail}"]


def setUpModule():
    global FOLDER
    FOLDER = tempfile.mkdtemp(prefix="mivra-extract-e2e-")
    write(path("notes.txt"), "not media at all\n" * 50)
    stereo = sines(440, 660) + merged(2)
    video = ["-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-c:v", "libx264",
             "-preset", "ultrafast", "-pix_fmt", "yuv420p"]
    for name, channels, rate, frames, exact, arguments in (
            ("stereo_s24.wav", 2, 44100, 44100, True, stereo + ["-c:a", "pcm_s24le"]),
            ("stereo_s16.aiff", 2, 44100, 44100, True, stereo + ["-c:a", "pcm_s16be"]),
            ("stereo_s24.caf", 2, 44100, 44100, True, stereo + ["-c:a", "pcm_s24le"]),
            ("stereo.flac", 2, 44100, 44100, True, stereo + ["-c:a", "flac"]),
            ("stereo.mp3", 2, 44100, 44100, False, stereo + ["-c:a", "libmp3lame", "-b:a", "192k"]),
            ("stereo_aac.m4a", 2, 44100, 44100, False, stereo + ["-c:a", "aac"]),
            ("stereo_f32.wav", 2, 48000, 48000, False, sines(1000, 3000, rate=48000)
             + merged(2, tail=",volume=0.9") + ["-c:a", "pcm_f32le"]),
            ("mono_odd.wav", 1, 22050, 22049, True, sines(330, rate=22050)
             + ["-af", "atrim=end_sample=22049", "-c:a", "pcm_s24le"]),
            ("six_channels.wav", 6, 48000, 48000, True, sines(*range(200, 1100, 150), rate=48000)
             + merged(6) + ["-c:a", "pcm_s24le"]),
            ("video_pcm.mov", 2, 48000, 48000, True, sines(500, 700, rate=48000) + video[:4]
             + merged(2, tail="[a]") + ["-map", "2:v", "-map", "[a]"] + video[4:] + ["-c:a", "pcm_s24le"]),
            # The first audio stream is mono, the second stereo: the first must win.
            ("two_tracks.mov", 1, 44100, 44100, True, sines(440, 880, 990) + merged(2, 1, "[b]")
             + ["-map", "0:a", "-map", "[b]", "-c:a", "pcm_s24le"])):
        ffmpeg(*arguments, path(name))
        FACTS[name] = (channels, rate, frames, exact)
    ffmpeg(*video, path("video_only.mp4"))
    # Long enough that a run fed from a FIFO can be held with its target open and partly written.
    ffmpeg(*sines(440, 660, rate=48000, duration=30), *merged(2), "-c:a", "pcm_s24le", path("long.wav"))


def tearDownModule():
    shutil.rmtree(FOLDER)


def path(name):
    return os.path.join(FOLDER, name)


def read(name):
    with open(name, "rb") as f:
        return f.read()


def write(name, contents):
    with open(name, "wb" if isinstance(contents, bytes) else "w") as f:
        f.write(contents)
    return name


def run_extract(*arguments, cwd=None):
    # A generous timeout: the sanitizer build is several times slower.
    return subprocess.run([EXTRACT, *arguments], capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL, cwd=cwd)


def independent_decode(source):
    """The first audio stream as raw 24-bit samples at its own rate, decoded by the ffmpeg CLI."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", source, "-map", "0:a:0", "-f", "s24le", "-"],
                          capture_output=True, check=True, stdin=subprocess.DEVNULL).stdout


def samples24(raw):
    return [int.from_bytes(raw[i:i + 3], "little", signed=True) for i in range(0, len(raw), 3)]


def has_data(name):
    return os.path.exists(name) and os.path.getsize(name) > 0


def no_core_dump():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


class HeldRun:
    """A run of the long source through a FIFO: fed until ready() holds, then
    held there (the run waits for input) until finish()."""

    def __init__(self, folder, target, ready):
        self.fifo = os.path.join(folder, "source.wav")
        os.mkfifo(self.fifo)
        self.ready, self.held, self.go = ready, threading.Event(), threading.Event()
        self.process = subprocess.Popen([EXTRACT, self.fifo, target], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        preexec_fn=no_core_dump)
        self.feeder = threading.Thread(target=self.feed)
        self.feeder.start()
        if not self.held.wait(60):
            self.finish()
            raise AssertionError("the run was never held with its target ready")

    def feed(self):
        data, sent = read(path("long.wav")), 0
        try:
            with open(self.fifo, "wb") as fifo:
                while sent < len(data) and not self.ready():
                    fifo.write(data[sent:sent + 65536])
                    fifo.flush()
                    sent += 65536
                if sent < len(data):
                    self.held.set()
                self.go.wait(60)
                fifo.write(data[sent:])
        except BrokenPipeError:  # the run ended first
            pass

    def finish(self):
        self.go.set()
        out, err = self.process.communicate(timeout=60)
        self.feeder.join()
        return subprocess.CompletedProcess(self.process.args, self.process.returncode, out, err)


class Extract(unittest.TestCase):
    def setUp(self):
        self.out_dir = tempfile.mkdtemp(dir=FOLDER)
        self.target = os.path.join(self.out_dir, "out.wav")

    def assertSuccess(self, result, channels, rate, target=None):
        """Exit 0, the frame count alone on stdout, a header that tells the file's truth."""
        self.assertEqual((result.returncode, result.stderr), (0, ""), result.stderr)
        contents = read(target or self.target)
        data = contents[44:]
        self.assertEqual(contents[:44], struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", len(data) + 36, b"WAVE",
                                                    b"fmt ", 16, 1, channels, rate, rate * 3 * channels,
                                                    3 * channels, 24, b"data", len(data)))
        self.assertEqual(len(data) % (3 * channels), 0)
        self.assertEqual(result.stdout, f"{len(data) // (3 * channels)}\n")
        return data

    def test_every_format_natively_and_at_the_default_rate(self):
        for name, (channels, rate, frames, exact) in FACTS.items():
            with self.subTest(name):
                data = self.assertSuccess(run_extract(path(name), self.target, str(rate)), channels, rate)
                reference = independent_decode(path(name))
                self.assertEqual(len(data) // (3 * channels), frames)
                if exact:
                    self.assertEqual(data, reference)
                else:
                    # The CLI truncates where we round; it also keeps the encoder's
                    # padding at the end of an AAC track, which the container trims.
                    differences = [a - b for a, b in zip(samples24(data), samples24(reference))]
                    self.assertLessEqual(set(differences), {0, 1})
                    if name.endswith("f32.wav"):  # rounding, not truncation, on every sample
                        self.assertGreater(differences.count(1), len(differences) // 10)
                data = self.assertSuccess(run_extract(path(name), self.target), channels, 48000)
                self.assertLessEqual(abs(len(data) // (3 * channels) - frames * 48000 // rate), 1)

    def test_names_that_look_like_protocols_are_plain_files(self):
        for name in ("pipe:0", "concat:a.wav|b.wav"):
            with self.subTest(name):
                shutil.copy(path("stereo_s24.wav"), os.path.join(self.out_dir, name))
                result = run_extract(name, "out.wav", "44100", cwd=self.out_dir)
                self.assertEqual(self.assertSuccess(result, 2, 44100), independent_decode(path("stereo_s24.wav")))

    def test_rate_argument(self):
        # A leading number counts and the rest is ignored; none, zero or negative mean 48 kHz.
        for arguments, rate in (([], 48000), (["0"], 48000), (["-44100"], 48000), (["abc"], 48000),
                                (["44100.9"], 44100), (["22050Hz", "ignored"], 22050)):
            with self.subTest(arguments):
                result = run_extract(path("stereo_s24.wav"), self.target, *arguments)
                self.assertLessEqual(abs(len(self.assertSuccess(result, 2, rate)) // 6 - rate), 2)

    def test_failures_say_why_and_leave_no_partial_target(self):
        wav = path("stereo_s24.wav")
        # The sample description's codec tag made unknown; a WAV whose data chunk is empty.
        unknown = write(path("unknown_codec.mov"), read(path("two_tracks.mov")).replace(b"in24", b"zzzz"))
        mono = read(path("mono_odd.wav"))
        empty = write(path("empty.wav"), mono[:mono.find(b"data") + 4] + bytes(4))
        missing = os.path.join("no", "such", "file.wav")
        in_missing_folder = os.path.join(self.out_dir, "missing", "out.wav")
        t = self.target
        for arguments, message, target_kept in (
                ([], USAGE, True), ([wav], USAGE, True),
                ([missing, t], "source introuvable : " + missing, True),
                ([path("video_only.mp4"), t], "aucune piste audio dans video_only.mp4", True),
                ([path("notes.txt"), t], "aucune piste audio dans notes.txt", True),
                ([FOLDER + "/", t], "aucune piste audio dans " + os.path.basename(FOLDER), True),
                ([unknown, t], "lecture impossible : Decoder not found", True),
                ([wav, t, "2000000000"], TOO_BIG, True),  # from the stated duration, before any writing
                ([empty, t], "extraction interrompue : cause inconnue", False),
                ([wav, "/dev/full"], "ecriture impossible : /dev/full", True),
                ([wav, in_missing_folder], "ecriture impossible : " + in_missing_folder, True),
                ([wav, self.out_dir], "ecriture impossible : " + self.out_dir, True)):
            with self.subTest(arguments):
                write(t, "keep")
                result = run_extract(*arguments)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (1, "", message + "\n"))
                self.assertEqual(os.path.exists(t) and read(t), target_kept and b"keep")
        self.assertTrue(os.path.exists("/dev/full"))

    def test_damaged_copies_never_crash_hang_or_lie(self):
        cases = []
        for name in ("stereo_s24.wav", "stereo.mp3", "stereo_aac.m4a", "stereo.flac", "video_pcm.mov",
                     "stereo_s24.caf", "six_channels.wav"):
            original, generator = read(path(name)), random.Random(name)
            copies = [original[:int(len(original) * fraction)] for fraction in (0.03, 0.5, 0.95)]
            for _ in range(3):
                damaged, start = bytearray(original), generator.randrange(len(original))
                damaged[start:start + 64] = bytes(generator.randrange(256) for _ in range(64))
                copies.append(bytes(damaged))
            for index, contents in enumerate(copies):
                folder = tempfile.mkdtemp(dir=self.out_dir)
                cases.append((f"{index}_{name}", FACTS[name][0], write(os.path.join(folder, name), contents),
                              os.path.join(folder, "out.wav")))
        # The runs are independent; running a few at once keeps the suite short.
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            for (label, channels, _, target), result in zip(cases, pool.map(lambda c: run_extract(*c[2:]), cases)):
                with self.subTest(label):
                    self.assertIn(result.returncode, (0, 1), result.stderr)
                    if result.returncode == 0:
                        self.assertSuccess(result, channels, 48000, target)
                    else:
                        self.assertEqual((result.stdout, result.stderr.count("\n")), ("", 1), result.stderr)
                        self.assertFalse(os.path.exists(target))

    def test_faults_around_the_run_end_as_reported_failures(self):
        wav, t = path("stereo_s24.wav"), self.target
        with open(os.devnull, "rb") as no_input, open("/dev/full", "wb") as full:
            for label, extra, message in (
                    ("file-size limit", {"preexec_fn": lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))},
                     "ecriture impossible : " + t),
                    ("full stdout", {"stdout": full}, "ecriture impossible : sortie standard"),
                    ("closed stdout", {"stdout": subprocess.DEVNULL, "preexec_fn": lambda: os.close(1)},
                     "ecriture impossible : sortie standard")):
                with self.subTest(label):
                    result = subprocess.run([EXTRACT, wav, t], stdin=no_input, stderr=subprocess.PIPE, text=True,
                                            timeout=60, **{"stdout": subprocess.PIPE, **extra})
                    self.assertEqual((result.returncode, result.stderr), (1, message + "\n"))
                    self.assertFalse(os.path.exists(t))


    # Which signals, and what they remove, is decided and tested with the target file;
    # here the program installs the handler before it writes.
    def test_a_terminating_signal_removes_the_target_and_ends_the_run_by_that_signal(self):
        run = HeldRun(self.out_dir, self.target, lambda: has_data(self.target))
        run.process.send_signal(signal.SIGTERM)
        result = run.finish()
        os.remove(run.fifo)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (-signal.SIGTERM, "", ""))
        self.assertEqual(os.listdir(self.out_dir), [])

if __name__ == "__main__":
    EXTRACT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
