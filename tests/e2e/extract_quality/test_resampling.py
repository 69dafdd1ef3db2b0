"""Sample-rate conversion quality of mivra-extract, measured on its output files.

The program to test is named by the environment variable MIVRA_EXTRACT and run
as `MIVRA_EXTRACT SOURCE TARGET RATE`. Inputs are 24-bit mono WAV files made
here; their own measurement is checked first, so a failure points at the
conversion and not at the generator.
"""

import os
import subprocess
import tempfile
import unittest
import wave

import numpy as np

FULL_SCALE = 2 ** 23
LIMIT_DB = -120.0
# Filter start-up and flush transients at both ends are not part of the steady state.
EDGE_SECONDS = 0.25


def db(ratio):
    return 20 * np.log10(ratio)


def amplitude(dbfs):
    return 10 ** (dbfs / 20)


def write_wav24(path, rate, samples):
    ints = np.clip(np.round(samples * FULL_SCALE), -FULL_SCALE, FULL_SCALE - 1).astype("<i4")
    # Little-endian 24-bit: the low three bytes of each 32-bit value.
    packed = ints.view(np.uint8).reshape(-1, 4)[:, :3].tobytes()
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(3)
        w.setframerate(rate)
        w.writeframes(packed)


def read_wav24(path):
    with wave.open(str(path), "rb") as w:
        assert w.getsampwidth() == 3, f"{w.getsampwidth() * 8}-bit output"
        assert w.getnchannels() == 1, f"{w.getnchannels()} channels for a mono source"
        rate = w.getframerate()
        raw = np.frombuffer(w.readframes(w.getnframes()), dtype=np.uint8).reshape(-1, 3)
    ints = (raw[:, 0].astype(np.int32) | (raw[:, 1].astype(np.int32) << 8)
            | (raw[:, 2].astype(np.int32) << 16))
    ints = np.where(ints >= FULL_SCALE, ints - 2 * FULL_SCALE, ints)
    return rate, ints / FULL_SCALE


def tone(rate, seconds, freq, level):
    t = np.arange(int(rate * seconds)) / rate
    return level * np.sin(2 * np.pi * freq * t)


def steady(samples, rate):
    edge = int(EDGE_SECONDS * rate)
    return samples[edge:len(samples) - edge]


def thd_n(samples, rate, freq):
    """Fits the fundamental at the known frequency by least squares.

    Returns its amplitude and the residual (harmonics, noise, glitches, DC)
    relative to it in dB, both RMS.
    """
    x = steady(samples, rate)
    phase = 2 * np.pi * freq * np.arange(len(x)) / rate
    basis = np.column_stack([np.sin(phase), np.cos(phase)])
    coef, *_ = np.linalg.lstsq(basis, x, rcond=None)
    fundamental = basis @ coef
    residual = x - fundamental
    rms = lambda v: np.sqrt(np.mean(v * v))
    return np.hypot(*coef), db(rms(residual) / rms(fundamental))


def spectrum(samples, rate):
    """Amplitude spectrum with 1 Hz bins, scaled so that a sine of amplitude A peaks at A.

    One second of steady state under a Kaiser window (beta 20): its side lobes
    lie below -155 dB, far under what is measured, and tones at whole hertz
    fall on bin centres.
    """
    x = steady(samples, rate)[:rate]
    assert len(x) == rate, "output too short to analyse"
    window = np.kaiser(rate, 20)
    return np.abs(np.fft.rfft(x * window)) / (window.sum() / 2)


def largest_away_from(mags, *tones, guard_hz=10):
    """Largest component outside the tones' main lobes: (frequency in Hz, amplitude)."""
    others = mags.copy()
    for freq in tones:
        others[max(0, freq - guard_hz):freq + guard_hz + 1] = 0
    k = int(np.argmax(others))
    return k, others[k]


class ResamplingQuality(unittest.TestCase):
    def setUp(self):
        self.extractor = os.environ["MIVRA_EXTRACT"]
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def quantised(self, samples, rate):
        """The source as the extractor will read it, after 24-bit quantisation."""
        path = os.path.join(self.dir.name, "generated.wav")
        write_wav24(path, rate, samples)
        return read_wav24(path)[1]

    def convert(self, samples, source_rate, target_rate):
        source = os.path.join(self.dir.name, "source.wav")
        target = os.path.join(self.dir.name, "target.wav")
        write_wav24(source, source_rate, samples)
        run = subprocess.run([self.extractor, source, target, str(target_rate)],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        rate, out = read_wav24(target)
        self.assertEqual(rate, target_rate)
        # One second of silence, filter tails or lost buffers would shift this.
        self.assertAlmostEqual(len(out) / rate, len(samples) / source_rate, delta=0.01)
        return out

    def test_thd_n_of_1khz_at_minus_1dbfs_from_44k1_to_48k(self):
        level = amplitude(-1)
        source = tone(44100, 3, 1000, level)
        # A 24-bit source measures about -145 dB: room enough under the limit.
        _, floor = thd_n(self.quantised(source, 44100), 44100, 1000)
        self.assertLess(floor, LIMIT_DB - 15, "the generated source is not clean enough")

        measured, ratio = thd_n(self.convert(source, 44100, 48000), 48000, 1000)
        print(f"\nTHD+N 1 kHz -1 dBFS 44.1k->48k: {ratio:.1f} dB"
              f" (source {floor:.1f} dB), level {db(measured / level):+.4f} dB")
        self.assertLess(ratio, LIMIT_DB)
        self.assertAlmostEqual(db(measured / level), 0, delta=0.05)

    def assert_only_tone_remains(self, source_rate, target_rate, tones, kept):
        """Converts equal tones at -7 dBFS; only `kept` may remain in the output.

        Every other component, whether an image, a folded tone or noise, must
        stay under the limit relative to the kept tone.
        """
        level = amplitude(-7)
        source = sum(tone(source_rate, 3, f, level) for f in tones)
        _, floor = largest_away_from(spectrum(self.quantised(source, source_rate), source_rate),
                                     *tones)
        self.assertLess(db(floor / level), LIMIT_DB - 15,
                        "the generated source is not clean enough")

        mags = spectrum(self.convert(source, source_rate, target_rate), target_rate)
        passed = mags[kept]
        freq, spur = largest_away_from(mags, kept)
        print(f"\n{source_rate}->{target_rate} Hz, tones {tones} Hz: {kept} Hz at"
              f" {db(passed / level):+.4f} dB; largest other component"
              f" {db(spur / passed):.1f} dB at {freq} Hz")
        self.assertLess(db(spur / passed), LIMIT_DB)
        self.assertAlmostEqual(db(passed / level), 0, delta=0.2)

    def test_no_image_from_44k1_to_48k(self):
        # An imperfect interpolation filter mirrors 19 kHz around 22.05 kHz (25.1 kHz).
        self.assert_only_tone_remains(44100, 48000, [19000], 19000)

    def test_no_image_or_alias_from_48k_to_44k1(self):
        # 23 kHz lies above the new Nyquist frequency: it must be removed, not
        # folded back to 21.1 kHz, while 19 kHz comes through alone.
        self.assert_only_tone_remains(48000, 44100, [19000, 23000], 19000)

if __name__ == "__main__":
    unittest.main()
