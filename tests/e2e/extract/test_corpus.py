#!/usr/bin/env python3
"""mivra-extract on media no one here made: sample and test files shipped in
Debian packages (fetched by corpus/fetch), cut copies of them, and
editor-style files made from them with the ffmpeg CLI. Each result is
compared with an independent decoder: libsndfile (python3-soundfile) or the
ffmpeg CLI, bit-exact at the source's rate for PCM and lossless sources.

Usage: test_corpus.py PATH/TO/mivra-extract [unittest arguments]
"""

import glob
import os
import pathlib
import shutil
import subprocess
import sys
import struct
import tempfile
import unittest
import uuid

import numpy
import soundfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXTRACT = None
FOLDER = None
PACKAGES = {}  # package name: unpacked folder


def ffmpeg(*arguments):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", *arguments], check=True)


def path(name):
    return os.path.join(FOLDER, name)


def setUpModule():
    global FOLDER
    FOLDER = tempfile.mkdtemp(prefix="mivra-corpus-")
    fetched = subprocess.run([os.path.join(HERE, "corpus", "fetch")], check=True, capture_output=True, text=True)
    for folder in fetched.stdout.split():
        PACKAGES[os.path.basename(folder).split("_")[0]] = folder


def tearDownModule():
    shutil.rmtree(FOLDER, ignore_errors=True)


def shipped(package, pattern):
    found = sorted(glob.glob(os.path.join(PACKAGES[package], pattern)))
    assert found, f"{package} ships no {pattern}"
    return found


def extract(source, rate):
    target = path("out.wav")
    done = subprocess.run([EXTRACT, source, target, str(rate)], capture_output=True, text=True)
    return done, target


def samples24(wav):
    """The 24-bit samples of an extracted file as int32 frames."""
    data, _ = soundfile.read(wav, dtype="int32", always_2d=True)
    return data >> 8


def reference24(source):
    """libsndfile's reading of a source, at its rate, as 24-bit int32 frames."""
    data, _ = soundfile.read(source, dtype="int32", always_2d=True)
    return data >> 8


def cli24(source, channels, *options):
    """The ffmpeg CLI's 24-bit reading of the first audio track, as frames."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", source, *options, "-map", "0:a:0",
                          "-f", "s32le", "-c:a", "pcm_s32le", "-"], check=True, capture_output=True).stdout
    return (numpy.frombuffer(raw, dtype="<i4").reshape(-1, channels)) >> 8


def libsndfile(source):
    return soundfile.read(source, always_2d=True)[0]


def oggdec(source):
    """libvorbisfile's reading, every link of a chain, as floats."""
    raw = subprocess.run(["oggdec", "-Q", "-R", "-b", "16", "-o", "-", source], check=True,
                         capture_output=True).stdout
    return numpy.frombuffer(raw, dtype="<i2").reshape(-1, soundfile.info(source).channels) / 32768


def opusdec(source):
    """libopus's reading, every link of a chain, as floats."""
    subprocess.run(["opusdec", "--quiet", "--rate", "48000", "--float", source, path("opusdec.wav")], check=True,
                   capture_output=True)
    return libsndfile(path("opusdec.wav"))


def joined(name, *parts):
    """Files joined end to end, as cat joins them."""
    pathlib.Path(path(name)).write_bytes(b"".join(pathlib.Path(part).read_bytes() for part in parts))
    return path(name)


def vcut_second_half(wav):
    """The second half of an oggenc file cut by vcut: its first granule states a start trim."""
    subprocess.run(["oggenc", "-Q", wav, "-o", path("whole.ogg")], check=True)
    subprocess.run(["vcut", path("whole.ogg"), path("first.ogg"), path("second.ogg"), "30000"], check=True,
                   capture_output=True)
    return path("second.ogg")


