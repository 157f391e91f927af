#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <stop_token>
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

// An MPEG-1 frame that carries `mark` ("Xing", "Info" or "VBRI") where encoders put it and,
// after it, the frame count they write there, when given.
Bytes bookkeepingFrame(const std::string& mark, std::optional<std::uint32_t> frames) {
    Bytes bytes = mpeg1Frame();
    const bool vbri = mark == "VBRI";
    const std::size_t at = 4 + 32;
    std::copy(mark.begin(), mark.end(), bytes.begin() + at);
    if (!frames) {
        return bytes;
    }
    const std::size_t countAt = at + (vbri ? 14 : 8);
    if (!vbri) {
        bytes[at + 7] = 1;  // the flags: a frame count follows
    }
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[countAt + i] = static_cast<std::uint8_t>(*frames >> (24 - 8 * i));
    }
    return bytes;
}

core::FilePath writeFile(const QTemporaryDir& folder, const Bytes& bytes) {
    const QString path = folder.filePath(QStringLiteral("stream.mp3"));
    test_files::writeAll(path, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size())));
    return test_files::pathOf(path);
}

// A tag header of `version` with `flags` that counts `size` bytes after it.
Bytes id3v2Header(std::uint8_t version, std::uint8_t flags, std::uint8_t size) {
    Bytes header = text("ID3");
    header.insert(header.end(), {version, 0, flags, 0, 0, 0, size});
    return header;
}

TEST(MpegAudioDuration, CountsEveryFrameOfTheStreamAndFindsNothingInWhatIsNoMpegAudio) {
    const double mpeg1Seconds = 1152.0 / 44100;
    const double mpeg2Seconds = 576.0 / 22050;
    const Bytes one = mpeg1Frame();
    Bytes id3v2 = text("ID3");
    id3v2.insert(id3v2.end(), {4, 0, 0, 0, 0, 1, 0});  // a 128-byte tag body
    id3v2.resize(10 + 128, 0xFF);                      // sync-like bytes inside the tag

    const std::vector<std::tuple<const char*, Bytes, std::optional<double>>> cases = {
        {"plain frames", repeat(one, 100), 100 * mpeg1Seconds},
        {"MPEG-2 frames", repeat(mpeg2Frame(), 50), 50 * mpeg2Seconds},
        {"a Xing frame is bookkeeping", join({bookkeepingFrame("Xing", {}), repeat(one, 10)}),
         10 * mpeg1Seconds},
        {"ID3v2 in front, ID3v1 behind",
         join({id3v2, repeat(one, 20), text("TAG"), Bytes(125, 0xFF)}), 20 * mpeg1Seconds},
        // No tag, or no footer, by the rule the tag code keeps: nothing of the audio is skipped.
        {"ID3v2.3 with the footer flag", join({id3v2Header(3, 0x10, 0), repeat(one, 20)}),
         20 * mpeg1Seconds},
        {"a header of version 5", join({id3v2Header(5, 0, 100), repeat(one, 20)}),
         20 * mpeg1Seconds},
        {"junk between frames", join({repeat(one, 5), Bytes(33, 0x12), repeat(one, 5)}),
         10 * mpeg1Seconds},
        {"a cut-off last frame", join({repeat(one, 7), Bytes(one.begin(), one.begin() + 100)}),
         7 * mpeg1Seconds},
        // The frames behind a header with a count are not looked at, so these 10 last 12.
        {"a Xing frame's count", join({bookkeepingFrame("Xing", 12), repeat(one, 10)}),
         12 * mpeg1Seconds},
        {"an Info frame's count", join({bookkeepingFrame("Info", 12), repeat(one, 10)}),
         12 * mpeg1Seconds},
        {"a VBRI frame's count", join({bookkeepingFrame("VBRI", 12), repeat(one, 10)}),
         12 * mpeg1Seconds},
        {"a count more frames than the file could hold is not trusted",
         join({bookkeepingFrame("Xing", 100000), repeat(one, 10)}), 10 * mpeg1Seconds},
        {"empty", {}, std::nullopt},
        {"text", text(std::string(5000, 'a')), std::nullopt},
        {"one lone frame header", frame(0xFB, 0x90, 0x40, 4), std::nullopt},
        {"sync bytes everywhere", Bytes(4000, 0xFF), std::nullopt},
        {"forbidden bitrate", repeat(frame(0xFB, 0xF0, 0x40, 417), 10), std::nullopt},
    };
    for (const auto& [what, bytes, seconds] : cases) {
        const auto duration = player::mpegAudioDuration(bytes);
        ASSERT_EQ(duration.has_value(), seconds.has_value()) << what;
        if (seconds) {
            EXPECT_NEAR(*duration, *seconds, 1e-9) << what;
        }
    }
}

