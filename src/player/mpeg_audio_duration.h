#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "core/file_path.h"

namespace player {

// The play length of an MPEG audio stream (MP3 and its layer I and II kin). A Xing, Info or
// VBRI frame at its start gives the number of frames, so the rest is not looked at; otherwise
// the frames are counted one by one, which is exact also for a variable-bitrate file with no
// such header, where a length guessed from the first frames' bitrate can be off by a third.
// An ID3v2 header in front and tags at the end are skipped; a Xing, Info or VBRI frame holds
// no audio and is not counted. Nothing when the bytes hold no run of MPEG audio frames.
std::optional<double> mpegAudioDuration(std::span<const std::uint8_t> bytes);

// The same for the file at `path`, read piece by piece, so that a file cut short while it is
// read ends the count instead of the process. Nothing when the file cannot be read, when it
// changes size while it is read, or when `stop` is requested first; a request is seen within
// one piece of reading, well under a millisecond.
std::optional<double> mpegAudioFileDuration(const core::FilePath& path, std::stop_token stop = {});

}  // namespace player