def opus_chain(*ogas):
    """Opus files made from shipped Vorbis sounds, joined into one chain."""
    for i, oga in enumerate(ogas):
        subprocess.run(["oggdec", "-Q", oga, "-o", path("decoded.wav")], check=True)
        subprocess.run(["opusenc", "--quiet", path("decoded.wav"), path(f"link{i}.opus")], check=True)
    return joined("chain.opus", *(path(f"link{i}.opus") for i in range(len(ogas))))


def with_edit_list(mov, edits, rate=1.0):
    """Rewrites the edit list ffmpeg wrote for a MOV's only track: (media start
    in seconds, or None for an empty edit, duration in seconds) in turn."""
    data = bytearray(pathlib.Path(mov).read_bytes())
    movie_scale = struct.unpack_from(">I", data, data.find(b"mvhd") + 16)[0]
    media_scale = struct.unpack_from(">I", data, data.find(b"mdhd") + 16)[0]
    elst = data.find(b"elst") - 4
    assert elst > data.find(b"mdat"), "the header follows the media: no chunk offset moves"
    entries = b"".join(struct.pack(">Iii", round(length * movie_scale),
                                   -1 if start is None else round(start * media_scale), round(rate * 65536))
                       for start, length in edits)
    old = struct.unpack_from(">I", data, elst)[0]
    new = struct.pack(">I4sII", 16 + len(entries), b"elst", 0, len(edits)) + entries
    for parent in (b"edts", b"trak", b"moov"):
        at = data.rfind(parent, 0, elst) - 4
        struct.pack_into(">I", data, at, struct.unpack_from(">I", data, at)[0] + len(new) - old)
    data[elst:elst + old] = new
    pathlib.Path(mov).write_bytes(data)


def edited(name, codec, edits, rate=1.0):
    """Two shipped recordings joined (2.9 s at 48 kHz), in a MOV or MP4 whose edit list is then rewritten."""
    alsa = "usr/share/sounds/alsa/"
    ffmpeg("-i", shipped("alsa-utils", alsa + "Noise.wav")[0], "-i", shipped("alsa-utils", alsa + "Front_Left.wav")[0],
           "-filter_complex", "concat=n=2:v=0:a=1", path("joined.wav"))
    ffmpeg("-i", path("joined.wav"), "-c:a", codec, "-use_editlist", "1", path(name))
    with_edit_list(path(name), edits, rate)
    return path(name)


def presented(edits, media):
    """The edit list's arithmetic on the media at 48 kHz: each segment in turn,
    an empty edit after the first segment as silence."""
    pieces = []
    for start, length in edits:
        frames = round(length * 48000)
        if start is not None:
            pieces.append(media[round(start * 48000):][:frames])
        elif pieces:
            pieces.append(numpy.zeros((frames, media.shape[1])))
    return numpy.concatenate(pieces)


def joined_media(_):
    return libsndfile(path("joined.wav"))


