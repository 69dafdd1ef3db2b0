#!/usr/bin/env python3
"""mivra-extract on media no one here made: sample and test files shipped in
Debian packages (fetched by corpus/fetch), cut and damaged copies of them, and
editor-style files made from them with the ffmpeg CLI. Each result is
compared with an independent decoder (libsndfile, libvorbisfile, libopus,
mpg123, faad or the ffmpeg CLI), bit-exact at the source's rate for PCM and
lossless sources."""

import glob
import os
import pathlib
import shutil
import struct
import subprocess
import tempfile
import unittest
import uuid

import numpy
import soundfile

from helpers import ExtractTest, cli24, extract, ffmpeg, samples24, write_wav24

FOLDER = None
PACKAGES = {}  # package name: unpacked folder


def path(name):
    return os.path.join(FOLDER, name)


def setUpModule():
    global FOLDER
    FOLDER = tempfile.mkdtemp(prefix="mivra-corpus-")
    fetch = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "fetch")
    for folder in subprocess.run([fetch], check=True, capture_output=True, text=True).stdout.split():
        PACKAGES[os.path.basename(folder).split("_")[0]] = folder


def tearDownModule():
    shutil.rmtree(FOLDER, ignore_errors=True)


def shipped(package, pattern):
    found = sorted(glob.glob(os.path.join(PACKAGES[package], pattern)))
    assert found, f"{package} ships no {pattern}"
    return found


def alsa(name):
    return shipped("alsa-utils", "usr/share/sounds/alsa/" + name)[0]


def run(source, rate):
    done = extract(source, path("out.wav"), str(rate))
    return done, path("out.wav")


def libsndfile(source):
    return soundfile.read(source, always_2d=True)[0]


def oggdec(source):
    """libvorbisfile's reading, every link of a chain, as floats."""
    raw = subprocess.run(["oggdec", "-Q", "-R", "-b", "16", "-o", "-", source], check=True,
                         capture_output=True).stdout
    return numpy.frombuffer(raw, dtype="<i2").reshape(-1, soundfile.info(source).channels) / 32768


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
    """Rewrites a MOV's only edit list: (media start in s or None for an empty edit, duration in s) in turn."""
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
    ffmpeg("-i", alsa("Noise.wav"), "-i", alsa("Front_Left.wav"), "-filter_complex", "concat=n=2:v=0:a=1",
           path("joined.wav"))
    ffmpeg("-i", path("joined.wav"), "-c:a", codec, "-use_editlist", "1", path(name))
    with_edit_list(path(name), edits, rate)
    return path(name)


def presented(edits, media):
    """The edit list's arithmetic on the media at 48 kHz; an empty edit after the first segment is silence."""
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
    wav = alsa("Side_Left.wav")
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
        ("chained opus", lambda: opus_chain(oga("phone-incoming-call"), oga("complete"), oga("bell")),
         lambda source: opusdec(source, slice(None)), 3e-5),
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
    """Rewrites an ASF file's stated play duration, as files whose timestamps jump past it carry it."""
    data = bytearray(pathlib.Path(asf).read_bytes())
    properties = data.find(uuid.UUID("8CABDCA1-A947-11CF-8EE4-00C00C205365").bytes_le)
    play = properties + 24 + 16 + 3 * 8  # header, file id, file size, creation date, packet count
    preroll_ms = struct.unpack_from("<Q", data, play + 16)[0]
    struct.pack_into("<Q", data, play, int(seconds * 1e7) + preroll_ms * 10000)
    pathlib.Path(asf).write_bytes(data)


def decoded(command, output, channel=0):
    """One channel (or a slice of them) of what an independent decoder writes to a WAV file, as floats."""
    subprocess.run(command, check=True, capture_output=True)
    data, _ = soundfile.read(output, always_2d=True)
    return data[:, channel]


def mpg123(source):
    return decoded(["mpg123", "-q", "-e", "f32", "-w", path("mpg123.wav"), source], path("mpg123.wav"))


def faad(source):
    """faad's AAC samples, without the encoder's priming (its first 1024 frames); mono as two channels."""
    return decoded(["faad", "-q", "-b", "4", "-o", path("faad.wav"), source], path("faad.wav"))


def first_frame_unknown(samples):
    return numpy.concatenate([numpy.full(1024, numpy.nan), samples])


