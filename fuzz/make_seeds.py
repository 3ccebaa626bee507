#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Seeds are small, hand-made inputs that reach every path of the readers and
the parameter space of the transforms: every PNM format plain and raw, with
comments, odd widths and broken headers; text-form blocks; text art; and
parameter blobs for each transform. Run it after editing the lists below and
review the diff; the fuzzer's own finds are not kept here.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def reset(target):
    shutil.rmtree(os.path.join(HERE, "corpus", target), ignore_errors=True)


# ---- PNM: the same seeds for the buffer and the file reader -----------------

def pnm_seeds():
    s = {}
    # Every format, plain and raw, with odd widths. The seeds named p<type>_
    # are complete images for both readers with nothing after the raster but
    # blanks; the truncation test cuts them short.
    s["p1_plain_8x2"] = "P1\n8 2\n1 0 1 1 0 0 1 0\n0 1 0 0 1 1 0 1\n"
    s["p1_plain_8x1_comments"] = "P1\n# c\n8 # w\n1\n#h\n1 1 1 1 0 0 0 1"
    s["joined_digits_p1_8x1"] = "P1 8 1 10110010"
    s["digit_run_p1_2x1"] = "P1\n2 1\n10 1\n"
    s["rounded_width_p1_9x2"] = "P1\n9 2\n" + "1 0 1 1 0 0 1 0 1\n" * 2 + "1" * 14
    s["buffer_only_p1_3x2"] = "P1\n3 2\n1 0 1\n0 1 0\n"
    s["p2_plain_2x2"] = "P2\n2 2\n15\n0 15\n7 3\n"
    s["p2_plain_300"] = "P2 1 2 65535 300 70000\n"
    s["p3_plain_2x1"] = "P3\n2 1\n255\n10 11 12  255 0 300\n"
    s["p3_plain_overflow"] = "P3 1 1 255 99999999999 4294967296 1\n"
    s["p4_raw_10x2"] = b"P4\n10 2\n\xff\xc0\x80\x40"
    s["p4_raw_8x1"] = b"P4 8 1\n\xa5"
    s["p4_raw_13x3"] = b"P4\n13 3\n" + b"\xff\xf8\x12\x34\x80\x01"
    s["p4_raw_1x1"] = b"P4 1 1 \x80"
    s["p5_raw_3x2"] = b"P5\n3 2\n255\n\x00\x80\xff\x01\x02\x03"
    s["p5_raw_maxval15"] = b"P5 2 1 15\n\x0f\x10"
    s["p6_raw_2x2"] = b"P6\n2 2\n255\n" + bytes(range(12))
    s["p6_raw_1x1_maxval65535"] = b"P6 1 1 65535\n\x01\x02\x03"
    # Comments between tokens, in the raster, after digits.
    s["p6_comments"] = (b"P6\n# a comment 99 P6\n2\n#1 2 3\n1\n# maxval 7\n255\n"
                        + bytes([1, 2, 3, 4, 5, 6]))
    s["comment_after_digits_p2"] = "P2\n2#x 9\n1\n255\n1 2\n"
    s["p5_comment_crlf"] = b"P5\r\n#c\r\n2 1\r\n255\n\x01\x02"
    s["hash_in_raster_p3"] = "P3 1 1 255 #1 2 3\n"
    s["comment_to_end_p6"] = "P6 2 2 # no newline"
    # Separators: tabs, control bytes, DEL and high bytes, letters.
    s["letter_x_p6_4x3"] = b"P6 4x3 255\n" + bytes(36)
    s["p5_blanks"] = b"P5\t\x01\x7f\x80\xff2\x0b1\x0c255 \x09\x0a"
    s["letter_separators_p2"] = "P2 2a2b255c1,2;3.4"
    s["numbers_before_magic"] = b"4 3 P6 255\n" + bytes(36)
    s["width_before_p1"] = "5 P1 1 10110"
    s["width_before_p4"] = b"3 2 P4 \xa0"
    s["second_p_after_magic"] = "P2 P 2 2 1 2 3 4"
    # Broken headers.
    s["bad_type_p0"] = "P0 1 1 255\n"
    s["bad_type_p7"] = "P7 1 1 255\n"
    s["bad_type_letter"] = "Px 1 1\n"
    s["magic_at_end"] = "P"
    s["magic_only"] = "P6"
    s["width_zero"] = b"P5 0 3 255\n\x00"
    s["height_zero"] = b"P5 3 0 255\n\x00"
    s["no_digits"] = "P5 - - 255\n"
    s["huge_side"] = b"P5 16385 1 255\n" + bytes(8)
    s["side_limit"] = b"P4 16384 1\n" + bytes(2048)
    s["many_digits"] = "P6 " + "9" * 40 + " 1 255\n"
    s["too_many_pixels"] = b"P4 16384 16384\n" + bytes(8)
    s["maxval_digits"] = b"P5 1 1 " + b"7" * 30 + b"\n\x05"
    s["header_cut"] = "P3\n2 2"
    s["stray_before_magic"] = "x P1 1 1 1"
    s["empty"] = b""
    # Short rasters of every kind.
    s["short_p6_pixel"] = b"P6 2 1 255\n\x01\x02\x03\x04"
    s["short_p5"] = b"P5 3 1 255\n\x01"
    s["short_p4"] = b"P4 16 2\n\xff\xff"
    s["short_p3"] = "P3 2 1 255 1 2 3 4"
    s["short_p2"] = "P2 2 2 255 1 2 3"
    s["short_p1"] = "P1 3 1 1 0"
    s["trailing_bytes"] = b"P5 1 1 255\n\x07rest of the file"
    return s


