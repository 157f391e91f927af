#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/mpeg_audio_duration.h"
#include "support/temp_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One MPEG frame with the given header bytes, filled to its size with non-sync bytes.
Bytes frame(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::size_t size) {
    Bytes bytes(size, 0x55);
    bytes[0] = 0xFF;
    bytes[1] = b1;
    bytes[2] = b2;
    bytes[3] = b3;
    return bytes;
}

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo, not padded: 417 bytes, 1152 samples.
Bytes mpeg1Frame() {
    return frame(0xFB, 0x90, 0x40, 417);
}
// MPEG-2 layer III, 64 kbit/s, 22.05 kHz, mono: 72 * 64000 / 22050 = 208 bytes, 576 samples.
Bytes mpeg2Frame() {
    return frame(0xF3, 0x80, 0xC0, 208);
}

Bytes repeat(const Bytes& one, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i) {
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(MpegAudioDuration, CountsEveryFrameOfTheStream) {
    const double mpeg1Seconds = 1152.0 / 44100;
    const double mpeg2Seconds = 576.0 / 22050;
    const Bytes one = mpeg1Frame();
    Bytes xing = one;
    const std::string mark = "Xing";
    std::copy(mark.begin(), mark.end(), xing.begin() + 4 + 32);
    Bytes id3v2 = text("ID3");
    id3v2.insert(id3v2.end(), {4, 0, 0, 0, 0, 1, 0});  // a 128-byte tag body
    id3v2.resize(10 + 128, 0xFF);                      // sync-like bytes inside the tag

    const std::vector<std::tuple<const char*, Bytes, double>> cases = {
        {"plain frames", repeat(mpeg1Frame(), 100), 100 * mpeg1Seconds},
        {"MPEG-2 frames", repeat(mpeg2Frame(), 50), 50 * mpeg2Seconds},
        {"a Xing frame is bookkeeping", join({xing, repeat(mpeg1Frame(), 10)}), 10 * mpeg1Seconds},
        {"ID3v2 in front, ID3v1 behind",
         join({id3v2, repeat(mpeg1Frame(), 20), text("TAG"), Bytes(125, 0xFF)}), 20 * mpeg1Seconds},
        {"junk between frames",
         join({repeat(mpeg1Frame(), 5), Bytes(33, 0x12), repeat(mpeg1Frame(), 5)}),
         10 * mpeg1Seconds},
        {"a cut-off last frame",
         join({repeat(mpeg1Frame(), 7), Bytes(one.begin(), one.begin() + 100)}), 7 * mpeg1Seconds},
    };
    for (const auto& [what, bytes, seconds] : cases) {
        const auto duration = player::mpegAudioDuration(bytes);
        ASSERT_TRUE(duration.has_value()) << what;
        EXPECT_NEAR(*duration, seconds, 1e-9) << what;
    }
}

TEST(MpegAudioDuration, FindsNothingInWhatIsNoMpegAudio) {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"text", text(std::string(5000, 'a'))},
        {"one lone frame header", frame(0xFB, 0x90, 0x40, 4)},
        {"sync bytes everywhere", Bytes(4000, 0xFF)},
        {"forbidden bitrate", repeat(frame(0xFB, 0xF0, 0x40, 417), 10)},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_FALSE(player::mpegAudioDuration(bytes).has_value()) << what;
    }
}

TEST(MpegAudioDuration, MeasuresRealEncodedFiles) {
    // Lengths of the test files' audio; the encoder adds up to two frames of delay and padding.
    const std::vector<std::pair<QString, double>> cases = {{"cbr.mp3", 4.0},
                                                           {"vbr_xing.mp3", 5.0},
                                                           {"vbr_no_xing.mp3", 5.0},
                                                           {"id3v2_id3v1.mp3", 4.0}};
    for (const auto& [name, seconds] : cases) {
        const auto duration =
            player::mpegAudioFileDuration(test_files::testDataFile(name).toStdString());
        ASSERT_TRUE(duration.has_value()) << name.toStdString();
        EXPECT_NEAR(*duration, seconds, 0.1) << name.toStdString();
    }
    EXPECT_FALSE(player::mpegAudioFileDuration(
                     test_files::testDataFile(QStringLiteral("garbage.mp3")).toStdString())
                     .has_value());
    EXPECT_FALSE(player::mpegAudioFileDuration("/nonexistent/file.mp3").has_value());
}

}  // namespace