def tag_gapless(m4a, frames):
    """Writes an iTunSMPB tag as AtomicParsley's users do: priming 1024, the last packet's padding, `frames` valid."""
    padding = -(frames + 1024) % 1024
    tag = f" 00000000 00000400 {padding:08X} {frames:016X}" + " 00000000" * 8
    subprocess.run(["AtomicParsley", m4a, "--overWrite", "--rDNSatom", tag, "name=iTunSMPB",
                    "domain=com.apple.iTunes"], check=True, capture_output=True)
    return m4a


def stated_duration(source):
    return int(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=duration_ts", "-of", "csv=p=0",
                               source], check=True, capture_output=True, text=True).stdout)


def opusdec(source, channel=0):
    """libopus's reading at 48 kHz, every link of a chain."""
    return decoded(["opusdec", "--quiet", "--rate", "48000", "--float", source, path("opusdec.wav")],
                   path("opusdec.wav"), channel)


def resampled(samples, rate, to):
    """A part decoded at its own rate, taken to `to` by the CLI's soxr filter at the extractor's precision."""
    soundfile.write(path("part.wav"), samples, rate, subtype="FLOAT")
    ffmpeg("-i", path("part.wav"), "-af", "aresample=resampler=soxr:precision=24", "-ar", str(to),
           "-c:a", "pcm_f32le", path("part-resampled.wav"))
    return soundfile.read(path("part-resampled.wav"))[0]


def elementary(ts, muxer):
    """The audio of a transport stream as an elementary stream, for decoders that read no TS."""
    ffmpeg("-i", ts, "-map", "0:a", "-c", "copy", "-f", muxer, path("elementary." + muxer))
    return path("elementary." + muxer)


def to_ts(wav, codec, name, *options):
    ffmpeg("-i", wav, "-c:a", codec, *options, "-f", "mpegts", path(name))
    return path(name)


