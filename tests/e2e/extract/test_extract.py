#!/usr/bin/env python3
"""End-to-end tests of mivra-extract on media made by the ffmpeg CLI: each
format against the CLI's decoding, the wiring of arguments, messages, the
target and the process around a run."""

import contextlib
import os
import pty
import resource
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import numpy

from helpers import EXTRACT, ExtractTest, cli24, environment, extract, ffmpeg, run, samples24, write_wav24

TOO_BIG = "depasse la taille d'un WAV classique, ffmpeg requis"
USAGE = "usage: mivra-extract <source> <cible.wav> [frequence]"
FOLDER = None
FACTS = {}  # name: (channels, rate, frames, bit-exact against the CLI)

def sines(*frequencies, rate=44100, duration=1):
    return [a for f in frequencies
            for a in ("-f", "lavfi", "-i", f"sine=frequency={f}:sample_rate={rate}:duration={duration}")]

def merged(count, first=0, tail=""):
    return ["-filter_complex", "".join(f"[{i}:a]" for i in range(first, first + count))
            + f"amerge=inputs={count}{tail}"]

def setUpModule():
    global FOLDER
    FOLDER = tempfile.mkdtemp(prefix="mivra-extract-e2e-")
    with open(path("notes.txt"), "w") as f:
        f.write("not media at all\n" * 50)
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
    # Long enough that a run fed from a FIFO can be held with its target partly written.
    ffmpeg(*sines(440, 660, rate=48000, duration=30), *merged(2), "-c:a", "pcm_s24le", path("long.wav"))

def tearDownModule():
    shutil.rmtree(FOLDER)

def path(name):
    return os.path.join(FOLDER, name)

def ramp(rate, frames):
    """A stereo 24-bit WAV of a slow ramp, distinct on each channel."""
    values = [(i * 9973 + c * 1000) % 8_000_000 - 4_000_000 for i in range(frames) for c in range(2)]
    return write_wav24(path(f"ramp-{rate}-{frames}.wav"), rate, numpy.reshape(values, (frames, 2)))

