#!/usr/bin/env python3
"""End-to-end tests of the mivra-extract binary on media made by the ffmpeg CLI.

Usage: test_extract.py PATH/TO/mivra-extract [unittest arguments]
"""

import concurrent.futures
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

EXTRACT = None
RUN_TIMEOUT = 60  # generous: the sanitizer build is several times slower
TOO_BIG = "depasse la taille d'un WAV classique, ffmpeg requis"


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", *arguments], check=True)


def sine(frequency, seconds=1, rate=44100):
    return ["-f", "lavfi", "-i", f"sine=frequency={frequency}:sample_rate={rate}:duration={seconds}"]


class Media:
    """Short test files, each with the facts a correct extraction must show."""

    def __init__(self, folder):
        self.folder = folder
        self.facts = {}
        stereo = sine(440) + sine(660) + ["-filter_complex", "[0:a][1:a]amerge=inputs=2"]
        self.make("stereo_s24.wav", 2, 44100, stereo + ["-c:a", "pcm_s24le"])
        self.make("stereo_s16.aiff", 2, 44100, stereo + ["-c:a", "pcm_s16be"])
        self.make("stereo_s24.caf", 2, 44100, stereo + ["-c:a", "pcm_s24le"])
        self.make("stereo.flac", 2, 44100, stereo + ["-c:a", "flac"])
        self.make("stereo.mp3", 2, 44100, stereo + ["-c:a", "libmp3lame", "-b:a", "192k"], exact=False)
        self.make("stereo_aac.m4a", 2, 44100, stereo + ["-c:a", "aac"], exact=False)
        self.make("stereo_f32.wav", 2, 48000, sine(1000, rate=48000) + sine(3000, rate=48000)
                  + ["-filter_complex", "[0:a][1:a]amerge=inputs=2,volume=0.9", "-c:a", "pcm_f32le"],
                  float_source=True)
        self.make("mono_odd.wav", 1, 22050, sine(330, rate=22050)
                  + ["-af", "atrim=end_sample=22049", "-c:a", "pcm_s24le"], frames=22049)
        six = []
        for channel in range(6):
            six += sine(200 + 150 * channel, rate=48000)
        inputs = "".join(f"[{i}:a]" for i in range(6))
        self.make("six_channels.wav", 6, 48000,
                  six + ["-filter_complex", f"{inputs}amerge=inputs=6", "-c:a", "pcm_s24le"])
        self.make("video_pcm.mov", 2, 48000,
                  ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1"]
                  + sine(500, rate=48000) + sine(700, rate=48000)
                  + ["-filter_complex", "[1:a][2:a]amerge=inputs=2[a]", "-map", "0:v", "-map", "[a]",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "pcm_s24le"])
        # The first audio stream is mono, the second stereo: the first must win.
        self.make("two_tracks.mov", 1, 44100,
                  sine(440) + sine(880) + sine(990)
                  + ["-filter_complex", "[1:a][2:a]amerge=inputs=2[b]", "-map", "0:a", "-map", "[b]",
                     "-c:a", "pcm_s24le"])
        ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-c:v", "libx264",
               "-preset", "ultrafast", self.path("video_only.mp4"))
        with open(self.path("notes.txt"), "w") as notes:
            notes.write("not media at all\n" * 50)

    def path(self, name):
        return os.path.join(self.folder, name)

    def make(self, name, channels, rate, arguments, frames=None, exact=True, float_source=False):
        ffmpeg(*arguments, self.path(name))
        self.facts[name] = {"channels": channels, "rate": rate, "frames": frames or rate,
                            "exact": exact, "float": float_source}


def run_extract(*arguments, cwd=None):
    return subprocess.run([EXTRACT, *arguments], capture_output=True, text=True, timeout=RUN_TIMEOUT,
                          stdin=subprocess.DEVNULL, cwd=cwd)