def pnm_fixtures():
    folder = os.path.join(ROOT, "tests", "data", "pnm")
    for name in sorted(os.listdir(folder)):
        if name.endswith((".pbm", ".pgm", ".ppm")):
            with open(os.path.join(folder, name), "rb") as f:
                yield "fixture_" + name, f.read()


# ---- Text form --------------------------------------------------------------

def text_form_seeds():
    s = {}
    # The seeds named block_ are complete blocks; the truncation test cuts
    # them short.
    s["block_one_pixel"] = "IMG{\nP3\n1 1\n255\n 10  11  12\n}\n"
    row = " ".join("%3d %3d %3d" % (i, 2 * i, 255 - i) for i in range(6))
    s["block_two_by_three"] = "IMG{\nP3\n2 3\n255\n" + row + "\n}\n"
    s["block_seven_by_one"] = ("IMG{\nP3\n7 1\n255\n" + row + "\n  1   2   3\n}\n")
    s["empty_block"] = "IMG{}"
    s["block_zero_by_five"] = "IMG{\nP3\n0 5\n255\n}\n"
    s["block_text_before"] = "a picture: IMG IM IMG{ x P3\n2 1\n255\n1 2 3 4 5 6}"
    s["first_of_two_blocks"] = ("IMG{\nP3\n1 1\n255\n1 2 3\n}\n"
                       "IMG{\nP3\n1 1\n255\n4 5 6\n}\n")
    s["block_spill_300"] = "IMG{\nP3\n1 1\n255\n0 300 0\n}\n"
    s["block_overflow_channel"] = "IMG{P3\n1 1\n255\n99999999999 4294967296 7"
    s["block_markers_apart"] = "IMG and then { and then P3\n1 1 255 7 8 9"
    s["no_p3"] = "IMG{\nP6\n1 1\n255\n1 2 3\n}\n"
    s["no_brace"] = "IMG\nP3\n1 1\n255\n1 2 3\n"
    s["p3_without_newline"] = "IMG{P3 1 1 255 1 2 3"
    s["block_odd_separators"] = "IMG{P3\n2x1y255z1a2b3c4d5e6"
    s["no_width_digits"] = "IMG{P3\n  1 255 1 2 3"
    s["huge_claim"] = "IMG{P3\n65536 65536\n255\n1 2 3\n"
    s["width_overflow"] = "IMG{P3\n99999999999 1\n255\n1 2 3\n"
    s["block_long_maxval"] = "IMG{P3\n1 1\n" + "5" * 50 + "\n1 2 3\n"
    s["cut_in_header"] = "IMG{\nP3\n3"
    s["cut_after_width"] = "IMG{\nP3\n3 "
    s["cut_in_pixels"] = "IMG{\nP3\n2 2\n255\n1 2 3 4 5 6 7"
    s["cut_after_maxval"] = "IMG{\nP3\n2 2\n255"
    s["digits_missing"] = "IMG{\nP3\n1 2\n255\n1 2 3 4 5 ........"
    s["nul_inside"] = "IMG{\nP3\n1 1\n255\n1 2\x003\n}\n"
    s["high_bytes"] = b"IMG{\xffP3\n1 1\n255\n\x80\x011\xfe2\x7f3\n}\n"
    return s


# ---- Text art: a 4-byte column and row, then the file -----------------------

def art(col, row, text):
    if isinstance(text, str):
        text = text.encode("latin-1")
    return struct.pack("<ii", col, row) + text


