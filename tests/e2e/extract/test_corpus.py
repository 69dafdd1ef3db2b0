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

from helpers import ExtractTest, cli24, extract, ffmpeg, samples24

FOLDER = None
PACKAGES = {}  # package name: unpacked folder
LSB = 2 ** -23  # one 24-bit step, as a float sample

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
    """One of alsa-utils' sounds: 16-bit mono at 48 kHz."""
    return shipped("alsa-utils", "usr/share/sounds/alsa/" + name)[0]

def run(source, rate):
    pathlib.Path(path("out.wav")).write_bytes(b"kept")  # what a refusal before writing must leave as it was
    done = extract(source, path("out.wav"), str(rate))
    return done, path("out.wav")

def libsndfile(source):
    return soundfile.read(source, always_2d=True)[0]

def decoded(decoder, source, channel=0):
    """One channel (or a slice of them) of an independent decoder's reading, every link of a chain, as floats."""
    out = path(decoder + ".wav")
    command = {"oggdec": ["oggdec", "-Q", "-o", out, source],
               "mpg123": ["mpg123", "-q", "-e", "f32", "-w", out, source],
               # faad leaves out the encoder's priming (the first 1024 frames) and reads mono as two channels.
               "faad": ["faad", "-q", "-b", "4", "-o", out, source],
               "opusdec": ["opusdec", "--quiet", "--rate", "48000", "--float", source, out]}[decoder]
    subprocess.run(command, check=True, capture_output=True)
    return libsndfile(out)[:, channel]

def cli(source, *options):
    """The ffmpeg CLI's reading of a mono source, as floats truncated to 24 bits."""
    return cli24(source, 1, *options)[:, 0] * LSB

def reading(source, rate, reference, tolerance):
    """A row of the timeline table: the source at `rate` against a reference's reading of it."""
    return source, rate, reference(source), tolerance

def joined(name, *parts):
    pathlib.Path(path(name)).write_bytes(b"".join(pathlib.Path(p).read_bytes() for p in parts))
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

def edit_list(name, codec, edits, rate=1.0, refusal=None):
    """Two shipped recordings joined (2.9 s at 48 kHz) in a MOV or MP4 whose only edit list is rewritten to
    `edits`: (media start in s or None for an empty edit, duration in s) in turn. The reference is the edit
    list's arithmetic on the media read whole, an empty edit after the first segment being silence: PCM and
    ALAC bit-exact, AAC cut after decoding. Edits at another rate than 1 are refused, and so is what `refusal` says."""
    joined_wav = ffmpeg("-i", alsa("Noise.wav"), "-i", alsa("Front_Left.wav"), "-filter_complex",
                        "concat=n=2:v=0:a=1", path("joined.wav"))
    mov = ffmpeg("-i", joined_wav, "-c:a", codec, "-use_editlist", "1", path(name))
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
    if rate != 1 or refusal:
        return mov, 48000, refusal or "lecture impossible : Operation not supported", None
    media = libsndfile(joined_wav)
    if codec == "aac":  # the CLI's decoding of all the media, its edit list ignored
        raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-ignore_editlist", "1", "-i", mov, "-f", "f64le",
                              "-c:a", "pcm_f64le", "-"], check=True, capture_output=True).stdout
        media = numpy.frombuffer(raw, dtype="<f8").reshape(-1, 1)
    pieces = []
    for start, length in edits:
        frames = round(length * 48000)
        if start is not None:
            pieces.append(media[round(start * 48000):][:frames])
        elif pieces:
            pieces.append(numpy.zeros((frames, 1)))
    return mov, 48000, numpy.concatenate(pieces), LSB if codec == "aac" else 0

