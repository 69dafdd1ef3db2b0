#include "extraction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <tuple>
#include <vector>

#include "scratch_folder.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kMiB = 1 << 20;
const std::string kTooBig = "depasse la taille d'un WAV classique, ffmpeg requis";

// What the fake media framework offers for any source, and what the run asked of it.
struct Script {
    std::optional<AudioTrack> track = AudioTrack{2, std::nullopt};
    std::optional<std::string> startRefusal;
    std::vector<std::size_t> buffers;
    ReaderStatus endStatus = ReaderStatus::completed;
    bool endStatusWithLastBuffer = false;
    std::string description;
    std::function<void()> whileReading;  // called once, as the first buffer is asked for
};

// Buffer n is n bytes: what they hold is checked end to end.
std::span<const std::byte> Buffer(std::size_t size)
{
    static const std::vector<std::byte> bytes(kMiB);
    return std::span(bytes).first(size);
}

class FakeReader final : public SampleReader {
public:
    explicit FakeReader(Script& script) : script_(script) {}
    std::optional<std::string> start() override { return script_.startRefusal; }
    std::optional<std::span<const std::byte>> nextBuffer() override
    {
        if (next_ == 0 && script_.whileReading)
            std::exchange(script_.whileReading, nullptr)();
        const bool last = next_ + 1 >= script_.buffers.size();
        if (next_ == script_.buffers.size() || (last && script_.endStatusWithLastBuffer))
            status_ = script_.endStatus;
        if (next_ == script_.buffers.size())
            return std::nullopt;
        return Buffer(script_.buffers[next_++]);
    }
    ReaderStatus status() const override { return status_; }
    std::string errorDescription() const override { return script_.description; }

private:
    Script& script_;
    std::size_t next_ = 0;
    ReaderStatus status_ = ReaderStatus::reading;
};

class FakeMedia final : public MediaFramework, public MediaAsset {
public:
    explicit FakeMedia(Script& script) : script_(script) {}
    std::unique_ptr<MediaAsset> openAsset(const std::string&) override { return std::make_unique<FakeMedia>(script_); }
    std::optional<AudioTrack> firstAudioTrack() override { return script_.track; }
    ReaderOrError makeReader(double, unsigned) override { return {std::make_unique<FakeReader>(script_), {}}; }

private:
    Script& script_;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ExtractionRun : public testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(source_ = (dir_ / "source.mov").string()) << "media";
        target_ = (dir_ / "out.wav").string();
    }

    using Outcome = std::tuple<int, std::string, std::string>;  // status, out, err
    Outcome run(std::vector<std::string> arguments, const ProgressLine::Clock& terminalClock = {})
    {
        FakeMedia media(script_);
        std::ostringstream out, err;
        const int status = RunExtraction(arguments, media, out, err, terminalClock);
        return {status, out.str(), err.str()};
    }
    Outcome run(const std::string& rate = "48000") { return run({source_, target_, rate}); }

    void expectFailure(const Outcome& o, const std::string& message) { EXPECT_EQ(o, (Outcome{1, "", message + "\n"})); }
    void keepTarget() { std::ofstream(target_) << "keep me"; }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    std::string source_, target_;
    Script script_;
};

