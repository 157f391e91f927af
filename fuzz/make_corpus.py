#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs: ID3v1 trailers alone and small whole MP3 files.

Both fuzzers take the same seeds: a trailer alone is what the decoder reads, a whole file is
what the window is clicked on, and each target reads what it can from either. Run it again
after changing it; it replaces the seeds it wrote before.
"""
import pathlib
import random
import shutil

HERE = pathlib.Path(__file__).resolve().parent
TARGETS = ["fuzz_trailer_decode", "fuzz_file_click"]
TEST_DATA = HERE.parent / "tests" / "data"

rng = random.Random(20240601)


def field(text, width, pad=b" "):
    data = text.encode("latin-1") if isinstance(text, str) else text
    return (data + pad * width)[:width]


def trailer(mark=b"TAG", title="", artist="", album="", year="", comment="", genre=0,
            pad=b" "):
    data = (mark + field(title, 30, pad) + field(artist, 30, pad) + field(album, 30, pad) +
            field(year, 4, pad) + field(comment, 30, pad) + bytes([genre]))
    assert len(data) == 128
    return data


# One MPEG audio frame: the 4 header bytes, then a body of noise. The size follows the
# header's version, layer, bitrate and sample rate.
def frame(header, size):
    return bytes(header) + bytes(rng.randrange(256) for _ in range(size - 4))


def frames(header, size, count):
    return b"".join(frame(header, size) for _ in range(count))


MPEG1_L3_128K_44K = ([0xFF, 0xFB, 0x90, 0x64], 417)
MPEG1_L3_32K_48K_MONO = ([0xFF, 0xFB, 0x14, 0xC4], 96)
MPEG2_L3_64K_22K = ([0xFF, 0xF3, 0x80, 0x64], 208)
MPEG25_L3_8K_8K = ([0xFF, 0xE3, 0x18, 0xC4], 72)
MPEG1_L2_192K_48K = ([0xFF, 0xFD, 0xA4, 0x04], 576)
MPEG1_L1_128K_32K = ([0xFF, 0xFF, 0x48, 0x04], 192)


def xing_frame():
    header, size = MPEG1_L3_128K_44K
    body = bytes(32) + b"Xing" + bytes([0, 0, 0, 3]) + (4).to_bytes(4, "big")
    body += (4 * size).to_bytes(4, "big")
    return bytes(header) + (body + bytes(size))[: size - 4]


def id3v2_header(body_size):
    syncsafe = bytes((body_size >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x03\x00\x00" + syncsafe


def head_and_tail(path, head=2048):
    data = path.read_bytes()
    return data[:head] + data[-128:]


FULL_TAG = trailer(title="Hello World", artist="Some Artist", album="First Album",
                   year="1999", comment="fuzz seed", genre=17)

SEEDS = {
    # Trailers alone.
    "trailer_full": FULL_TAG,
    "trailer_nul_padded": trailer(title="Title", artist="Artist", year="2003", pad=b"\0"),
    "trailer_lower_case_mark": trailer(mark=b"tag", title="lower case mark", genre=3),
    "trailer_no_mark": trailer(mark=b"XYZ", title="no mark", genre=5),
    "trailer_nul_filled": bytes(128),
    "trailer_mark_then_nul": b"TAG" + bytes(125),
    "trailer_all_spaces": trailer(),
    "trailer_track_number": trailer(title="Track", comment=b"comment" + bytes(21) + b"\0\x07",
                                    genre=1),
    "trailer_latin1": trailer(title="Caf\xe9 \xdcber Stra\xdfe", artist="\xff\xfe\xa0\x80",
                              genre=34),
    "trailer_space_before_nul": trailer(title=b"AB \0", artist=b"A\0B", genre=35),
    "trailer_genre_255": trailer(title="unknown genre", genre=255),
    "trailer_full_width": trailer(title="T" * 30, artist="A" * 30, album="B" * 30, year="2024",
                                  comment="C" * 30, genre=12),
    # Files too short for a trailer.
    "short_empty": b"",
    "short_mark_only": b"TAG",
    "short_127_bytes": (b"TAG" + b"x" * 124),
    # Whole files.
    "file_cbr_with_tag": frames(*MPEG1_L3_128K_44K, 4) + FULL_TAG,
    "file_cbr_without_tag": frames(*MPEG1_L3_128K_44K, 4),
    "file_cbr_lower_case_tag": frames(*MPEG1_L3_128K_44K, 3) + trailer(mark=b"tag", title="x"),
    "file_xing_then_frames": xing_frame() + frames(*MPEG1_L3_128K_44K, 3) + FULL_TAG,
    "file_mono_48k": frames(*MPEG1_L3_32K_48K_MONO, 8) + FULL_TAG,
    "file_mpeg2_layer3": frames(*MPEG2_L3_64K_22K, 6) + FULL_TAG,
    "file_mpeg25_layer3": frames(*MPEG25_L3_8K_8K, 10),
    "file_layer2": frames(*MPEG1_L2_192K_48K, 3) + FULL_TAG,
    "file_layer1": frames(*MPEG1_L1_128K_32K, 5),
    "file_id3v2_then_frames": id3v2_header(64) + bytes(64) + frames(*MPEG1_L3_128K_44K, 3) +
                              FULL_TAG,
    "file_ape_then_tag": frames(*MPEG1_L3_128K_44K, 3) + b"APETAGEX" + bytes(24) + FULL_TAG,
    "file_cut_last_frame": frames(*MPEG1_L3_128K_44K, 3)[:-100] + FULL_TAG,
    "file_two_trailers": frames(*MPEG1_L3_128K_44K, 2) + FULL_TAG + trailer(title="second"),
    "file_noise_with_tag": bytes([0xFF, 0xFB]) * 50 + bytes(rng.randrange(256)
                                                           for _ in range(400)) + FULL_TAG,
    "file_nul_filled": bytes(1024),
}

# Heads of the project's own test files (made by tools/make_test_audio.sh with lame), with
# their real last 128 bytes.
for name in ["cbr", "vbr_xing", "vbr_no_xing", "id3v2_id3v1"]:
    path = TEST_DATA / f"{name}.mp3"
    if path.exists():
        SEEDS[f"lame_{name}_head"] = head_and_tail(path)


def main():
    for target in TARGETS:
        folder = HERE / "corpus" / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in SEEDS.items():
            (folder / name).write_bytes(data)
    total = sum(len(data) for data in SEEDS.values())
    print(f"{len(SEEDS)} seeds, {total} bytes, for each of: {', '.join(TARGETS)}")


if __name__ == "__main__":
    main()
