#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace player {

// The play length of an MPEG audio stream (MP3 and its layer I and II kin), counted frame by
// frame, so it is exact also for a variable-bitrate file with no Xing or VBRI header, where a
// length guessed from the first frames' bitrate can be off by a third. An ID3v2 header in
// front and tags at the end are skipped; a Xing, Info or VBRI frame holds no audio and is not
// counted. Nothing when the bytes hold no run of MPEG audio frames.
std::optional<double> mpegAudioDuration(std::span<const std::uint8_t> bytes);

// The same for the file at `path`; nothing when it cannot be read.
std::optional<double> mpegAudioFileDuration(const std::string& path);

}  // namespace player