def state_asf_play_duration(asf, seconds):
    """Rewrites an ASF file's stated play duration, as files whose timestamps jump past it carry it."""
    data = bytearray(pathlib.Path(asf).read_bytes())
    properties = data.find(uuid.UUID("8CABDCA1-A947-11CF-8EE4-00C00C205365").bytes_le)
    play = properties + 24 + 16 + 3 * 8  # header, file id, file size, creation date, packet count
    preroll_ms = struct.unpack_from("<Q", data, play + 16)[0]
    struct.pack_into("<Q", data, play, int(seconds * 1e7) + preroll_ms * 10000)
    pathlib.Path(asf).write_bytes(data)
    return asf

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

def resampled(samples, rate, to):
    """A part decoded at its own rate, taken to `to` by the CLI's soxr filter at the extractor's precision."""
    soundfile.write(path("part.wav"), samples, rate, subtype="FLOAT")
    ffmpeg("-i", path("part.wav"), "-af", "aresample=resampler=soxr:precision=24", "-ar", str(to),
           "-c:a", "pcm_f32le", path("part-resampled.wav"))
    return soundfile.read(path("part-resampled.wav"))[0]

def elementary(ts, muxer):
    """The audio of a transport stream as an elementary stream, for decoders that read no TS."""
    return ffmpeg("-i", ts, "-map", "0:a", "-c", "copy", "-f", muxer, path("elementary." + muxer))

def to_ts(wav, codec, name, *options):
    return ffmpeg("-i", wav, "-c:a", codec, *options, "-f", "mpegts", path(name))

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

def lame(wav, rate, name):
    """An MP3 made by lame without a gapless tag, so that files joined end to end decode whole."""
    ffmpeg("-i", wav, "-ar", str(rate), path("lame-in.wav"))
    subprocess.run(["lame", "--quiet", "-t", path("lame-in.wav"), path(name)], check=True)
    return path(name)