def measured_run(*arguments, one_thread):
    """A run and its peak resident memory in MiB, from the run's own resource usage. The
    resident peak, not the address space: the libraries and each thread's malloc arena
    reserve far more than a run uses, and by how much depends on the machine's load."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen([EXTRACT, *arguments], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   env=environment(one_thread))
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)  # already reaped: Popen must not wait again
        out.seek(0), err.seek(0)
        return process.returncode, out.read().decode(), err.read().decode(), usage.ru_maxrss / 1024

class Extract(ExtractTest):
    def setUp(self):
        self.out_dir = tempfile.mkdtemp(dir=FOLDER)
        self.target = os.path.join(self.out_dir, "out.wav")

    def test_every_format_natively_and_at_the_default_rate(self):
        for name, (channels, rate, frames, exact) in FACTS.items():
            with self.subTest(name):
                self.assertSuccess(extract(path(name), self.target, str(rate)), self.target, channels, rate)
                got, reference = samples24(self.target), cli24(path(name), channels)
                self.assertEqual(len(got), frames)
                # The CLI truncates where we round; it also keeps the encoder's
                # padding at the end of an AAC track, which the container trims.
                differences = (got[:len(reference)] - reference[:len(got)]).ravel()
                self.assertLessEqual(set(differences), {0} if exact else {0, 1})
                if name.endswith("f32.wav"):  # rounding, not truncation, on every sample
                    self.assertGreater(numpy.count_nonzero(differences), len(differences) // 10)
                data = self.assertSuccess(extract(path(name), self.target), self.target, channels, 48000)
                self.assertLessEqual(abs(len(data) // (3 * channels) - frames * 48000 // rate), 1)

    def test_source_names_that_look_like_protocols_are_plain_files(self):
        for name in ("pipe:0", "concat:a.wav|b.wav"):
            with self.subTest(name):
                shutil.copy(path("stereo_s24.wav"), os.path.join(self.out_dir, name))
                self.assertSuccess(run(name, "out.wav", "44100", cwd=self.out_dir), self.target, 2, 44100)
                self.assertTrue(numpy.array_equal(samples24(self.target), cli24(path("stereo_s24.wav"), 2)))

    def test_conversions_far_apart_run_in_bounded_memory(self):
        # The resampler's output for one input sample far exceeds a piece of
        # output here: 6250 frames from each 1 Hz sample. The long source keeps
        # the decoder a full queue ahead of the conversion.
        for source, rate, frames in ((ramp(48000, 4800), 300_000_000, 30_000_000), (ramp(1, 20), 6250, 125_000),
                                     (ramp(62500, 62500), 10, 10), (path("long.wav"), 44100, 1_323_000)):
            for one_thread in (False, True):
                with self.subTest(rate=rate, one_thread=one_thread):
                    *done, peak = measured_run(source, self.target, str(rate), one_thread=one_thread)
                    self.assertEqual(done, [0, f"{frames}\n", ""])
                    self.assertEqual(os.path.getsize(self.target), 44 + frames * 6)
                    # A streaming run peaks near 38 MiB; the sanitizer's shadow memory has no such bound.
                    if os.environ.get("MIVRA_SANITIZED") != "1":
                        self.assertLess(peak, 64)

    def test_failures_say_why_and_leave_no_partial_target(self):
        wav = path("stereo_s24.wav")
        # The sample description's codec tag made unknown; a WAV whose data chunk is empty.
        with open(path("two_tracks.mov"), "rb") as f, open(path("unknown_codec.mov"), "wb") as unknown:
            unknown.write(f.read().replace(b"in24", b"zzzz"))
        with open(path("mono_odd.wav"), "rb") as f, open(path("empty.wav"), "wb") as empty:
            mono = f.read()
            empty.write(mono[:mono.find(b"data") + 4] + bytes(4))
        missing = os.path.join("no", "such", "file.wav")
        in_missing_folder = os.path.join(self.out_dir, "missing", "out.wav")
        t = self.target
        for arguments, message, target_kept in (
                ([], USAGE, True), ([wav], USAGE, True),
                ([missing, t], "source introuvable : " + missing, True),
                ([path("video_only.mp4"), t], "aucune piste audio dans video_only.mp4", True),
                ([path("notes.txt"), t], "aucune piste audio dans notes.txt", True),
                ([path("unknown_codec.mov"), t], "lecture impossible : Decoder not found", True),
                ([wav, t, "2000000000"], TOO_BIG, True),  # from the stated duration, before any writing
                # 48 kHz is more than 6250 times the 1 Hz the file states.
                ([ramp(1, 333), t, "48000"], "format audio non convertible nativement", True),
                ([path("empty.wav"), t], "extraction interrompue : cause inconnue", False),
                ([wav, "/dev/full"], "ecriture impossible : /dev/full", True),
                ([wav, in_missing_folder], "ecriture impossible : " + in_missing_folder, True),
                ([wav, self.out_dir], "ecriture impossible : " + self.out_dir, True)):
            with self.subTest(arguments):
                with open(t, "w") as f:
                    f.write("keep")
                self.assertFailure(run(*arguments), message)
                self.assertEqual(os.path.exists(t) and open(t).read(), target_kept and "keep")
        self.assertTrue(os.path.exists("/dev/full"))

    def test_damaged_copies_never_crash_hang_or_lie(self):
        self.assertDamagedCopiesHold([(path(name), FACTS[name][0]) for name in (
            "stereo_s24.wav", "stereo.mp3", "stereo_aac.m4a", "stereo.flac", "video_pcm.mov", "stereo_s24.caf",
            "six_channels.wav")], self.out_dir, 3)

    def test_faults_around_the_run_end_as_reported_failures(self):
        """A write that fails while the decoder runs ahead, and an output
        that takes no frame count."""
        for label, setup, message in (
                ("file-size limit", lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536)),
                 "ecriture impossible : " + self.target),
                ("closed stdout", lambda: os.close(1), "ecriture impossible : sortie standard")):
            with self.subTest(label):
                done = extract(path("stereo.flac"), self.target, preexec_fn=setup)
                self.assertEqual((done.returncode, done.stderr), (1, message + "\n"))
                self.assertFalse(os.path.exists(self.target))

    # Which signals, and what they remove, is decided and tested with the target
    # file; here the program installs the handler before it writes.
    def test_a_terminating_signal_removes_the_target_and_ends_the_run_by_that_signal(self):
        fifo = os.path.join(FOLDER, "source.wav")
        os.mkfifo(fifo)
        process = subprocess.Popen([EXTRACT, fifo, self.target], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                   preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0)))
        with open(fifo, "wb") as feed, open(path("long.wav"), "rb") as long:
            feed.write(long.read(4 << 20))  # the run then waits for more, its target partly written
            for _ in range(600):
                if os.path.exists(self.target) and os.path.getsize(self.target) > 0:
                    break
                time.sleep(0.1)
            process.send_signal(signal.SIGTERM)
            out, err = process.communicate(timeout=60)
        os.remove(fifo)
        self.assertEqual((process.returncode, out, err), (-signal.SIGTERM, "", ""))
        self.assertEqual(os.listdir(self.out_dir), [])

    def test_a_terminal_sees_progress_and_then_the_clean_end(self):
        """Fed from a FIFO, the run waits past its first second half way: the progress line shows on the
        terminal, then is blanked out before the frame count."""
        fifo = os.path.join(self.out_dir, "source.wav")
        os.mkfifo(fifo)
        controller, terminal = pty.openpty()
        process = subprocess.Popen([EXTRACT, fifo, self.target], stdin=subprocess.DEVNULL, stdout=terminal,
                                   stderr=terminal)
        os.close(terminal)
        with open(fifo, "wb") as feed, open(path("long.wav"), "rb") as long:
            feed.write(long.read(4 << 20))
            feed.flush()
            time.sleep(1.5)
            feed.write(long.read())
        shown = b""
        with contextlib.suppress(OSError):  # EIO once the program has closed the terminal
            while chunk := os.read(controller, 4096):
                shown += chunk
        os.close(controller)
        self.assertEqual(process.wait(timeout=60), 0)
        self.assertRegex(shown, rb"^(\rextraction en cours : 0:00:\d\d)+\r {29}\r1440000\r\n$")

if __name__ == "__main__":
    unittest.main(verbosity=1)
