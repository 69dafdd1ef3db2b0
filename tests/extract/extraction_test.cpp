#include "extraction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <glib.h>
#include <sstream>
#include <vector>

#include "wav_header.h"

namespace mivra {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMiB = 1 << 20;

// What the fake media framework offers for any source, and what the run asked of it.
struct Script {
    bool readable = true;
    std::optional<AudioTrack> track = AudioTrack{2, std::nullopt};
    std::string readerError;
    std::optional<std::string> startRefusal;
    std::vector<std::size_t> buffers;
    ReaderStatus endStatus = ReaderStatus::completed;
    bool endStatusWithLastBuffer = false;
    std::string description;

    bool readerMade = false;
    std::optional<double> startedRate;
    std::optional<std::uint16_t> startedChannels;
};

// The bytes the fake reader hands out: buffer n is the first n bytes of this pattern.
const std::vector<std::byte>& Pattern() {
    static const std::vector<std::byte> pattern = [] {
        std::vector<std::byte> bytes(kMiB);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(i * 7 + 3);
        return bytes;
    }();
    return pattern;
}

class FakeReader final : public SampleReader {
public:
    explicit FakeReader(Script& script) : script_(script) {}

    std::optional<std::string> start(double rate, std::uint16_t channels) override {
        script_.startedRate = rate;
        script_.startedChannels = channels;
        return script_.startRefusal;
    }

    std::optional<std::span<const std::byte>> nextBuffer() override {
        if (next_ == script_.buffers.size()) {
            status_ = script_.endStatus;
            return std::nullopt;
        }
        const std::size_t size = script_.buffers[next_++];
        if (script_.endStatusWithLastBuffer && next_ == script_.buffers.size()) status_ = script_.endStatus;
        return std::span(Pattern()).first(size);
    }

    ReaderStatus status() const override { return status_; }
    std::string errorDescription() const override { return script_.description; }

private:
    Script& script_;
    std::size_t next_ = 0;
    ReaderStatus status_ = ReaderStatus::reading;
};

class FakeAsset final : public MediaAsset {
public:
    explicit FakeAsset(Script& script) : script_(script) {}
    std::optional<AudioTrack> firstAudioTrack() override { return script_.track; }
    ReaderOrError makeReader() override {
        script_.readerMade = true;
        if (!script_.readerError.empty()) return {nullptr, script_.readerError};
        return {std::make_unique<FakeReader>(script_), {}};
    }

private:
    Script& script_;
};

class FakeMedia final : public MediaFramework {
public:
    explicit FakeMedia(Script& script) : script_(script) {}
    std::unique_ptr<MediaAsset> openAsset(const std::string&) override {
        return script_.readable ? std::make_unique<FakeAsset>(script_) : nullptr;
    }

private:
    Script& script_;
};

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

std::string AsText(std::span<const std::byte> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

class ExtractionRun : public testing::Test {
protected:
    void SetUp() override {
        g_autofree char* made = g_dir_make_tmp("mivra-extract-test-XXXXXX", nullptr);
        ASSERT_NE(made, nullptr);
        dir_ = made;
        source_ = (dir_ / "source.mov").string();
        target_ = (dir_ / "out.wav").string();
        WriteFile(source_, "media");
    }
    void TearDown() override { fs::remove_all(dir_); }

    Outcome run(std::vector<std::string> arguments) {
        FakeMedia media(script_);
        std::ostringstream out, err;
        const int status = RunExtraction(arguments, media, out, err);
        return {status, out.str(), err.str()};
    }
    Outcome run() { return run({source_, target_}); }

    void expectFailure(const Outcome& outcome, const std::string& message) {
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, message + "\n");
        EXPECT_EQ(outcome.out, "");
    }

    fs::path dir_;
    std::string source_;
    std::string target_;
    Script script_;
};

TEST_F(ExtractionRun, WritesHeaderThenSamplesAndPrintsFrames) {
    script_.buffers = {6000, 0, 3000};
    const Outcome outcome = run();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "1500\n");
    EXPECT_EQ(outcome.err, "");
    const std::string expected = AsText(WavHeader(48000, 2, 9000)) + AsText(std::span(Pattern()).first(6000)) +
                                 AsText(std::span(Pattern()).first(3000));
    EXPECT_EQ(ReadFile(target_), expected);
}