TEST_F(ExtractionRun, DataChunkLimit)
{
    // Mono at 1 Hz: the estimate is 3 bytes per second of stated duration.
    keepTarget();
    script_.track = AudioTrack{1, 1'431'655'753.5};
    expectFailure(run("1"), kTooBig);
    script_.track = AudioTrack{6, 238'609'293.0};  // too big only once its six channels are counted
    expectFailure(run("1"), kTooBig);
    script_.track = AudioTrack{0, 715'827'877.0};  // a track that does not state its channel count is stereo
    expectFailure(run("1"), kTooBig);
    EXPECT_EQ(ReadFile(target_), "keep me");

    script_.track = AudioTrack{1, 1'431'655'753.0};
    script_.buffers = {3};
    EXPECT_EQ(std::get<1>(run("1")), "1\n");

    // The data may reach 4,294,967,259 bytes and no further; /dev/null takes them without storing.
    script_.track = AudioTrack{1, std::nullopt};
    script_.buffers.assign(4095, kMiB);
    script_.buffers.push_back(kMiB - 37);
    EXPECT_EQ(std::get<1>(run({source_, "/dev/null"})), "1431655753\n");
    script_.buffers.back() += 1;
    expectFailure(run({source_, "/dev/null"}), kTooBig);
    // Past the limit the size is the reason, even when the reader fails as well.
    script_.endStatus = ReaderStatus::failed;
    script_.endStatusWithLastBuffer = true;
    script_.description = "decoder broke";
    expectFailure(run({source_, "/dev/null"}), kTooBig);
    EXPECT_TRUE(fs::exists("/dev/null"));
}

// How a reader that stops short is described is checked end to end; a refusal to
// start and memory running out are not seen there.
TEST_F(ExtractionRun, ReaderThatStopsShortRemovesTarget)
{
    keepTarget();
    script_.startRefusal = "Invalid argument";
    expectFailure(run(), "demarrage de la lecture refuse : Invalid argument");
    EXPECT_FALSE(fs::exists(target_));
    keepTarget();
    script_.startRefusal.reset();
    script_.whileReading = [] { throw std::bad_alloc(); };
    expectFailure(run(), "extraction interrompue : Cannot allocate memory");
    EXPECT_FALSE(fs::exists(target_));
}

// Block align must fit 16 bits, the rate be a whole 1 Hz or more, the byte
// rate fit 32 bits; the source and target rates may be up to 6250 times apart
// either way (the end-to-end memory test converts at that factor), and a
// source that does not state its rate is left to the reader.
TEST_F(ExtractionRun, FormatsThatCannotBeConvertedAreRefusedBeforeWriting)
{
    struct Case {
        AudioTrack track;
        const char* rate;
        bool converts;
    };
    for (const Case& c : {Case{{1, std::nullopt}, "1431655765", true}, Case{{21845, std::nullopt}, "1", true},
                          Case{{1, std::nullopt}, "1431655766", false}, Case{{21846, std::nullopt}, "1", false},
                          Case{{1, std::nullopt}, "0.5", false}, Case{{1, std::nullopt}, "inf", false},
                          Case{{2, 1.0, 0}, "300000000", true}, Case{{2, 1.0, 1}, "6250.5", false},
                          Case{{2, 1.0, 62501}, "10", false}, Case{{2, 1.0, 48000}, "300000001", false}}) {
        keepTarget();
        script_ = Script{};
        script_.track = c.track;
        script_.buffers = {std::size_t{3} * c.track.channelCount};
        const Outcome outcome = run(c.rate);
        if (c.converts) {
            EXPECT_EQ(std::get<1>(outcome), "1\n")
                << c.track.channelCount << " " << c.track.sampleRate << " " << c.rate;
        } else {
            expectFailure(outcome, "format audio non convertible nativement");
            EXPECT_EQ(ReadFile(target_), "keep me");
        }
    }
}

TEST_F(ExtractionRun, TargetThatIsTheSourceIsRefusedUntouched)
{
    const std::string link = (dir_ / "link.wav").string();
    fs::create_hard_link(source_, link);
    for (const std::string& target : {source_, link}) {
        expectFailure(run({source_, target}), "ecriture impossible : " + target);
    }
    EXPECT_EQ(ReadFile(source_), "media");
}

// The path, through its symbolic link, must still name the file written when
// the run ends. Whatever stands there instead is not the run's to touch; the
// file written is removed where it is still found, or emptied where it went.
TEST_F(ExtractionRun, TargetMovedOrReplacedDuringTheRunFails)
{
    struct Case {
        const char* label;
        const char* linkTo;  // the target given is link.wav, a symbolic link to this
        std::function<void()> change;
        const char* foreign;  // holds "foreign" afterwards
        const char* moved;    // where the file written went, empty afterwards
    };
    const auto put = [&](const char* name) { std::ofstream(dir_ / name) << "foreign"; };
    const auto move = [&](const char* from, const char* to) { fs::rename(dir_ / from, dir_ / to); };
    const auto relink = [&](const char* to) {
        fs::remove(dir_ / "link.wav");
        fs::create_symlink(to, dir_ / "link.wav");
    };
    const std::string link = (dir_ / "link.wav").string();
    for (const Case& c :
         {Case{"moved", "out.wav", [&] { move("out.wav", "moved.wav"); }, nullptr, "moved.wav"},
          Case{"replaced", "out.wav", [&] { move("out.wav", "moved.wav"), put("out.wav"); }, "out.wav", "moved.wav"},
          Case{"removed", "out.wav", [&] { fs::remove(dir_ / "out.wav"); }, nullptr, nullptr},
          Case{"link turned", "out.wav", [&] { put("other.wav"), relink("other.wav"); }, "other.wav", nullptr},
          Case{"folder renamed", "sub/out.wav", [&] { move("sub", "gone"); }, nullptr, "gone/out.wav"}}) {
        fs::create_directory(dir_ / "sub");
        relink(c.linkTo);
        script_.buffers = {600};
        script_.whileReading = c.change;
        expectFailure(run({source_, link}), "ecriture impossible : " + link);
        EXPECT_TRUE(fs::is_symlink(link)) << c.label;
        if (c.foreign) {
            EXPECT_EQ(ReadFile(dir_ / c.foreign), "foreign") << c.label;
        }
        if (c.moved) {
            EXPECT_TRUE(fs::exists(dir_ / c.moved) && fs::file_size(dir_ / c.moved) == 0) << c.label;
        } else {
            EXPECT_FALSE(fs::exists(dir_ / "out.wav")) << c.label;
        }
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path() != source_)
                fs::remove_all(entry.path());
        }
    }
}