def read_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack("<4sI4s4sIHHIIHH4sI", data[:44])
    names = ("riff", "riff_size", "wave", "fmt", "fmt_size", "format", "channels", "rate",
             "byte_rate", "block_align", "bits", "data", "data_size")
    return dict(zip(names, fields)), data[44:]


def independent_decode(source, rate=None):
    """The first audio stream as raw 24-bit samples, decoded by the ffmpeg CLI."""
    resample = ["-ar", str(rate)] if rate else []
    return subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", source, "-map", "0:a:0", *resample,
                           "-c:a", "pcm_s24le", "-f", "s24le", "-"],
                          capture_output=True, check=True).stdout


def samples24(raw):
    return [int.from_bytes(raw[i:i + 3], "little", signed=True) for i in range(0, len(raw), 3)]


MEDIA = None


def setUpModule():
    global MEDIA
    MEDIA = Media(tempfile.mkdtemp(prefix="mivra-extract-e2e-"))


def tearDownModule():
    shutil.rmtree(MEDIA.folder)


class ExtractTestCase(unittest.TestCase):
    def setUp(self):
        self.media = MEDIA
        self.folder = MEDIA.folder
        self.out_dir = tempfile.mkdtemp(dir=self.folder)
        self.target = os.path.join(self.out_dir, "out.wav")

    def assertFailure(self, result, message):
        self.assertEqual((result.returncode, result.stdout, result.stderr), (1, "", message + "\n"))

    def assertConsistentSuccess(self, result, channels, rate):
        """Exit 0, the frame count alone on stdout, a header that tells the file's truth."""
        self.assertEqual((result.returncode, result.stderr), (0, ""), result.stderr)
        header, data = read_wav(self.target)
        self.assertEqual(header, {"riff": b"RIFF", "riff_size": len(data) + 36, "wave": b"WAVE",
                                  "fmt": b"fmt ", "fmt_size": 16, "format": 1, "channels": channels,
                                  "rate": rate, "byte_rate": rate * 3 * channels,
                                  "block_align": 3 * channels, "bits": 24, "data": b"data",
                                  "data_size": len(data)})
        self.assertEqual(len(data) % (3 * channels), 0)
        self.assertEqual(result.stdout, f"{len(data) // (3 * channels)}\n")
        return data