TEST_F(ExtractionRun, FewerThanTwoArgumentsPrintUsage) {
    for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{source_}}) {
        expectFailure(run(arguments), "usage: mivra-extract <source> <cible.wav> [frequence]");
    }
    EXPECT_FALSE(script_.readerMade);
}

TEST_F(ExtractionRun, MissingSourceIsNamedAsTyped) {
    const std::string missing = (dir_ / "nowhere" / ".." / "missing.mov").string();
    expectFailure(run({missing, target_}), "source introuvable : " + missing);
    EXPECT_FALSE(fs::exists(target_));
}

TEST_F(ExtractionRun, SourceWithoutAudioIsNamedByItsLastComponent) {
    script_.track.reset();
    expectFailure(run(), "aucune piste audio dans source.mov");
    script_.readable = false;
    expectFailure(run({dir_.string() + "/", target_}), "aucune piste audio dans " + dir_.filename().string());
    EXPECT_FALSE(fs::exists(target_));
}

struct RateCase {
    std::vector<std::string> rateArgument;
    double askedRate;
    std::uint32_t headerRate;
};

class RateArgument : public ExtractionRun, public testing::WithParamInterface<RateCase> {};

TEST_P(RateArgument, SetsReaderRateAndHeaderRate) {
    script_.buffers = {6};
    std::vector<std::string> arguments = {source_, target_};
    arguments.insert(arguments.end(), GetParam().rateArgument.begin(), GetParam().rateArgument.end());
    ASSERT_EQ(run(arguments).status, 0);
    EXPECT_EQ(script_.startedRate, GetParam().askedRate);
    EXPECT_EQ(ReadFile(target_).substr(0, 44), AsText(WavHeader(GetParam().headerRate, 2, 6)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RateArgument,
    testing::Values(RateCase{{}, 48000, 48000}, RateCase{{"0"}, 48000, 48000}, RateCase{{"-44100"}, 48000, 48000},
                    RateCase{{"abc"}, 48000, 48000}, RateCase{{"nan"}, 48000, 48000},
                    RateCase{{"44100.9"}, 44100.9, 44100}, RateCase{{"22050"}, 22050, 22050},
                    RateCase{{"96000Hz", "ignored"}, 96000, 96000}));

TEST_F(ExtractionRun, UnknownChannelCountMeansStereo) {
    script_.track = AudioTrack{0, std::nullopt};
    script_.buffers = {12};
    const Outcome outcome = run();
    EXPECT_EQ(outcome.out, "2\n");
    EXPECT_EQ(script_.startedChannels, 2);
}

// Mono at 1 Hz: the estimate is 3 bytes per second of duration.
TEST_F(ExtractionRun, EstimateAtTheLimitPasses) {
    script_.track = AudioTrack{1, 1'431'655'753.0};
    script_.buffers = {3};
    EXPECT_EQ(run({source_, target_, "1"}).status, 0);
}

TEST_F(ExtractionRun, EstimatePastTheLimitLeavesTargetUntouched) {
    WriteFile(target_, "keep me");
    script_.track = AudioTrack{1, 1'431'655'753.5};
    expectFailure(run({source_, target_, "1"}), "depasse la taille d'un WAV classique, ffmpeg requis");
    EXPECT_FALSE(script_.readerMade);
    EXPECT_EQ(ReadFile(target_), "keep me");
}

TEST_F(ExtractionRun, EstimateComesBeforeTheFormatCheck) {
    script_.track = AudioTrack{2, 1.0};
    expectFailure(run({source_, target_, "inf"}), "depasse la taille d'un WAV classique, ffmpeg requis");
}

// The data chunk may reach 4,294,967,259 bytes (RIFF size 0xFFFFFFFF) and no
// further. /dev/null takes the 4 GiB without storing them.
TEST_F(ExtractionRun, DataAtTheLimitIsWritten) {
    script_.track = AudioTrack{1, std::nullopt};
    script_.buffers.assign(4095, kMiB);
    script_.buffers.push_back(kMiB - 37);
    const Outcome outcome = run({source_, "/dev/null"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "1431655753\n");
}

TEST_F(ExtractionRun, DataOneBytePastTheLimitIsRefused) {
    script_.track = AudioTrack{1, std::nullopt};
    script_.buffers.assign(4095, kMiB);
    script_.buffers.push_back(kMiB - 36);
    expectFailure(run({source_, "/dev/null"}), "depasse la taille d'un WAV classique, ffmpeg requis");
    EXPECT_TRUE(fs::exists("/dev/null"));
}

TEST_F(ExtractionRun, SizeMessageWinsOverAReaderError) {
    script_.buffers.assign(4096, kMiB);
    script_.endStatus = ReaderStatus::failed;
    script_.endStatusWithLastBuffer = true;
    script_.description = "decoder broke";
    expectFailure(run({source_, "/dev/null"}), "depasse la taille d'un WAV classique, ffmpeg requis");
}

TEST_F(ExtractionRun, ReaderFailingAfterSomeBytesRemovesTarget) {
    WriteFile(target_, "older file");
    script_.buffers = {600, 600};
    script_.endStatus = ReaderStatus::failed;
    script_.description = "Invalid data found when processing input";
    expectFailure(run(), "extraction interrompue : Invalid data found when processing input");
    EXPECT_FALSE(fs::exists(target_));
}

TEST_F(ExtractionRun, NoBytesOrNoDescriptionMeansUnknownCause) {
    script_.buffers = {0, 0};
    expectFailure(run(), "extraction interrompue : cause inconnue");
    EXPECT_FALSE(fs::exists(target_));

    script_.buffers = {6};
    script_.endStatus = ReaderStatus::failed;
    expectFailure(run(), "extraction interrompue : cause inconnue");
    EXPECT_FALSE(fs::exists(target_));
}

TEST_F(ExtractionRun, ReaderThatCannotBeMadeLeavesTargetUntouched) {
    WriteFile(target_, "keep me");
    script_.readerError = "Decoder not found";
    expectFailure(run(), "lecture impossible : Decoder not found");
    EXPECT_EQ(ReadFile(target_), "keep me");
}

TEST_F(ExtractionRun, RefusedStartRemovesTarget) {
    WriteFile(target_, "older file");
    script_.startRefusal = "Invalid argument";
    expectFailure(run(), "demarrage de la lecture refuse : Invalid argument");
    EXPECT_FALSE(fs::exists(target_));
}

TEST_F(ExtractionRun, FormatsTheHeaderCannotHoldAreRefusedBeforeWriting) {
    const std::string refused = "format audio non convertible nativement";
    WriteFile(target_, "keep me");
    for (const char* rate : {"inf", "0.5", "1431655766"}) {
        script_.track = AudioTrack{1, std::nullopt};
        expectFailure(run({source_, target_, rate}), refused);
    }
    script_.track = AudioTrack{21846, std::nullopt};
    expectFailure(run(), refused);
    EXPECT_EQ(ReadFile(target_), "keep me");
    EXPECT_FALSE(script_.startedRate.has_value());
}

TEST_F(ExtractionRun, LargestFormatsTheHeaderHoldsAreAccepted) {
    script_.track = AudioTrack{1, std::nullopt};
    script_.buffers = {3};
    EXPECT_EQ(run({source_, target_, "1431655765"}).status, 0);
    script_.track = AudioTrack{21845, std::nullopt};
    script_.buffers = {65535};
    EXPECT_EQ(run({source_, target_, "1"}).out, "1\n");
}

TEST_F(ExtractionRun, TargetThatIsTheSourceIsRefusedUntouched) {
    const std::string link = (dir_ / "link.wav").string();
    fs::create_hard_link(source_, link);
    for (const std::string& target : {source_, link}) {
        expectFailure(run({source_, target}), "ecriture impossible : " + target);
    }
    EXPECT_EQ(ReadFile(source_), "media");
}

TEST_F(ExtractionRun, TargetThatCannotBeOpenedIsNamed) {
    const std::string inMissingFolder = (dir_ / "missing" / "out.wav").string();
    expectFailure(run({source_, inMissingFolder}), "ecriture impossible : " + inMissingFolder);
    expectFailure(run({source_, dir_.string()}), "ecriture impossible : " + dir_.string());
}

TEST_F(ExtractionRun, FullDiskIsAFailureNotASuccess) {
    script_.buffers = {6};
    expectFailure(run({source_, "/dev/full"}), "ecriture impossible : /dev/full");
    EXPECT_TRUE(fs::exists("/dev/full"));
}

}  // namespace
}  // namespace mivra