// A terminal sees one line after the first second, rewritten at most every
// quarter second, and erased before the run's own output. Mono at 10 Hz: each
// 30-byte buffer is a second of media, and the clock moves 200 ms a reading.
TEST_F(ExtractionRun, ProgressOnATerminalIsErasedBeforeTheOutcome)
{
    const auto line = [](const std::string& text) { return "\rextraction en cours : " + text; };
    const auto erased = [](std::size_t width) { return "\r" + std::string(width, ' ') + "\r"; };
    const std::string shown = line("62 % (0:00:05)") + line("87 % (0:00:07)") + erased(36);
    struct Case {
        std::optional<double> duration;
        std::size_t buffers;
        bool fails;
        std::string err;
    };
    for (const Case& c : {Case{8.0, 8, false, shown}, Case{8.0, 8, true, shown + "extraction interrompue : broke\n"},
                          Case{std::nullopt, 6, false, line("0:00:05") + erased(29)},
                          Case{4.0, 7, false, line("100 % (0:00:05)") + line("100 % (0:00:07)") + erased(37)},
                          Case{8.0, 4, false, ""}}) {
        script_.track = AudioTrack{1, c.duration};
        script_.description = "broke";
        script_.buffers.assign(c.buffers, 30);
        script_.endStatus = c.fails ? ReaderStatus::failed : ReaderStatus::completed;
        int readings = 0;
        const auto clock = [&readings] { return std::chrono::steady_clock::time_point{} + readings++ * 200ms; };
        const std::string out = c.fails ? "" : std::to_string(c.buffers * 10) + "\n";
        EXPECT_EQ(run({source_, target_, "10"}, clock), (Outcome{c.fails ? 1 : 0, out, c.err})) << c.buffers;
    }
}

}  // namespace
}  // namespace mivra
