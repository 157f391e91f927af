#!/usr/bin/env bash
# Makes the small MP3 files that the player's tests play, into tests/data/. The files are
# committed, so a build needs neither lame nor sox; run this again only to change them.
# Needs: sox, lame (Debian packages sox and lame).
set -euo pipefail
cd "$(dirname "$0")/../tests/data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Four seconds of a chord: steady, so a constant bitrate suits it.
sox -n -r 44100 -c 1 "$work/tone.wav" synth 4 sine 440 sine 660 remix 1-2 gain -6

# Two seconds of near-silence, then three of loud noise: a variable-bitrate encoder spends few
# bits on the first part and many on the second, so a length guessed from the first frames is
# far off.
sox -n -r 44100 -c 1 "$work/quiet.wav" synth 2 sine 220 gain -60
sox -n -r 44100 -c 1 "$work/loud.wav" synth 3 whitenoise gain -3
sox "$work/quiet.wav" "$work/loud.wav" "$work/uneven.wav"

lame --quiet --noreplaygain -b 64 "$work/tone.wav" cbr.mp3
lame --quiet --noreplaygain -V 4 "$work/uneven.wav" vbr_xing.mp3
lame --quiet --noreplaygain -V 4 -t "$work/uneven.wav" vbr_no_xing.mp3
lame --quiet --noreplaygain -b 64 --add-id3v2 --pad-id3v2-size 512 \
    --tt "Tone" --ta "Test Artist" --tl "Test Album" --ty 2024 --tc "made by lame" --tg Blues \
    "$work/tone.wav" id3v2_id3v1.mp3

# Text, not audio, under an .mp3 name.
printf 'This is a shopping list, not a song.\n%.0s' {1..64} > garbage.mp3

ls -l cbr.mp3 vbr_xing.mp3 vbr_no_xing.mp3 id3v2_id3v1.mp3 garbage.mp3
