#include "player/mpeg_audio_duration.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>

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

std::optional<FrameHeader> parseHeader(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 4 > bytes.size() || bytes[at] != 0xFF || (bytes[at + 1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (bytes[at + 1] >> 3) & 3;
    const int layerBits = (bytes[at + 1] >> 1) & 3;
    const int bitrateIndex = bytes[at + 2] >> 4;
    const int sampleRateIndex = (bytes[at + 2] >> 2) & 3;
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
    const int table = mpeg1 ? header.layer - 1 : (header.layer == 1 ? 3 : 4);
    const int bitrate = kBitratesKbps[table][bitrateIndex] * 1000;
    if (bitrate == 0) {  // free-format or forbidden bitrate: no length to step by
        return std::nullopt;
    }
    const int divisor = mpeg1 ? 1 : (header.version == Version::Mpeg2 ? 2 : 4);
    header.sampleRate = kMpeg1SampleRates[sampleRateIndex] / divisor;
    header.mono = (bytes[at + 3] >> 6) == 3;
    if (header.layer == 1) {
        header.samples = 384;
        header.size = static_cast<std::size_t>((12 * bitrate / header.sampleRate + padded) * 4);
    } else {
        header.samples = header.layer == 3 && !mpeg1 ? 576 : 1152;
        const int bytesPerSample = header.samples / 8;
        header.size =
            static_cast<std::size_t>(bytesPerSample * bitrate / header.sampleRate + padded);
    }
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

std::size_t id3v2Size(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') {
        return 0;
    }
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i) {
        size = (size << 7) | (bytes[i] & 0x7F);
    }
    const bool hasFooter = (bytes[5] & 0x10) != 0;
    return 10 + size + (hasFooter ? 10 : 0);
}

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view text) {
    if (at + text.size() > bytes.size()) {
        return false;
    }
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// The Xing or Info frame of a VBR encoder, or the VBRI one, is silent bookkeeping.
bool isBookkeepingFrame(std::span<const std::uint8_t> bytes, std::size_t at,
                        const FrameHeader& header) {
    const bool mpeg1 = header.version == Version::Mpeg1;
    const std::size_t sideInfo = mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
    const std::size_t xingAt = at + 4 + sideInfo;
    return startsWith(bytes, xingAt, "Xing") || startsWith(bytes, xingAt, "Info") ||
           startsWith(bytes, at + 4 + 32, "VBRI");
}

bool isTrailingTag(std::span<const std::uint8_t> bytes, std::size_t at) {
    return startsWith(bytes, at, "TAG") || startsWith(bytes, at, "APETAGEX") ||
           startsWith(bytes, at, "LYRICSBEGIN");
}

}  // namespace

std::optional<double> mpegAudioDuration(std::span<const std::uint8_t> bytes) {
    std::size_t at = id3v2Size(bytes);
    std::optional<FrameHeader> first;
    std::uint64_t samples = 0;
    bool firstFrame = true;
    bool inStep = false;  // the last frame ended where this one begins
    while (at + 4 <= bytes.size()) {
        auto header = inStep ? parseHeader(bytes, at) : confirmedFrame(bytes, at);
        if (header && first && !sameStream(*header, *first)) {
            header.reset();
        }
        if (first && !header && isTrailingTag(bytes, at)) {
            break;
        }
        if (header && at + header->size > bytes.size()) {
            break;  // a cut-off last frame
        }
        inStep = header.has_value();
        if (!header) {
            ++at;  // out of step: look for the next frame byte by byte
            continue;
        }
        if (!first) {
            first = header;
        }
        if (!(firstFrame && isBookkeepingFrame(bytes, at, *header))) {
            samples += static_cast<std::uint64_t>(header->samples);
        }
        firstFrame = false;
        at += header->size;
    }
    if (!first || samples == 0) {
        return std::nullopt;
    }
    return static_cast<double>(samples) / first->sampleRate;
}

std::optional<double> mpegAudioFileDuration(const std::string& path) {
    // Non-blocking, so that a FIFO put where the file was cannot hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    const bool mappable =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
    const auto size = static_cast<std::size_t>(status.st_size);
    // Mapped rather than read, so that a long recording costs no copy of itself in memory.
    void* mapped = mappable ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (mapped == MAP_FAILED) {
        return std::nullopt;
    }
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    const auto duration = mpegAudioDuration({static_cast<const std::uint8_t*>(mapped), size});
    ::munmap(mapped, size);
    return duration;
}

}  // namespace player