def lose_ts_packets(ts, count):
    """A copy of a transport stream without `count` consecutive 188-byte packets
    of its audio (PID 0x100, the muxer's first) from the middle, as a reception
    error leaves it; and where, in frames at 48 kHz from the start, the audio
    is missing (from the timestamps of the packets around the hole)."""
    data = pathlib.Path(ts).read_bytes()
    packets = [data[i:i + 188] for i in range(0, len(data), 188)]
    audio = [i for i, p in enumerate(packets) if ((p[1] & 0x1f) << 8 | p[2]) == 0x100]
    gone = set(audio[len(audio) // 2:len(audio) // 2 + count])
    damaged = path("lost-" + os.path.basename(ts))
    pathlib.Path(damaged).write_bytes(b"".join(p for i, p in enumerate(packets) if i not in gone))
    shown = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                            "packet=pts,duration", "-of", "csv=p=0", damaged], check=True, capture_output=True,
                           text=True).stdout.split()
    times = [tuple(int(v) for v in line.split(",")[:2]) for line in shown]
    ends = [(pts + duration, following) for (pts, duration), (following, _) in zip(times, times[1:])]
    start, end = next((a, b) for a, b in ends if b > a)
    return damaged, ((start - times[0][0]) * 48000 // 90000, (end - times[0][0]) * 48000 // 90000)


def with_loss(reference, span, frame):
    """The intact reading with silence where audio was lost; unknown (NaN): the
    frame the hole cut (its tail read from after the hole, which reaches the
    frame before through the filter bank's delay) and the frame after it, which
    the decoder rebuilds from what it held before the hole."""
    expected = reference.copy()
    expected[span[0]:span[1]] = 0
    expected[span[0] - 2 * frame:span[0]] = expected[span[1]:span[1] + frame] = numpy.nan
    return expected


def joined(name, *parts):
    pathlib.Path(path(name)).write_bytes(b"".join(pathlib.Path(p).read_bytes() for p in parts))
    return path(name)


def lame(wav, rate, name):
    """An MP3 made by lame without a gapless tag, so that files joined end to end decode whole."""
    ffmpeg("-i", wav, "-ar", str(rate), path("lame-in.wav"))
    subprocess.run(["lame", "--quiet", "-t", path("lame-in.wav"), path(name)], check=True)
    return path(name)


class Corpus(ExtractTest):
    def assertExtracts(self, source, rate, expected, tolerance=0):
        """Every 24-bit frame within `tolerance` steps of the frames expected."""
        done, target = run(source, rate)
        self.assertEqual((done.returncode, done.stderr), (0, ""), source)
        got = samples24(target)
        self.assertEqual((done.stdout, got.shape), (f"{len(got)}\n", expected.shape), source)
        self.assertLessEqual(int(numpy.abs(got - expected).max()), tolerance, source)

    def assertReads(self, source, rate, expected, tolerance):
        """The frames as floats within `tolerance` of a reading (NaN where it
        is unknown), or the run refused with the message expected."""
        done, target = run(source, rate)
        if isinstance(expected, str):
            return self.assertFailure(done, expected)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, f"{len(expected)}\n", ""))
        got = soundfile.read(target)[0]
        expected = numpy.reshape(expected, got.shape)
        known = ~numpy.isnan(expected)
        self.assertLessEqual(float(numpy.abs(got[known] - expected[known]).max()), tolerance)

    def test_shipped_files(self):
        """PCM WAVs bit-exact, also as 24 bits in 32-bit extensible containers;
        Vorbis sound themes as long as their final granule says."""
        for wav in shipped("alsa-utils", "usr/share/sounds/alsa/*.wav"):
            self.assertExtracts(wav, soundfile.info(wav).samplerate, samples24(wav))
        wav = alsa("Rear_Left.wav")
        extensible = write_wav24(path("extensible.wav"), soundfile.info(wav).samplerate, samples24(wav), True)
        self.assertExtracts(extensible, soundfile.info(wav).samplerate, samples24(wav))
        for oga in shipped("sound-theme-freedesktop", "usr/share/sounds/freedesktop/stereo/*.oga"):
            if os.path.getsize(oga) > 0:
                with self.subTest(oga):
                    self.assertReads(oga, soundfile.info(oga).samplerate, libsndfile(oga), 1e-4)

    def test_cut_copies_keep_what_decodes(self):
        """A recording cut short ends where its last whole packet ends: our cuts
        through a packet and a frame of PCM, FLAC, AIFF and CAF copies, GSM cut
        in its last packet, scipy's early-EOF WAV."""
        wav = alsa("Front_Left.wav")
        whole, rate = samples24(wav), soundfile.info(wav).samplerate
        for name, codec in (("copy.flac", "flac"), ("copy.aiff", "pcm_s16be"), ("copy.caf", "pcm_s24le"),
                            ("copy.wav", "pcm_s16le")):
            ffmpeg("-i", wav, "-c:a", codec, path(name))
            full = pathlib.Path(path(name)).read_bytes()
            pathlib.Path(path("cut-" + name)).write_bytes(full[:len(full) * 3 // 5 + 1])
            done, target = run(path("cut-" + name), rate)
            self.assertEqual((done.returncode, done.stderr), (0, ""), name)
            got = samples24(target)
            self.assertGreater(len(got), len(whole) // 2, name)
            self.assertTrue(numpy.array_equal(got, whole[:len(got)]), name)
        ffmpeg("-i", wav, "-ar", "8000", "-c:a", "libgsm_ms", path("gsm.wav"))
        pathlib.Path(path("cut-gsm.wav")).write_bytes(pathlib.Path(path("gsm.wav")).read_bytes()[:-10])
        done, target = run(path("cut-gsm.wav"), 8000)
        self.assertEqual((done.returncode, done.stdout), (0, f"{len(cli24(path('cut-gsm.wav'), 1))}\n"))
        early = shipped("python3-scipy", "usr/lib/python3/dist-packages/scipy/io/tests/data/*early-eof.wav")[0]
        done, target = run(early, 44100)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        got = samples24(target)
        self.assertLessEqual(int(numpy.abs(got - cli24(early, 1)[:len(got)]).max()), 1)  # 32-bit: rounded

    def test_damaged_copies(self):
        """A FLAC frame destroyed mid-file is silence of its length: everything
        after it keeps its place. Cut and damaged copies of lossy, chained and
        edited files never crash, hang or lie."""
        wav = alsa("Front_Right.wav")
        whole = samples24(wav)
        ffmpeg("-i", wav, path("damaged.flac"))
        data = bytearray(pathlib.Path(path("damaged.flac")).read_bytes())
        data[len(data) // 2:len(data) // 2 + 300] = bytes(300)
        pathlib.Path(path("damaged.flac")).write_bytes(data)
        done, target = run(path("damaged.flac"), soundfile.info(wav).samplerate)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        got = samples24(target)
        self.assertEqual(got.shape, whole.shape)
        differs = numpy.flatnonzero(numpy.any(got != whole, axis=1))
        self.assertTrue(0 < len(differs) < len(whole) // 10)
        self.assertTrue(numpy.array_equal(got[differs[-1] + 1:], whole[differs[-1] + 1:]))
        copies = []
        for name, codec in (("copy.mp4", "aac"), ("copy.oga", "libvorbis"), ("copy.opus", "libopus"),
                            ("copy.wma", "wmav2")):
            ffmpeg("-i", alsa("Front_Center.wav"), "-c:a", codec, path(name))
            copies.append((path(name), 1))
        timeline = {name: make for name, make, *_ in timeline_cases()}
        copies += [(timeline["chained opus"](), 2), (timeline["edit list alac"](), 1)]
        self.assertDamagedCopiesHold(copies, FOLDER, count=4)

    def test_edit_lists_and_editor_containers(self):
        """Edit lists that trim the start inside a packet, in PCM flavours, and
        containers editors write; bit-exact against the source's own samples."""
        wav = alsa("Noise.wav")
        rate, whole = soundfile.info(wav).samplerate, samples24(wav)
        for trim in (0.25, 0.1):
            for codec in ("pcm_s24le", "pcm_s24be", "pcm_s16be"):
                ffmpeg("-i", wav, "-c:a", codec, path("plain.mov"))
                ffmpeg("-itsoffset", f"-{trim}", "-i", path("plain.mov"), "-c", "copy", path("trimmed.mov"))
                shift = 8 if codec == "pcm_s16be" else 0
                self.assertExtracts(path("trimmed.mov"), rate, (whole[round(trim * rate):] >> shift) << shift)
        for name, options in (("bwf.wav", ["-c:a", "pcm_s24le", "-write_bext", "1", "-metadata",
                                           "coding_history=A=PCM,F=48000", "-metadata", "originator=mivra"]),
                              ("rf64.wav", ["-c:a", "pcm_s24le", "-rf64", "always"]),
                              ("audio.w64", ["-c:a", "pcm_s24le"]),
                              ("op1a.mxf", ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1",
                                            "-filter_complex", "[0:a]asplit[l][r]", "-map", "1:v", "-map", "[l]",
                                            "-map", "[r]", "-c:v", "mpeg2video", "-ar", "48000",
                                            "-c:a", "pcm_s24le", "-shortest"])):
            ffmpeg("-i", wav, *options, path(name))
            self.assertExtracts(path(name), 48000 if name.endswith(".mxf") else rate, cli24(path(name), 1))

    def test_stated_ends(self):
        """An MP4's edit list ends the track where it says; an ASF whose
        timestamps jump and an Ogg Vorbis file keep every decoded frame (the
        CLI's count, without its timestamp resync)."""
        wav = alsa("Side_Left.wav")
        ffmpeg("-i", wav, "-c:a", "aac", path("aac.mp4"))
        ffmpeg("-i", wav, "-af", "asetpts=PTS+gte(T\\,0.5)*4/TB", "-c:a", "wmav2", path("jump.wma"))
        state_asf_play_duration(path("jump.wma"), soundfile.info(wav).duration)
        ffmpeg("-i", wav, "-c:a", "libvorbis", path("vorbis.oga"))
        for name in ("aac.mp4", "jump.wma", "vorbis.oga"):
            done, _ = run(path(name), soundfile.info(wav).samplerate)
            expected = len(cli24(path(name), 1, "-af", "aresample=async=0"))
            if name == "aac.mp4":
                expected = stated_duration(path(name))
            self.assertEqual((done.returncode, done.stdout), (0, f"{expected}\n"), name)

    def test_container_timeline(self):
        """Where the container places each sample, against a decoder other
        than FFmpeg or the edit list's own arithmetic on the media; an edit
        list at another rate is refused."""
        for name, make, reference, tolerance in timeline_cases():
            with self.subTest(name):
                source = make()
                rate = 48000 if name.startswith("edit") else soundfile.info(source).samplerate
                expected = reference(source) if reference else "lecture impossible : Operation not supported"
                self.assertReads(source, rate, expected, tolerance)

    def test_stream_timelines(self):
        """Streams whose timestamps jump or whose rate changes: audio lost in a
        transport stream is silence of its length, recordings joined end to end
        keep every frame and are not refused for the span of their timestamps,
        each part of a stream whose rate changes is converted in its place, an
        .m4a gapless tag ends the track where no edit list does; a change of
        channel count fails. Against mpg123, faad and opusdec (AC-3: the CLI's
        reading of the intact stream, its dither apart)."""
        sounds = [alsa(name) for name in ("Front_Left.wav", "Front_Right.wav", "Noise.wav")]
        ffmpeg(*[a for sound in sounds for a in ("-i", sound)], "-filter_complex", "concat=n=3:v=0:a=1",
               path("speech.wav"))
        speech = path("speech.wav")

        def lost_ac3():
            intact = to_ts(speech, "ac3", "ac3.ts")
            damaged, span = lose_ts_packets(intact, 12)
            return damaged, 48000, with_loss(cli24(intact, 1)[:, 0] / 2.0**23, span, 1536), 0.01

        def lost_mp2():
            intact = to_ts(speech, "mp2", "mp2.ts")
            damaged, span = lose_ts_packets(intact, 12)
            return damaged, 48000, with_loss(mpg123(elementary(intact, "mp2")), span, 1152), 1e-4

        def joined_recordings():
            parts = [to_ts(speech, "mp2", f"at{hour}h.ts", "-output_ts_offset", str(hour * 3600)) for hour in (1, 10)]
            recording = joined("recordings.ts", *parts)
            return recording, 48000, mpg123(elementary(recording, "mp2")), 1e-4

        def late_opus_capture():
            ffmpeg("-i", speech, "-c:a", "libopus", "-output_ts_offset", "36000", path("late.opus"))
            return path("late.opus"), 48000, opusdec(path("late.opus")), 1e-5

        def aac_rate_change():
            first = to_ts(sounds[0], "aac", "aac441.ts", "-ar", "44100", "-aac_pns", "0")
            second = to_ts(sounds[1], "aac", "aac48.ts", "-aac_pns", "0", "-output_ts_offset", "36000")
            unknown = numpy.full(round((len(faad(elementary(first, "adts"))) + 1024) * 48000 / 44100), numpy.nan)
            expected = numpy.concatenate([unknown, first_frame_unknown(faad(elementary(second, "adts")))])
            return joined("hls.ts", first, second), 48000, expected, 1e-5

        def mp3_rate_change(rate):
            def make():
                parts = [lame(sounds[0], 44100, "a.mp3"), lame(sounds[1], 48000, "b.mp3")]
                expected = [resampled(s, r, rate) if r != rate else s for s, r in zip(map(mpg123, parts),
                                                                                      (44100, 48000))]
                return joined("rates.mp3", *parts), rate, numpy.concatenate(expected), 1e-5
            return make

        def gapless_m4a(edit_list):
            def make():
                ffmpeg("-i", sounds[2], "-ar", "44100", path("noise.wav"))
                m4a = path(f"gapless{edit_list}.m4a")
                ffmpeg("-i", path("noise.wav"), "-c:a", "aac", "-aac_pns", "0", "-use_editlist", str(edit_list), m4a)
                valid = soundfile.info(path("noise.wav")).frames
                # With an edit list too, the edit list's start (the priming cut
                # once) and its end, 4 frames after the tag's.
                length = stated_duration(m4a) if edit_list else valid
                return tag_gapless(m4a, valid), 44100, faad(m4a)[:length], 1e-5
            return make

        def channel_change():
            ffmpeg("-i", sounds[1], "-ac", "2", path("stereo.wav"))
            parts = [lame(sounds[0], 48000, "mono.mp3"), lame(path("stereo.wav"), 48000, "stereo.mp3")]
            return joined("channels.mp3", *parts), 48000, "extraction interrompue : Input changed", None

        stream_timelines = (
            ("AC-3 in TS, 12 packets of its PID lost", lost_ac3),
            ("MP2 in TS, 12 packets of its PID lost", lost_mp2),
            ("TS recordings starting at 1 h and 10 h, joined", joined_recordings),
            ("Ogg Opus whose granules start 10 h in", late_opus_capture),
            ("AAC in TS, 44.1 then 48 kHz", aac_rate_change),
            ("MP3s at 44.1 and 48 kHz joined, to 48 kHz", mp3_rate_change(48000)),
            ("MP3s at 44.1 and 48 kHz joined, to 44.1 kHz", mp3_rate_change(44100)),
            ("AAC .m4a with an iTunSMPB tag and no edit list", gapless_m4a(0)),
            ("AAC .m4a with an iTunSMPB tag and an edit list", gapless_m4a(1)),
            ("MP3s mono then stereo joined", channel_change),
        )
        for name, make in stream_timelines:
            with self.subTest(name):
                self.assertReads(*make())


if __name__ == "__main__":
    unittest.main()