class Formats(ExtractTestCase):
    def test_every_format_at_its_native_rate_matches_an_independent_decode(self):
        for name, facts in self.media.facts.items():
            with self.subTest(name):
                source = self.media.path(name)
                result = run_extract(source, self.target, str(facts["rate"]))
                data = self.assertConsistentSuccess(result, facts["channels"], facts["rate"])
                reference = independent_decode(source)
                if facts["exact"] and not facts["float"]:
                    self.assertEqual(data, reference)
                else:
                    # The CLI truncates where we round; it also keeps the encoder's
                    # padding at the end of an AAC track, which the container trims.
                    self.assertLessEqual(len(data), len(reference))
                    worst = max(abs(a - b) for a, b in zip(samples24(data), samples24(reference)))
                    self.assertLessEqual(worst, 1)
                self.assertEqual(len(data) // (3 * facts["channels"]), facts["frames"])

    def test_names_that_look_like_protocols_are_plain_files(self):
        for name in ("pipe:0", "concat:a.wav|b.wav"):
            with self.subTest(name):
                shutil.copy(self.media.path("stereo_s24.wav"), os.path.join(self.out_dir, name))
                result = run_extract(name, "out.wav", "44100", cwd=self.out_dir)
                data = self.assertConsistentSuccess(result, 2, 44100)
                self.assertEqual(data, independent_decode(self.media.path("stereo_s24.wav")))

    def test_resampling_to_the_default_rate_keeps_the_duration(self):
        for name in ("stereo_s24.wav", "stereo.mp3", "stereo_aac.m4a", "stereo.flac", "two_tracks.mov"):
            with self.subTest(name):
                facts = self.media.facts[name]
                result = run_extract(self.media.path(name), self.target)
                data = self.assertConsistentSuccess(result, facts["channels"], 48000)
                expected = facts["frames"] * 48000 // facts["rate"]
                self.assertLessEqual(abs(len(data) // (3 * facts["channels"]) - expected), 1)

    def test_rounding_is_unbiased_where_the_cli_truncates(self):
        source = self.media.path("stereo_f32.wav")
        result = run_extract(source, self.target, "48000")
        ours = samples24(self.assertConsistentSuccess(result, 2, 48000))
        truncated = samples24(independent_decode(source))
        differences = [a - b for a, b in zip(ours, truncated)]
        self.assertEqual(set(differences) - {0, 1}, set())
        self.assertGreater(differences.count(1), len(differences) // 10)


class RateArgument(ExtractTestCase):
    def test_given_rates(self):
        for argument, header_rate in (("22050", 22050), ("44100.9", 44100), ("96000 extra", 96000)):
            with self.subTest(argument):
                result = run_extract(self.media.path("stereo_s24.wav"), self.target, argument, "ignored")
                data = self.assertConsistentSuccess(result, 2, header_rate)
                self.assertLessEqual(abs(len(data) // 6 - float(argument.split()[0])), 2)

    def test_rates_the_header_cannot_hold(self):
        for argument in ("inf", "0.5", "2000000000"):
            with self.subTest(argument):
                result = run_extract(self.media.path("stereo_s24.wav"), self.target, argument)
                message = TOO_BIG if argument != "0.5" else "format audio non convertible nativement"
                self.assertFailure(result, message)
                self.assertFalse(os.path.exists(self.target))


class Failures(ExtractTestCase):
    def test_usage(self):
        for arguments in ([], [self.media.path("stereo_s24.wav")]):
            self.assertFailure(run_extract(*arguments), "usage: mivra-extract <source> <cible.wav> [frequence]")

    def test_missing_source(self):
        missing = os.path.join("no", "such", "file.wav")
        self.assertFailure(run_extract(missing, self.target), "source introuvable : " + missing)
        self.assertFalse(os.path.exists(self.target))

    def test_sources_without_audio(self):
        for name in ("video_only.mp4", "notes.txt", ""):
            with self.subTest(name):
                with open(self.target, "w") as existing:
                    existing.write("keep")
                source = self.media.path(name)
                shown = name or os.path.basename(self.folder)
                self.assertFailure(run_extract(source, self.target), "aucune piste audio dans " + shown)
                with open(self.target) as kept:
                    self.assertEqual(kept.read(), "keep")

    def test_audio_without_a_decoder_leaves_target_untouched(self):
        with open(self.media.path("two_tracks.mov"), "rb") as f:
            contents = f.read()
        self.assertIn(b"in24", contents)
        source = os.path.join(self.out_dir, "unknown_codec.mov")
        with open(source, "wb") as f:
            f.write(contents.replace(b"in24", b"zzzz"))  # the sample description's codec tag
        with open(self.target, "w") as existing:
            existing.write("keep")
        self.assertFailure(run_extract(source, self.target), "lecture impossible : Decoder not found")
        with open(self.target) as kept:
            self.assertEqual(kept.read(), "keep")

    def test_audio_that_decodes_to_nothing_removes_target(self):
        with open(self.media.path("mono_odd.wav"), "rb") as f:
            contents = f.read()
        data_at = contents.find(b"data")
        empty = os.path.join(self.out_dir, "empty.wav")
        with open(empty, "wb") as f:
            f.write(contents[:data_at + 4] + bytes(4))
        with open(self.target, "w") as existing:
            existing.write("older file")
        self.assertFailure(run_extract(empty, self.target), "extraction interrompue : cause inconnue")
        self.assertFalse(os.path.exists(self.target))

    def test_targets_that_cannot_be_written(self):
        missing_folder = os.path.join(self.out_dir, "missing", "out.wav")
        for target in ("/dev/full", missing_folder, self.out_dir):
            with self.subTest(target):
                result = run_extract(self.media.path("stereo_s24.wav"), target)
                self.assertFailure(result, "ecriture impossible : " + target)
        self.assertTrue(os.path.exists("/dev/full"))

    def test_stated_duration_past_the_limit_is_refused_before_writing(self):
        # Mono 8 kHz 16-bit AIFF whose COMM chunk claims more frames than it holds.
        # At 48 kHz each stated frame is 18 output bytes: 238,609,292 frames give
        # 4,294,967,256 bytes (fits), one more gives 4,294,967,274 (past the limit).
        original = os.path.join(self.out_dir, "short.aiff")
        ffmpeg(*sine(440, rate=8000), "-c:a", "pcm_s16be", original)
        with open(original, "rb") as f:
            contents = bytearray(f.read())
        frames_at = contents.find(b"COMM") + 10
        for stated, fits in ((238_609_292, True), (238_609_293, False)):
            with self.subTest(stated):
                contents[frames_at:frames_at + 4] = struct.pack(">I", stated)
                claimed = os.path.join(self.out_dir, f"claims_{stated}.aiff")
                with open(claimed, "wb") as f:
                    f.write(contents)
                with open(self.target, "w") as existing:
                    existing.write("keep")
                result = run_extract(claimed, self.target)
                if fits:
                    self.assertConsistentSuccess(result, 1, 48000)
                else:
                    self.assertFailure(result, TOO_BIG)
                    with open(self.target) as kept:
                        self.assertEqual(kept.read(), "keep")

    def test_source_as_target_is_left_intact(self):
        copy = os.path.join(self.out_dir, "copy.wav")
        shutil.copy(self.media.path("stereo_s24.wav"), copy)
        with open(copy, "rb") as f:
            before = f.read()
        self.assertFailure(run_extract(copy, copy), "ecriture impossible : " + copy)
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), before)


class DamagedMedia(ExtractTestCase):
    """Cut or overwritten copies: never a crash, a hang, or a success that lies."""

    SOURCES = ("stereo_s24.wav", "stereo.mp3", "stereo_aac.m4a", "stereo.flac", "video_pcm.mov",
               "stereo_s24.caf", "six_channels.wav")

    def damaged_copies(self, name):
        with open(self.media.path(name), "rb") as f:
            original = f.read()
        stem, extension = os.path.splitext(name)
        for fraction in (0.03, 0.5, 0.95):
            yield f"{stem}_cut{fraction}{extension}", original[:int(len(original) * fraction)]
        generator = random.Random(name)
        for attempt in range(3):
            damaged = bytearray(original)
            start = generator.randrange(len(damaged))
            damaged[start:start + 64] = bytes(generator.randrange(256) for _ in range(64))
            yield f"{stem}_noise{attempt}{extension}", bytes(damaged)

    def run_on_copy(self, copy_name, contents):
        folder = tempfile.mkdtemp(dir=self.out_dir)
        copy, target = os.path.join(folder, copy_name), os.path.join(folder, "out.wav")
        with open(copy, "wb") as f:
            f.write(contents)
        return target, run_extract(copy, target)

    def test_damaged_copies(self):
        cases = [(name, copy_name, contents) for name in self.SOURCES
                 for copy_name, contents in self.damaged_copies(name)]
        # The runs are independent; running a few at once keeps the suite short.
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            outcomes = pool.map(lambda case: self.run_on_copy(case[1], case[2]), cases)
            for (name, copy_name, _), (target, result) in zip(cases, outcomes):
                with self.subTest(copy_name):
                    self.assertIn(result.returncode, (0, 1), result.stderr)
                    if result.returncode == 0:
                        self.target = target
                        self.assertConsistentSuccess(result, self.media.facts[name]["channels"], 48000)
                    else:
                        self.assertEqual(result.stdout, "")
                        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
                        self.assertFalse(os.path.exists(target))

if __name__ == "__main__":
    EXTRACT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