def timelines():
    """(name, maker of a row: source, rate, the reading expected or the refusal, tolerance)."""
    wav = alsa("Side_Left.wav")
    oga = lambda name: shipped("sound-theme-freedesktop", f"usr/share/sounds/freedesktop/stereo/{name}.oga")[0]
    sounds = [alsa(name) for name in ("Front_Left.wav", "Front_Right.wav", "Noise.wav")]
    two = [(0, 1), (2, 0.8)]
    gap = [(0, 1), (None, 0.5), (1, 1)]
    # A delay first (left out), then segments and an empty edit inside one 4096-frame ALAC packet.
    delayed = [(None, 0.25), (0.3, 0.7), (None, 0.01), (1.2, 0.02), (1.23, 0.5)]

    def speech():
        return ffmpeg(*[a for sound in sounds for a in ("-i", sound)], "-filter_complex", "concat=n=3:v=0:a=1",
                      path("speech.wav"))

    def lost_in_ts(codec, reference, frame, tolerance):
        intact = to_ts(speech(), codec, codec + ".ts")
        damaged, span = lose_ts_packets(intact, 12)
        return damaged, 48000, with_loss(reference(intact), span, frame), tolerance

    def asf_jump():
        jump = ffmpeg("-i", wav, "-af", "asetpts=PTS+gte(T\\,0.5)*4/TB", "-c:a", "wmav2", path("jump.wma"))
        return reading(state_asf_play_duration(jump, soundfile.info(wav).duration), 48000,
                       lambda source: cli(source, "-af", "aresample=async=0"), 2 * LSB)

    def joined_recordings():
        parts = [to_ts(speech(), "mp2", f"at{hour}h.ts", "-output_ts_offset", str(hour * 3600)) for hour in (1, 10)]
        return reading(joined("recordings.ts", *parts), 48000,
                       lambda recording: decoded("mpg123", elementary(recording, "mp2")), 1e-4)

    def aac_rate_change():
        first = to_ts(sounds[0], "aac", "aac441.ts", "-ar", "44100", "-aac_pns", "0")
        second = to_ts(sounds[1], "aac", "aac48.ts", "-aac_pns", "0", "-output_ts_offset", "36000")
        # The first part counts by its length alone; faad leaves out the priming of each part.
        unknown = round((len(decoded("faad", elementary(first, "adts"))) + 1024) * 48000 / 44100) + 1024
        expected = numpy.concatenate([numpy.full(unknown, numpy.nan), decoded("faad", elementary(second, "adts"))])
        return joined("hls.ts", first, second), 48000, expected, 1e-5

    def mp3_rate_change(rate):
        parts = [lame(sounds[0], 44100, "a.mp3"), lame(sounds[1], 48000, "b.mp3")]
        readings = zip((decoded("mpg123", part) for part in parts), (44100, 48000))
        expected = [resampled(samples, part_rate, rate) if part_rate != rate else samples
                    for samples, part_rate in readings]
        return joined("rates.mp3", *parts), rate, numpy.concatenate(expected), 1e-5

    def gapless_m4a(edit_list):
        noise = ffmpeg("-i", sounds[2], "-ar", "44100", path("noise.wav"))
        m4a = ffmpeg("-i", noise, "-c:a", "aac", "-aac_pns", "0", "-use_editlist", str(edit_list),
                     path(f"gapless{edit_list}.m4a"))
        valid = soundfile.info(noise).frames
        # With an edit list too, the edit list's start (the priming cut once) and its end, 4 frames after the tag's.
        length = stated_duration(m4a) if edit_list else valid
        return tag_gapless(m4a, valid), 44100, decoded("faad", m4a)[:length], 1e-5

    def fragmented():
        # The same packets in fragments, the init segment's edit list starting 1024 frames in.
        m4a = ffmpeg("-i", sounds[2], "-c:a", "aac", "-aac_pns", "0", path("whole.m4a"))
        return (ffmpeg("-i", m4a, "-c", "copy", "-movflags", "frag_keyframe+delay_moov", "-use_editlist", "1",
                       path("fragmented.mp4")), 48000, decoded("faad", m4a), 1e-5)

    def cmaf(milliseconds):
        # AAC in fragments as packagers write them, the last sample's duration shortened in the last fragment;
        # an edit of `milliseconds` (0: all the media) from 1024 frames in put into the init segment's track.
        fragmented = ffmpeg("-i", sounds[2], "-c:a", "aac", "-aac_pns", "0", "-movflags",
                            "cmaf+frag_keyframe+empty_moov+default_base_moof", "-frag_duration", "500000",
                            path("cmaf.mp4"))
        reference = decoded("faad", ffmpeg("-i", fragmented, "-c", "copy", path("cmaf.m4a")))  # faad reads no fragments
        data = bytearray(pathlib.Path(fragmented).read_bytes())
        assert b"elst" not in data and b"mvex" in data
        elst = struct.pack(">I4sIIIiI", 28, b"elst", 0, 1, milliseconds, 1024, 0x10000)
        tkhd = data.find(b"tkhd") - 4
        data[tkhd:tkhd] = struct.pack(">I4s", 8 + len(elst), b"edts") + elst  # offsets count from each moof
        for parent in (b"trak", b"moov"):
            at = data.find(parent) - 4
            struct.pack_into(">I", data, at, struct.unpack_from(">I", data, at)[0] + 8 + len(elst))
        pathlib.Path(fragmented).write_bytes(data)
        # The movie's time scale is 1000.
        return fragmented, 48000, reference[:milliseconds * 48 or soundfile.info(sounds[2]).frames], 1e-5

    def qtmux_96k():
        # qtmux writes 96000 Hz into a 16-bit rate field (it reads 30464); its own demuxer reads the samples back.
        mov, raw, gst = path("96k.mov"), path("96k.raw"), ["gst-launch-1.0", "-q"]
        subprocess.run(gst + ["audiotestsrc", "num-buffers=100", "samplesperbuffer=960", "!",
                              "audio/x-raw,format=S24LE,rate=96000,channels=1", "!", "qtmux", "!", "filesink",
                              "location=" + mov], check=True)
        subprocess.run(gst + ["filesrc", "location=" + mov, "!", "qtdemux", "!", "filesink", "location=" + raw],
                       check=True)
        return mov, 96000, soundfile.read(raw, samplerate=96000, channels=1, subtype="PCM_24", format="RAW")[0], 0

    def scale_wraps_no_rate():
        # A hand-made media time scale of 65536 + 44100 over 44.1 kHz samples: no 109636 Hz rate to restore.
        wav441 = ffmpeg("-i", wav, "-ar", "44100", path("441.wav"))
        data = bytearray(pathlib.Path(ffmpeg("-i", wav441, "-c:a", "pcm_s16be", path("109636.mov"))).read_bytes())
        struct.pack_into(">I", data, data.find(b"mdhd") + 16, 65536 + 44100)
        pathlib.Path(path("109636.mov")).write_bytes(data)
        return path("109636.mov"), 44100, libsndfile(wav441), 0

    def cut(codec, name):
        # Through a packet and a frame: what decodes, as the CLI reads it, is the source's start.
        full = pathlib.Path(ffmpeg("-i", alsa("Front_Left.wav"), "-c:a", codec, path(name))).read_bytes()
        pathlib.Path(path("cut-" + name)).write_bytes(full[:len(full) * 3 // 5 + 1])
        return path("cut-" + name), 48000, libsndfile(alsa("Front_Left.wav"))[:len(cli(path("cut-" + name)))], 0

    def cut_gsm():
        gsm = pathlib.Path(ffmpeg("-i", wav, "-ar", "8000", "-c:a", "libgsm_ms", path("gsm.wav"))).read_bytes()
        pathlib.Path(path("cut-gsm.wav")).write_bytes(gsm[:-10])
        return reading(path("cut-gsm.wav"), 8000, cli, 0)

    def channel_change():
        stereo = ffmpeg("-i", sounds[1], "-ac", "2", path("stereo.wav"))
        parts = [lame(sounds[0], 48000, "mono.mp3"), lame(stereo, 48000, "stereo.mp3")]
        return joined("channels.mp3", *parts), 48000, "extraction interrompue : Input changed", None

    def chained_with_junk():
        pathlib.Path(path("junk")).write_bytes(b"OggSjunk")
        links = oga("phone-incoming-call"), oga("complete")
        chain = joined("chain.ogg", *links)
        return reading(joined("junk.ogg", links[0], path("junk"), links[1]), 44100,
                       lambda _: decoded("oggdec", chain, slice(None)), 1e-4)

    def damaged_link():
        # One byte of the middle link's setup header flipped: that link goes, the links around it stay whole.
        links = oga("phone-incoming-call"), oga("complete"), oga("bell")
        data = bytearray(pathlib.Path(joined("three.ogg", *links)).read_bytes())
        data[data.find(b"\x05vorbis", os.path.getsize(links[0])) + 20] ^= 0xff
        pathlib.Path(path("damaged-link.ogg")).write_bytes(data)
        intact = joined("intact.ogg", links[0], links[2])
        return reading(path("damaged-link.ogg"), 44100, lambda _: decoded("oggdec", intact, slice(None)), 1e-4)

    early_eof = "usr/lib/python3/dist-packages/scipy/io/tests/data/*early-eof.wav"
    return (
        # A recording cut short ends where its last whole packet ends.
        ("FLAC cut", lambda: cut("flac", "copy.flac")),
        ("GSM cut in its last packet", cut_gsm),
        # 32-bit samples, which the CLI truncates where we round.
        ("scipy's early-EOF WAV", lambda: reading(shipped("python3-scipy", early_eof)[0], 44100, cli, LSB)),
        # The AC-3 reference is the CLI's reading of the intact stream, its dither apart.
        ("AC-3 in TS, 12 packets of its PID lost", lambda: lost_in_ts("ac3", cli, 1536, 0.01)),
        ("MP2 in TS, 12 packets of its PID lost",
         lambda: lost_in_ts("mp2", lambda ts: decoded("mpg123", elementary(ts, "mp2")), 1152, 1e-4)),
        ("TS recordings starting at 1 h and 10 h, joined", joined_recordings),
        ("Ogg Opus whose granules start 10 h in",
         lambda: reading(ffmpeg("-i", speech(), "-c:a", "libopus", "-output_ts_offset", "36000",
                                path("late.opus")), 48000, lambda opus: decoded("opusdec", opus), 1e-5)),
        ("AAC in TS, 44.1 then 48 kHz", aac_rate_change),
        ("MP3s at 44.1 and 48 kHz joined, to 48 kHz", lambda: mp3_rate_change(48000)),
        ("MP3s at 44.1 and 48 kHz joined, to 44.1 kHz", lambda: mp3_rate_change(44100)),
        ("AAC .m4a with an iTunSMPB tag and no edit list", lambda: gapless_m4a(0)),
        ("AAC .m4a with an iTunSMPB tag and an edit list", lambda: gapless_m4a(1)),
        ("MP3s mono then stereo joined", channel_change),
        ("fragmented MP4 whose edit list trims the priming", fragmented),
        ("CMAF whose init segment's edit runs to the media's end", lambda: cmaf(0)),
        ("CMAF whose init segment's edit states 1 s", lambda: cmaf(1000)),
        ("96 kHz QuickTime whose sound entry wraps the rate", qtmux_96k),
        ("QuickTime whose time scale wraps no rate", scale_wraps_no_rate),
        # Every decoded frame, neither cut at the play duration stated nor spread over the 4 s the timestamps
        # jump: the CLI's reading without its timestamp resync.
        ("ASF whose timestamps jump past its stated duration", asf_jump),
        # vcut's cut: the first 496 frames decoded are before the cut.
        ("vcut", lambda: reading(vcut_second_half(wav), 48000, libsndfile, 1e-4)),
        # Granules from 3600 s on, as in a live capture: no 128 frames more.
        ("live", lambda: reading(ffmpeg("-i", wav, "-c:a", "libvorbis", "-output_ts_offset", "3600",
                                        path("live.ogg")), 48000, libsndfile, 1e-4)),
        # Shipped Vorbis files joined with cat and eight junk bytes between them, as damage leaves them: every
        # link, not the first link's length; reading resumes at the next page.
        ("chained", chained_with_junk),
        ("chained, a later link's headers damaged", damaged_link),
        # Opus links: no decoder state carried from one into the next.
        ("chained opus", lambda: reading(opus_chain(oga("phone-incoming-call"), oga("complete"), oga("bell")),
                                         48000, lambda chain: decoded("opusdec", chain, slice(None)), 3e-5)),
        ("edit list in24", lambda: edit_list("two.mov", "pcm_s24be", two)),
        ("edit list empty edit", lambda: edit_list("gap.mov", "pcm_s24be", gap)),
        ("edit list alac", lambda: edit_list("delayed.mov", "alac", delayed)),
        ("edit list aac", lambda: edit_list("gap.mp4", "aac", gap)),
        ("edit list rate 2", lambda: edit_list("fast.mov", "pcm_s24be", two, rate=2)),
        # 25 hours of silence: refused before anything is written, not after 4 GB.
        ("edit list too long", lambda: edit_list("long.mov", "pcm_s24be", [(0, 1), (None, 90000), (1, 1)],
                                                  refusal="depasse la taille d'un WAV classique, ffmpeg requis")),
    )

class Corpus(ExtractTest):
    def assertReads(self, source, rate, expected, tolerance):
        """The frames as floats within `tolerance` of a reading (NaN where it
        is unknown), or the run refused with the message expected."""
        done, target = run(source, rate)
        if isinstance(expected, str):
            self.assertFailure(done, expected)
            # Refused before anything is written, the target stays as it was; a failure while copying removes it.
            before_writing = not expected.startswith("extraction interrompue")
            return self.assertEqual(os.path.exists(target) and pathlib.Path(target).read_bytes() == b"kept",
                                    before_writing)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, f"{len(expected)}\n", ""), source)
        got = soundfile.read(target)[0]
        expected = numpy.reshape(expected, got.shape)
        known = ~numpy.isnan(expected)
        self.assertLessEqual(float(numpy.abs(got[known] - expected[known]).max()), tolerance, source)

    def test_shipped_files(self):
        """PCM WAVs bit-exact, also as 24 bits in the top of 32-bit WAVE_FORMAT_EXTENSIBLE containers, as
        recorders write them; Vorbis sound themes as long as their final granule says."""
        data = bytearray(pathlib.Path(ffmpeg("-i", alsa("Rear_Left.wav"), "-c:a", "pcm_s32le",
                                             path("extensible.wav"))).read_bytes())
        valid_bits = data.find(b"fmt ") + 26
        data[valid_bits:valid_bits + 2] = struct.pack("<H", 24)
        pathlib.Path(path("extensible.wav")).write_bytes(data)
        oggs = shipped("sound-theme-freedesktop", "usr/share/sounds/freedesktop/stereo/*.oga")
        for source, tolerance in ([(wav, 0) for wav in shipped("alsa-utils", "usr/share/sounds/alsa/*.wav")]
                                  + [(path("extensible.wav"), 0)]
                                  + [(oga, 1e-4) for oga in oggs if os.path.getsize(oga) > 0]):
            with self.subTest(source):
                self.assertReads(source, soundfile.info(source).samplerate, libsndfile(source), tolerance)

    def test_damaged_copies(self):
        """A FLAC frame destroyed mid-file is silence of its length: everything
        after it keeps its place. Cut and damaged copies of lossy, chained and
        edited files never crash, hang or lie."""
        wav = alsa("Front_Right.wav")
        whole = samples24(wav)
        data = bytearray(pathlib.Path(ffmpeg("-i", wav, path("damaged.flac"))).read_bytes())
        data[len(data) // 2:len(data) // 2 + 300] = bytes(300)
        pathlib.Path(path("damaged.flac")).write_bytes(data)
        done, target = run(path("damaged.flac"), 48000)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        got = samples24(target)
        self.assertEqual(got.shape, whole.shape)
        differs = numpy.flatnonzero(numpy.any(got != whole, axis=1))
        self.assertTrue(0 < len(differs) < len(whole) // 10)
        self.assertTrue(numpy.array_equal(got[differs[-1] + 1:], whole[differs[-1] + 1:]))
        copies = [(ffmpeg("-i", alsa("Front_Center.wav"), "-c:a", codec, path(name)), 1)
                  for name, codec in (("copy.mp4", "aac"), ("copy.oga", "libvorbis"), ("copy.opus", "libopus"),
                                      ("copy.wma", "wmav2"))]
        rows = dict(timelines())
        copies += [(rows["chained opus"]()[0], 2),
                   (rows["edit list alac"]()[0], 1)]
        self.assertDamagedCopiesHold(copies, FOLDER, count=4)

    def test_edit_lists_in_pcm(self):
        """Edit lists that trim the start inside a packet, in PCM flavours; bit-exact against the source's own
        samples."""
        wav = alsa("Noise.wav")
        for trim in (0.25, 0.1):
            for codec in ("pcm_s24le", "pcm_s24be", "pcm_s16be"):
                plain = ffmpeg("-i", wav, "-c:a", codec, path("plain.mov"))
                trimmed = ffmpeg("-itsoffset", f"-{trim}", "-i", plain, "-c", "copy", path("trimmed.mov"))
                with self.subTest(codec=codec, trim=trim):
                    self.assertReads(trimmed, 48000, libsndfile(wav)[round(trim * 48000):], 0)

    def test_timelines(self):
        """Where the container or the stream places each sample, and where a cut recording ends, against a
        decoder other than FFmpeg or the container's own arithmetic on the media; the refusals they call for."""
        for name, make in timelines():
            with self.subTest(name):
                self.assertReads(*make())

if __name__ == "__main__":
    unittest.main()
