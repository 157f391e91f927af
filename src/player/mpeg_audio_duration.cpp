#include "player/mpeg_audio_duration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "tag/id3v2_extent.h"

namespace player {

namespace {

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

struct FrameHeader {
    Version version;
    int layer;  // 1, 2 or 3
    int sampleRate;
    int samples;       // per frame
    std::size_t size;  // in bytes, header included
    bool mono;
};

constexpr std::array<std::array<int, 16>, 5> kBitratesKbps = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 II, III
}};

constexpr std::array<int, 3> kMpeg1SampleRates = {44100, 48000, 32000};

std::size_t frameBytes(const FrameHeader& header, int bitrate, bool padded) {
    if (header.layer == 1) {
        return static_cast<std::size_t>((12 * bitrate / header.sampleRate + padded) * 4);
    }
    const int bytesPerSample = header.samples / 8;
    return static_cast<std::size_t>(bytesPerSample * bitrate / header.sampleRate + padded);
}

std::size_t bitrateTable(const FrameHeader& header) {
    return header.version == Version::Mpeg1 ? static_cast<std::size_t>(header.layer - 1)
                                            : (header.layer == 1 ? 3 : 4);
}

std::optional<FrameHeader> parseHeader(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 4 > bytes.size() || bytes[at] != 0xFF || (bytes[at + 1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (bytes[at + 1] >> 3) & 3;
    const int layerBits = (bytes[at + 1] >> 1) & 3;
    const std::size_t bitrateIndex = bytes[at + 2] >> 4;
    const std::size_t sampleRateIndex = (bytes[at + 2] >> 2) & 3U;
    const bool padded = ((bytes[at + 2] >> 1) & 1) != 0;
    if (versionBits == 1 || layerBits == 0 || sampleRateIndex == 3) {
        return std::nullopt;
    }
    FrameHeader header{};
    header.version = versionBits == 3   ? Version::Mpeg1
                     : versionBits == 2 ? Version::Mpeg2
                                        : Version::Mpeg25;
    header.layer = 4 - layerBits;
    const bool mpeg1 = header.version == Version::Mpeg1;
    const int bitrate = kBitratesKbps[bitrateTable(header)][bitrateIndex] * 1000;
    if (bitrate == 0) {  // free-format or forbidden bitrate: no length to step by
        return std::nullopt;
    }
    const int divisor = mpeg1 ? 1 : (header.version == Version::Mpeg2 ? 2 : 4);
    header.sampleRate = kMpeg1SampleRates[sampleRateIndex] / divisor;
    header.mono = (bytes[at + 3] >> 6) == 3;
    header.samples = header.layer == 1 ? 384 : (header.layer == 3 && !mpeg1 ? 576 : 1152);
    header.size = frameBytes(header, bitrate, padded);
    return header;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// A frame counts as found only when the next one follows right after it, so that a stray
// 0xFF byte in other data is not taken for one.
std::optional<FrameHeader> confirmedFrame(std::span<const std::uint8_t> bytes, std::size_t at) {
    const auto header = parseHeader(bytes, at);
    if (!header) {
        return std::nullopt;
    }
    const auto next = parseHeader(bytes, at + header->size);
    if (!next || !sameStream(*header, *next)) {
        return std::nullopt;
    }
    return header;
}

// Where the audio begins: after the ID3v2 tag that the bytes begin with, by the rule the tag
// code reads and writes that tag by.
std::uint64_t audioStart(std::span<const std::uint8_t> bytes) {
    const std::string_view header(reinterpret_cast<const char*>(bytes.data()),
                                  std::min(bytes.size(), id3::kId3v2HeaderSize));
    return id3::id3v2TagSize(header).value_or(0);
}

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view text) {
    if (at + text.size() > bytes.size()) {
        return false;
    }
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<std::uint32_t> bigEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        return std::nullopt;
    }
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

// The Xing or Info frame of a VBR encoder, or the VBRI one, is silent bookkeeping. Nothing
// when the frame at `at` is none of them; else the number of audio frames it gives, 0 when it
// gives none.
std::optional<std::uint32_t> bookkeepingFrames(std::span<const std::uint8_t> bytes, std::size_t at,
                                               const FrameHeader& header) {
    constexpr std::uint32_t kHasFrameCount = 1;
    constexpr std::size_t kVbriAt = 4 + 32;
    constexpr std::size_t kVbriFramesAt = 14;
    const bool mpeg1 = header.version == Version::Mpeg1;
    const std::size_t sideInfo = mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
    const std::size_t xingAt = at + 4 + sideInfo;
    if (startsWith(bytes, xingAt, "Xing") || startsWith(bytes, xingAt, "Info")) {
        const auto flags = bigEndian32(bytes, xingAt + 4);
        const auto frames = bigEndian32(bytes, xingAt + 8);
        return flags && frames && (*flags & kHasFrameCount) != 0 ? *frames : 0;
    }
    if (startsWith(bytes, at + kVbriAt, "VBRI")) {
        return bigEndian32(bytes, at + kVbriAt + kVbriFramesAt).value_or(0);
    }
    return std::nullopt;
}

bool isTrailingTag(std::span<const std::uint8_t> bytes, std::size_t at) {
    return startsWith(bytes, at, "TAG") || startsWith(bytes, at, "APETAGEX") ||
           startsWith(bytes, at, "LYRICSBEGIN");
}

// The most bytes a step looks at past where it stands: the largest frame (MPEG-2 layer II at
// 160 kbit/s and 8 kHz, 2881 bytes) and the header after it.
constexpr std::size_t kLookahead = 4096;

// Steps through an MPEG audio stream that may come in pieces. `base` is where the bytes
// handed to step() begin in the stream, `streamSize` the stream's whole length.
class FrameScan {
public:
    explicit FrameScan(std::uint64_t streamSize) : streamSize_(streamSize) {}

    // Steps from `at`; with more bytes to come (`last` false) it stops where a step could
    // look past the end, and returns where to go on.
    std::size_t step(std::span<const std::uint8_t> bytes, std::uint64_t base, std::size_t at,
                     bool last) {
        const std::size_t end =
            last ? bytes.size() : (bytes.size() > kLookahead ? bytes.size() - kLookahead : 0);
        while (!ended_ && (last ? at + 4 <= end : at < end)) {
            auto header = inStep_ ? parseHeader(bytes, at) : confirmedFrame(bytes, at);
            if (header && first_ && !sameStream(*header, *first_)) {
                header.reset();
            }
            if (first_ && !header && isTrailingTag(bytes, at)) {
                ended_ = true;
                break;
            }
            if (header && at + header->size > bytes.size()) {
                ended_ = true;  // a cut-off last frame
                break;
            }
            inStep_ = header.has_value();
            if (!header) {
                at = nextCandidate(bytes, at + 1, end);
                continue;
            }
            if (!first_) {
                first_ = header;
            }
            if (firstFrame_) {
                firstFrame_ = false;
                if (const auto frames = bookkeepingFrames(bytes, at, *header)) {
                    if (plausible(*frames, *header, base + at)) {
                        frames_ = *frames;
                        ended_ = true;
                        break;
                    }
                    at += header->size;
                    continue;
                }
            }
            ++frames_;
            at += header->size;
        }
        return at;
    }

    bool ended() const { return ended_; }

    // After a run of zeros that was not stepped through byte by byte.
    void loseStep() { inStep_ = false; }

    std::optional<double> seconds() const {
        if (!first_ || frames_ == 0) {
            return std::nullopt;
        }
        return static_cast<double>(frames_) * first_->samples / first_->sampleRate;
    }

private:
    // Out of step, the next frame can begin only at a sync byte, and a tag only at its first
    // letter; runs of zeros, as in a file's unwritten holes, go by a word at a time.
    std::size_t nextCandidate(std::span<const std::uint8_t> bytes, std::size_t at,
                              std::size_t end) const {
        while (at < end) {
            std::uint64_t word = 0;
            if (at + sizeof word <= end) {
                std::memcpy(&word, bytes.data() + at, sizeof word);
                if (word == 0) {
                    at += sizeof word;
                    continue;
                }
            }
            const std::uint8_t byte = bytes[at];
            if (byte == 0xFF || (first_ && (byte == 'T' || byte == 'A' || byte == 'L'))) {
                return at;
            }
            ++at;
        }
        return at;
    }

    // A header's frame count is trusted only when the rest of the stream could hold that
    // many frames at the lowest bitrate, so a damaged one cannot claim days of audio.
    bool plausible(std::uint32_t frames, const FrameHeader& header, std::uint64_t at) const {
        const int lowestBitrate = kBitratesKbps[bitrateTable(header)][1] * 1000;
        const std::uint64_t smallest = frameBytes(header, lowestBitrate, false);
        return frames > 0 && frames * smallest <= streamSize_ - at;
    }

    std::uint64_t streamSize_;
    std::optional<FrameHeader> first_;
    std::uint64_t frames_ = 0;
    bool firstFrame_ = true;
    bool inStep_ = false;  // the last frame ended where this one begins
    bool ended_ = false;   // a trailing tag, a cut-off frame or a header's count: no more
};

// Reads a file piece by piece into one buffer that keeps the unstepped tail of each piece.
constexpr std::size_t kPieceBytes = 256 * 1024;

// Where data begins at or after `from`: past the hole that `from` lies in, if any. Holes are
// passed over unread, so a sparse file neither costs the time of reading its zeros nor fills
// the page cache with them.
std::uint64_t dataFrom(int fd, std::uint64_t from, std::uint64_t size) {
    const off_t data = ::lseek(fd, static_cast<off_t>(from), SEEK_DATA);
    if (data >= 0) {
        return static_cast<std::uint64_t>(data);
    }
    return errno == ENXIO ? size : from;
}

}  // namespace

std::optional<double> mpegAudioDuration(std::span<const std::uint8_t> bytes) {
    const std::uint64_t start = audioStart(bytes);
    if (start >= bytes.size()) {
        return std::nullopt;
    }
    FrameScan scan(bytes.size());
    scan.step(bytes, 0, start, true);
    return scan.seconds();
}

std::optional<double> mpegAudioFileDuration(const core::FilePath& path, std::stop_token stop) {
    // Non-blocking, so that a FIFO put where the file was cannot hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::array<std::uint8_t, 10> head{};
    const ssize_t headBytes = ::pread(fd, head.data(), head.size(), 0);
    FrameScan scan(size);
    std::vector<std::uint8_t> buffer(kPieceBytes + kLookahead);
    // buffer[0] lies at `base` in the file; buffer[at] is where the scan goes on.
    std::uint64_t base =
        headBytes > 0 ? audioStart({head.data(), static_cast<std::size_t>(headBytes)}) : 0;
    std::size_t filled = 0;
    std::size_t at = 0;
    bool failed = false;
    while (!scan.ended()) {
        if (stop.stop_requested()) {
            failed = true;
            break;
        }
        std::memmove(buffer.data(), buffer.data() + at, filled - at);
        base += at;
        filled -= at;
        at = 0;
        const std::uint64_t next = base + filled;
        const std::uint64_t data = next < size ? dataFrom(fd, next, size) : next;
        if (data >= next + kPieceBytes) {
            // A hole reads as zeros: the tail is stepped with zeros behind it, then the scan
            // goes on where data begins, as it would after reading every zero.
            std::fill_n(buffer.data() + filled, kLookahead, 0);
            scan.step({buffer.data(), filled + kLookahead}, base, at, false);
            scan.loseStep();
            base = data;
            filled = 0;
            continue;
        }
        const ssize_t got =
            ::pread(fd, buffer.data() + filled, buffer.size() - filled, static_cast<off_t>(next));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            failed = true;
            break;
        }
        filled += static_cast<std::size_t>(got);
        const bool last = got == 0 || base + filled >= size;
        at = scan.step({buffer.data(), filled}, base, at, last);
        if (last) {
            // Cut short or grown while it was read: the count belongs to no version of it.
            failed = base + filled != size;
            break;
        }
    }
    const bool resized =
        ::fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) != size;
    ::close(fd);
    if (failed || resized) {
        return std::nullopt;
    }
    return scan.seconds();
}

}  // namespace player