def decoded_media(source):
    """The CLI's decoding of all the media, its edit list ignored."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-ignore_editlist", "1", "-i", source, "-f", "f64le",
                          "-c:a", "pcm_f64le", "-"], check=True, capture_output=True).stdout
    return numpy.frombuffer(raw, dtype="<f8").reshape(-1, 1)


def timeline_cases():
    """(name, input maker, reference reading or None for a refusal, tolerance)."""
    wav = shipped("alsa-utils", "usr/share/sounds/alsa/Side_Left.wav")[0]
    oga = lambda name: shipped("sound-theme-freedesktop", f"usr/share/sounds/freedesktop/stereo/{name}.oga")[0]
    two = [(0, 1), (2, 0.8)]
    gap = [(0, 1), (None, 0.5), (1, 1)]
    # A delay first (left out), then segments and an empty edit inside one 4096-frame ALAC packet.
    delayed = [(None, 0.25), (0.3, 0.7), (None, 0.01), (1.2, 0.02), (1.23, 0.5)]
    lsb = 2 ** -23
    return (
        # vcut's cut: the first 496 frames decoded are before the cut.
        ("vcut", lambda: vcut_second_half(wav), libsndfile, 1e-4),
        # Granules from 3600 s on, as in a live capture: no 128 frames more.
        ("live", lambda: ffmpeg("-i", wav, "-c:a", "libvorbis", "-output_ts_offset", "3600", path("live.ogg"))
         or path("live.ogg"), libsndfile, 1e-4),
        # Shipped Vorbis files joined with cat: every link, not the first link's length.
        ("chained", lambda: joined("chain.ogg", oga("phone-incoming-call"), oga("complete")), oggdec, 1e-4),
        # Opus links: no decoder state carried from one into the next.
        ("chained opus", lambda: opus_chain(oga("phone-incoming-call"), oga("complete"), oga("bell")), opusdec,
         3e-5),
        # Edit lists of several segments: PCM and ALAC bit-exact at every boundary, AAC cut after decoding.
        ("edit list in24", lambda: edited("two.mov", "pcm_s24be", two), lambda _: presented(two, joined_media(_)), 0),
        ("edit list empty edit", lambda: edited("gap.mov", "pcm_s24be", gap), lambda _: presented(gap, joined_media(_)),
         0),
        ("edit list alac", lambda: edited("delayed.mov", "alac", delayed),
         lambda _: presented(delayed, joined_media(_)), 0),
        ("edit list aac", lambda: edited("gap.mp4", "aac", gap), lambda m: presented(gap, decoded_media(m)), lsb),
        ("edit list rate 2", lambda: edited("fast.mov", "pcm_s24be", two, rate=2), None, None),
    )


def state_asf_play_duration(asf, seconds):
    """Rewrites an ASF file's stated play duration, as files whose timestamps
    jump past it carry it."""
    data = bytearray(pathlib.Path(asf).read_bytes())
    properties = data.find(uuid.UUID("8CABDCA1-A947-11CF-8EE4-00C00C205365").bytes_le)
    play = properties + 24 + 16 + 3 * 8  # header, file id, file size, creation date, packet count
    preroll_ms = struct.unpack_from("<Q", data, play + 16)[0]
    struct.pack_into("<Q", data, play, int(seconds * 1e7) + preroll_ms * 10000)
    pathlib.Path(asf).write_bytes(data)


class Corpus(unittest.TestCase):
    def assertExtracts(self, source, rate, expected, exact=True):
        done, target = extract(source, rate)
        self.assertEqual((done.returncode, done.stderr), (0, ""), source)
        got = samples24(target)
        self.assertEqual(done.stdout, f"{len(got)}\n")
        self.assertEqual(got.shape, expected.shape, source)
        if exact:
            self.assertTrue(numpy.array_equal(got, expected), source)
        else:
            self.assertLessEqual(int(numpy.abs(got - expected).max()), 1, source)

    def test_shipped_files(self):
        """PCM WAVs at their own rate bit-exact; Vorbis sound themes as long as
        their final granule says (libsndfile's libvorbis reading)."""
        for wav in shipped("alsa-utils", "usr/share/sounds/alsa/*.wav"):
            self.assertExtracts(wav, soundfile.info(wav).samplerate, reference24(wav))

    def test_vorbis_final_granule(self):
        """Vorbis sound themes as long as their final granule says, with
        libvorbis's samples (libsndfile's reading, float rounding apart)."""
        for oga in shipped("sound-theme-freedesktop", "usr/share/sounds/freedesktop/stereo/*.oga"):
            if os.path.getsize(oga) == 0:
                continue
            expected, rate = soundfile.read(oga, always_2d=True)
            done, target = extract(oga, rate)
            self.assertEqual((done.returncode, done.stdout), (0, f"{len(expected)}\n"), oga)
            got, _ = soundfile.read(target, always_2d=True)
            self.assertLess(numpy.abs(got - expected).max(), 1e-4, oga)

    def test_cut_copies_keep_what_decodes(self):
        """A recording cut short ends where its last whole packet ends; scipy's
        early-EOF WAV, and our cuts through a packet and a frame of PCM, FLAC,
        AIFF and CAF copies of a shipped recording; GSM cut in its last packet."""
        wav = shipped("alsa-utils", "usr/share/sounds/alsa/Front_Left.wav")[0]
        whole = reference24(wav)
        rate = soundfile.info(wav).samplerate
        for name, codec in (("copy.flac", "flac"), ("copy.aiff", "pcm_s16be"), ("copy.caf", "pcm_s24le"),
                            ("copy.wav", "pcm_s16le")):
            ffmpeg("-i", wav, "-c:a", codec, path(name))
            cut = path("cut-" + name)
            full = pathlib.Path(path(name)).read_bytes()
            pathlib.Path(cut).write_bytes(full[:len(full) * 3 // 5 + 1])
            done, target = extract(cut, rate)
            self.assertEqual((done.returncode, done.stderr), (0, ""), name)
            got = samples24(target)
            self.assertGreater(len(got), len(whole) // 2, name)
            self.assertTrue(numpy.array_equal(got, whole[:len(got)]), name)
        # GSM whose last packet is short: every whole packet, as the CLI decodes them.
        ffmpeg("-i", wav, "-ar", "8000", "-c:a", "libgsm_ms", path("gsm.wav"))
        full = pathlib.Path(path("gsm.wav")).read_bytes()
        pathlib.Path(path("cut-gsm.wav")).write_bytes(full[:-10])
        done, target = extract(path("cut-gsm.wav"), 8000)
        self.assertEqual((done.returncode, done.stdout), (0, f"{len(cli24(path('cut-gsm.wav'), 1))}\n"))
        early = shipped("python3-scipy", "usr/lib/python3/dist-packages/scipy/io/tests/data/*early-eof.wav")[0]
        done, target = extract(early, 44100)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        got = samples24(target)
        # 32-bit source: the CLI truncates to 24 bits where we round.
        self.assertLessEqual(int(numpy.abs(got - cli24(early, 1)[:len(got)]).max()), 1)

    def test_damage_in_the_middle_keeps_the_timeline(self):
        """A FLAC frame destroyed mid-file is silence of its length: the file
        keeps its length and everything after the damage its place."""
        wav = shipped("alsa-utils", "usr/share/sounds/alsa/Front_Right.wav")[0]
        whole = reference24(wav)
        ffmpeg("-i", wav, path("damaged.flac"))
        data = bytearray(pathlib.Path(path("damaged.flac")).read_bytes())
        middle = len(data) // 2
        data[middle:middle + 300] = bytes(300)
        pathlib.Path(path("damaged.flac")).write_bytes(data)
        done, target = extract(path("damaged.flac"), soundfile.info(wav).samplerate)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        got = samples24(target)
        self.assertEqual(got.shape, whole.shape)
        differs = numpy.flatnonzero(numpy.any(got != whole, axis=1))
        self.assertTrue(len(differs) > 0 and len(differs) < len(whole) // 10)
        self.assertTrue(numpy.array_equal(got[differs[-1] + 1:], whole[differs[-1] + 1:]))

    def test_edit_lists_and_editor_containers(self):
        """Edit lists that trim the start inside a packet, in PCM flavours, and
        containers editors write; bit-exact against the source's own samples."""
        wav = shipped("alsa-utils", "usr/share/sounds/alsa/Noise.wav")[0]
        rate = soundfile.info(wav).samplerate
        whole = reference24(wav)
        for trim in (0.25, 0.1):
            for codec in ("pcm_s24le", "pcm_s24be", "pcm_s16be"):
                ffmpeg("-i", wav, "-c:a", codec, path("plain.mov"))
                ffmpeg("-itsoffset", f"-{trim}", "-i", path("plain.mov"), "-c", "copy", path("trimmed.mov"))
                skipped = round(trim * rate)
                shift = 8 if codec == "pcm_s16be" else 0
                self.assertExtracts(path("trimmed.mov"), rate, (whole[skipped:] >> shift) << shift)
        for name, options in (("bwf.wav", ["-c:a", "pcm_s24le", "-write_bext", "1", "-metadata",
                                           "coding_history=A=PCM,F=48000", "-metadata", "originator=mivra"]),
                              ("rf64.wav", ["-c:a", "pcm_s24le", "-rf64", "always"]),
                              ("audio.w64", ["-c:a", "pcm_s24le"]),
                              ("op1a.mxf", ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1",
                                            "-filter_complex", "[0:a]asplit[l][r]", "-map", "1:v", "-map", "[l]",
                                            "-map", "[r]", "-c:v", "mpeg2video", "-ar", "48000",
                                            "-c:a", "pcm_s24le", "-shortest"])):
            ffmpeg("-i", wav, *options, path(name))
            rate_of = 48000 if name.endswith(".mxf") else rate
            self.assertExtracts(path(name), rate_of, cli24(path(name), 1))

    def test_stated_ends(self):
        """An MP4's edit list ends the track where it says; an ASF whose
        timestamps jump and an Ogg Vorbis file keep every decoded frame (the
        CLI's count, without its timestamp resync)."""
        wav = shipped("alsa-utils", "usr/share/sounds/alsa/Side_Left.wav")[0]
        ffmpeg("-i", wav, "-c:a", "aac", path("aac.mp4"))
        ffmpeg("-i", wav, "-af", "asetpts=PTS+gte(T\\,0.5)*4/TB", "-c:a", "wmav2", path("jump.wma"))
        state_asf_play_duration(path("jump.wma"), soundfile.info(wav).duration)
        ffmpeg("-i", wav, "-c:a", "libvorbis", path("vorbis.oga"))
        for name in ("aac.mp4", "jump.wma", "vorbis.oga"):
            done, _ = extract(path(name), soundfile.info(wav).samplerate)
            expected = len(cli24(path(name), 1, "-af", "aresample=async=0"))
            if name == "aac.mp4":
                expected = int(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=duration_ts",
                                               "-of", "csv=p=0", path(name)], check=True, capture_output=True,
                                              text=True).stdout)
            self.assertEqual((done.returncode, done.stdout), (0, f"{expected}\n"), name)

    def test_container_timeline(self):
        """Where the container places each sample: the whole output against an
        independent reading (a decoder other than FFmpeg, or the edit list's
        own arithmetic on the media), same length and every frame within the
        tolerance; an edit list at another rate is refused."""
        for name, make, reference, tolerance in timeline_cases():
            with self.subTest(name):
                source = make()
                done, target = extract(source, 48000 if name.startswith("edit") else soundfile.info(source).samplerate)
                if reference is None:
                    self.assertEqual((done.returncode, done.stdout, done.stderr),
                                     (1, "", "lecture impossible : Operation not supported\n"))
                    continue
                expected = reference(source)
                self.assertEqual((done.returncode, done.stdout), (0, f"{len(expected)}\n"))
                self.assertLessEqual(numpy.abs(libsndfile(target) - expected).max(), tolerance)

    def test_extensible_24_in_32(self):
        """24 valid bits in 32-bit integer containers come out as those bits."""
        wav = shipped("alsa-utils", "usr/share/sounds/alsa/Rear_Left.wav")[0]
        whole = reference24(wav)
        raw = path("raw.s24")
        ffmpeg("-i", wav, "-f", "s24le", "-c:a", "pcm_s24le", raw)
        subprocess.run([sys.executable, os.path.join(HERE, "extensible24.py"), raw, "1",
                        str(soundfile.info(wav).samplerate), path("extensible.wav")], check=True)
        self.assertExtracts(path("extensible.wav"), soundfile.info(wav).samplerate, whole)


if __name__ == "__main__":
    EXTRACT = os.path.abspath(sys.argv.pop(1))
    unittest.main()