def text_art_seeds():
    s = {}
    with open(os.path.join(ROOT, "data", "manRun00.txt"), "rb") as f:
        frame = f.read()
    s["running_man_frame"] = art(0, 0, frame)
    s["running_man_offset"] = art(-4, -6, frame)
    with open(os.path.join(ROOT, "data", "WorldMap.txt"), "rb") as f:
        world = f.read()
    s["world_map_part"] = art(-20, -3, world[:1500])
    s["two_lines_closed"] = art(1, 1, "ab\ncde\n")
    s["two_lines_open"] = art(1, 1, "ab\ncde")
    s["crlf"] = art(0, 2, "x\r\ny\r\n")
    s["nul_inside"] = art(2, 0, "abc\x00def\nghi\n")
    s["high_bytes"] = art(0, 0, bytes(range(0x7c, 0x100)) + b"\n\x80\xff\n")
    s["empty"] = art(0, 0, "")
    s["newlines_only"] = art(3, -2, "\n" * 20)
    s["over_615"] = art(0, 0, ("0123456789" * 7 + "\n") * 10)
    s["exactly_615"] = art(0, 0, "x" * 614 + "\n")
    s["far_right"] = art(2**31 - 2, 2**31 - 1, "abc\ndef\n")
    s["far_left"] = art(-2**31, -2**31, "abc\ndef\n")
    s["right_edge"] = art(11, 6, "abcd\nefgh\n")
    s["short_input"] = b"\x01\x02\x03"
    return s


# ---- Transforms: an operation byte and its parameters -----------------------

def transform_seeds():
    s = {}

    def scale(name, sw, sh, w, h, flags=0):
        s["scale_" + name] = struct.pack("<BBBHHB", 0, sw, sh, w, h, flags)

    def rotate(name, sw, sh, angle):
        s["rotate_" + name] = struct.pack("<BBBi", 1, sw, sh, angle)

    def spread(name, a, b):
        s["spread_" + name] = struct.pack("<Bii", 2, a, b)

    def line(name, x0, y0, x1, y1):
        s["line_" + name] = struct.pack("<Biiii", 3, x0, y0, x1, y1)

    scale("row_4_to_2", 4, 1, 2, 1)
    scale("row_2_to_5", 2, 1, 5, 1)
    scale("column_4_to_2", 1, 4, 1, 2)
    scale("4x4_to_2x2", 4, 4, 2, 2)
    scale("same_size", 7, 5, 7, 5)
    scale("2x2_to_4x3", 2, 2, 4, 3)
    scale("4x2_to_2x3", 4, 2, 2, 3)
    scale("2x4_to_3x2", 2, 4, 3, 2)
    scale("shrink_both", 7, 5, 3, 2)
    scale("grow_width_shrink_height", 3, 7, 5, 3)
    scale("shrink_width_grow_height", 9, 2, 4, 5)
    scale("double", 16, 9, 32, 18)
    scale("halve", 64, 64, 32, 32)
    scale("large", 64, 64, 300, 299)
    scale("to_zero", 5, 5, 0, 3)
    scale("from_zero", 0, 5, 4, 4)
    scale("negative_width", 3, 3, 2, 2, 1)
    scale("negative_both", 3, 3, 2, 2, 3)
    rotate("1x1", 1, 1, 77)
    for angle in (0, 256, 512, 768, -256, 1024, -1024, 100):
        rotate("4x4_%d" % angle, 4, 4, angle)
    rotate("odd", 7, 3, 300)
    rotate("largest", 96, 96, 45)
    rotate("empty", 0, 4, 5)
    rotate("min_angle", 5, 5, -2**31)
    rotate("max_angle", 5, 5, 2**31 - 1)
    spread("2_4", 2, 4)
    spread("3_4", 3, 4)
    spread("3_7", 3, 7)
    spread("equal", 4, 4)
    spread("0_3", 0, 3)
    spread("0_0", 0, 0)
    spread("negative", -2, 4)
    spread("min", -2**31, 1)
    spread("max_zero", 2**31 - 1, 0)
    spread("max_one", 2**31 - 1, 1)
    spread("long", 70000, 65000)
    line("point", 0, 0, 0, 0)
    line("unit_x", 0, 0, 1, 0)
    line("unit_up", 0, 0, 0, -1)
    line("diagonal", 0, 0, 3, 3)
    line("steep", 0, 0, 2, 5)
    line("back", 3, 3, 0, 1)
    line("down_right", 0, 0, 5, -3)
    line("shallow", 0, 0, 4, 1)
    line("corners", -2**31, -2**31, 2**31 - 1, 2**31 - 1)
    line("edge_long", 2**31 - 1, 0, 2**31 - 70000, 5)
    line("just_over", 0, 0, (2**31 - 2) // 2 + 1, 0)
    line("just_under", 0, 0, 0, -((2**31 - 2) // 2))
    return s


def main():
    seeds = pnm_seeds()
    fixtures = dict(pnm_fixtures())
    for target in ("img_parse", "img_load"):
        reset(target)
        for name, data in list(seeds.items()) + list(fixtures.items()):
            write(target, name, data)
    for target, make in (("img_from_ascii", text_form_seeds),
                         ("text_art", text_art_seeds),
                         ("transform", transform_seeds)):
        reset(target)
        for name, data in make().items():
            write(target, name, data)


if __name__ == "__main__":
    main()