// A file's Xing or Info header, when it has one, gives the count of its frames: with the mark
// made unreadable, every frame is counted, the header's own among them.
TEST(MpegAudioDuration, MeasuresRealEncodedFilesAsTheirHeadersCountThem) {
    // Lengths of the test files' audio; the encoder adds up to two frames of delay and padding.
    const std::vector<std::pair<QString, std::optional<double>>> cases = {
        {"cbr.mp3", 4.0},         {"vbr_xing.mp3", 5.0},         {"vbr_no_xing.mp3", 5.0},
        {"id3v2_id3v1.mp3", 4.0}, {"garbage.mp3", std::nullopt},
    };
    for (const auto& [name, seconds] : cases) {
        const QString file = test_files::testDataFile(name);
        const auto duration = player::mpegAudioFileDuration(test_files::pathOf(file));
        ASSERT_EQ(duration.has_value(), seconds.has_value()) << name.toStdString();
        if (!seconds) {
            continue;
        }
        EXPECT_NEAR(*duration, *seconds, 0.1) << name.toStdString();
        const QByteArray bytes = test_files::readAll(file);
        Bytes unmarked(bytes.begin(), bytes.end());
        double headerFrame = 0;
        for (const char* mark : {"Xing", "Info"}) {
            const auto at = std::search(unmarked.begin(), unmarked.end(), mark, mark + 4);
            if (at != unmarked.end()) {
                *at = 'x';
                headerFrame = 1152.0 / 44100;
            }
        }
        const auto counted = player::mpegAudioDuration(unmarked);
        ASSERT_TRUE(counted.has_value()) << name.toStdString();
        EXPECT_DOUBLE_EQ(*duration, *counted - headerFrame) << name.toStdString();
    }
    EXPECT_FALSE(
        player::mpegAudioFileDuration(core::FilePath("/nonexistent/file.mp3")).has_value());
}

// Several pieces of reading, with frames, junk and long runs of zeros across their borders; a
// stop asked for first ends the count with no length.
TEST(MpegAudioDuration, AFileReadInPiecesCountsAsItsBytesDoUntilStopped) {
    const Bytes bytes = join({repeat(mpeg1Frame(), 1000), Bytes(3 << 20, 0), Bytes(77, 0xFF),
                              repeat(mpeg1Frame(), 3000), Bytes(100000, 0x12),
                              repeat(mpeg1Frame(), 500), text("TAG"), Bytes(125, 0)});
    const QTemporaryDir folder;
    const core::FilePath path = writeFile(folder, bytes);
    std::stop_source stop;

    const auto whole = player::mpegAudioDuration(bytes);
    const auto read = player::mpegAudioFileDuration(path, stop.get_token());

    ASSERT_TRUE(whole && read);
    EXPECT_DOUBLE_EQ(*read, *whole);
    EXPECT_NEAR(*whole, 4500 * 1152.0 / 44100, 1e-9);
    stop.request_stop();
    EXPECT_FALSE(player::mpegAudioFileDuration(path, stop.get_token()).has_value());
}

TEST(MpegAudioDuration, TheHolesOfASparseFileArePassedOverUnread) {
    // Reading 16 GiB of zeros would take this test's whole time limit and more.
    const QTemporaryDir folder;
    const core::FilePath path = writeFile(folder, repeat(mpeg1Frame(), 1000));
    QFile file(test_files::qtPath(path));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(qint64{16} << 30));
    const Bytes end = repeat(mpeg1Frame(), 500);
    ASSERT_TRUE(file.seek(file.size()));
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(end.data()), qint64(end.size())),
              qint64(end.size()));
    file.close();

    const auto seconds = player::mpegAudioFileDuration(path);

    ASSERT_TRUE(seconds.has_value());
    EXPECT_NEAR(*seconds, 1500 * 1152.0 / 44100, 1e-9);
}

}  // namespace
