"""Sample-rate conversion quality of mivra-extract, measured on its output files.

The sources are 24-bit mono WAV files made here. Each source is measured first, so that a
failure points at the conversion and not at the generator. A lossy source
(AAC) is resampled with less precision: its conversion is measured against
the ffmpeg CLI's soxr at precision 28 applied to the same decoded samples.
"""

import os
import tempfile
import unittest

import numpy as np
import soundfile

from helpers import ffmpeg, run, write_wav24

FULL_SCALE = 2 ** 23
LIMIT_DB = -120.0
LOSSY_THD_N_DB = -130.0
EDGE_SECONDS = 0.25  # filter start-up and flush transients are not the steady state

def db(ratio):
    return 20 * np.log10(ratio)

def steady(samples, rate):
    return samples[int(EDGE_SECONDS * rate):len(samples) - int(EDGE_SECONDS * rate)]

def thd_n(samples, rate, freq):
    """The fundamental's amplitude, fitted by least squares, and the RMS of the rest relative to it in dB."""
    x = steady(samples, rate)
    phase = 2 * np.pi * freq * np.arange(len(x)) / rate
    basis = np.column_stack([np.sin(phase), np.cos(phase)])
    coef = np.linalg.lstsq(basis, x, rcond=None)[0]
    residual = x - basis @ coef
    return np.hypot(*coef), db(np.sqrt(2 * np.mean(residual ** 2)) / np.hypot(*coef))

def largest_spur(samples, rate, tones, guard_hz=10):
    """The amplitude at each tone and the largest component away from them, as (Hz, amplitude).

    1 Hz bins over one second under a Kaiser window (beta 20), whose side lobes
    lie below -155 dB; a sine of amplitude A peaks at A.
    """
    x = steady(samples, rate)[:rate]
    assert len(x) == rate, "output too short to analyse"
    window = np.kaiser(rate, 20)
    mags = np.abs(np.fft.rfft(x * window)) / (window.sum() / 2)
    at_tones = [mags[f] for f in tones]
    for f in tones:
        mags[max(0, f - guard_hz):f + guard_hz + 1] = 0
    return at_tones, (int(np.argmax(mags)), mags.max())

class ResamplingQuality(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.file = lambda name: os.path.join(folder.name, name)

    def extract(self, source, target_rate):
        target = self.file(f"{target_rate}.wav")
        done = run(source, target, str(target_rate))
        self.assertEqual(done.returncode, 0, done.stderr)
        out = soundfile.read(target, dtype="int32")[0] / 256 / FULL_SCALE
        self.assertEqual(soundfile.info(target).samplerate, target_rate)
        self.assertAlmostEqual(len(out) / target_rate, 3, delta=0.01)  # nothing lost, no silence or tail added
        return out

    def convert(self, rate, target_rate, tones, dbfs):
        """Equal tones at `dbfs` as 24-bit samples, and the extractor's output at target_rate."""
        t = np.arange(3 * rate) / rate
        ints = np.round(sum(10 ** (dbfs / 20) * np.sin(2 * np.pi * f * t) for f in tones) * FULL_SCALE)
        return ints / FULL_SCALE, self.extract(write_wav24(self.file("source.wav"), rate, ints), target_rate)

    def convert_lossy(self, rate, target_rate, tones):
        """Tones at -7 dBFS through AAC, then the extractor's conversion and the same decoded
        samples (taken at the source's rate) converted by soxr at precision 28."""
        self.convert(rate, rate, tones, -7)
        lossy, reference = self.file("source.m4a"), self.file("reference.f64")
        ffmpeg("-i", self.file("source.wav"), "-c:a", "aac", "-b:a", "256k", lossy)
        self.extract(lossy, rate)
        ffmpeg("-i", self.file(f"{rate}.wav"), "-af", f"aresample={target_rate}:resampler=soxr:precision=28",
               "-f", "f64le", "-c:a", "pcm_f64le", reference)
        out, expected = self.extract(lossy, target_rate), np.fromfile(reference, "<f8")
        self.assertEqual(len(out), len(expected))
        return out, out - expected

    def test_thd_n_of_1khz_at_minus_1dbfs_from_44k1_to_48k(self):
        source, out = self.convert(44100, 48000, [1000], -1)
        self.assertLess(thd_n(source, 44100, 1000)[1], LIMIT_DB - 15, "source not clean enough")
        level, ratio = thd_n(out, 48000, 1000)
        self.assertLess(ratio, LIMIT_DB)
        self.assertAlmostEqual(db(level), -1, delta=0.05)

    def test_no_image_or_alias(self):
        """19 kHz alone comes through; every other component (an image mirrored around the old Nyquist
        frequency, 23 kHz folded back from above the new one, noise) stays under the limit relative to it."""
        for rate, target_rate, tones in ((44100, 48000, [19000]), (48000, 44100, [19000, 23000])):
            with self.subTest(rate=rate, target_rate=target_rate):
                source, out = self.convert(rate, target_rate, tones, -7)
                self.assertLess(db(largest_spur(source, rate, tones)[1][1]) + 7, LIMIT_DB - 15,
                                "source not clean enough")
                (passed,), (freq, spur) = largest_spur(out, target_rate, [19000])
                self.assertLess(db(spur / passed), LIMIT_DB, f"{freq} Hz")
                self.assertAlmostEqual(db(passed), -7, delta=0.2)

    def test_lossy_source_thd_n_images_and_aliases(self):
        _, error = self.convert_lossy(44100, 48000, [1000])
        self.assertLess(db(np.sqrt(np.mean(steady(error, 48000) ** 2)) / 10 ** (-7 / 20)), LOSSY_THD_N_DB)
        for rate, target_rate, tones in ((44100, 48000, [19000]), (48000, 44100, [19000, 23000])):
            _, error = self.convert_lossy(rate, target_rate, tones)
            _, (freq, spur) = largest_spur(error, target_rate, [f for f in tones if f < target_rate // 2])
            self.assertLess(db(spur) + 7, LIMIT_DB, f"{rate}->{target_rate} Hz: {freq} Hz")

if __name__ == "__main__":
    unittest.main()
