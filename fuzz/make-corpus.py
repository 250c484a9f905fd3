#!/usr/bin/env python3
"""Makes the hand-built seeds in fuzz/corpus/<target>/ (small pictures drawn with ImageMagick's
/usr/bin/convert, plus hand-made inputs). Run from anywhere; rewrites only its own files. The
other files there are inputs the fuzzers found, merged in with -merge=1 (named by hash)."""
import os
import pathlib
import struct
import subprocess
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"
CONVERT = "/usr/bin/convert"


def convert(args, out):
    subprocess.run([CONVERT, *args, str(out)], check=True)


def put(target, name, data):
    d = CORPUS / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data)


def pictures(tmp):
    """Small pictures of every kind the readers meet."""
    src = ["-size", "23x17", "gradient:#204080-#f0c020"]
    plasma = ["-seed", "3", "-size", "19x13", "plasma:fractal"]
    made = {}

    def make(name, args):
        out = tmp / name
        prefix = ""
        if args and args[-1].endswith(":"):  # an output format such as PNG24:
            prefix = args[-1]
            args = args[:-1]
        convert(args, prefix + str(out))
        made[name] = out.read_bytes()

    # GIF
    make("plain.gif", [*src, "-colors", "16"])
    make("bw.gif", ["-size", "16x9", "pattern:gray50", "-monochrome"])
    make("interlaced.gif", [*plasma, "-colors", "32", "-interlace", "GIF"])
    make("anim.gif", ["-delay", "5", "-size", "8x6", "xc:red", "-size", "8x6", "xc:blue",
                      "-dispose", "previous", "-loop", "0"])
    make("transparent.gif", ["-size", "10x7", "xc:none", "-fill", "green", "-draw",
                             "rectangle 2,2 6,5"])
    make("tiny.gif", ["-size", "1x1", "xc:white"])
    # PNG
    make("rgb8.png", [*plasma, "PNG24:"])
    make("rgb16.png", [*plasma, "-depth", "16", "PNG48:"])
    make("rgba.png", [*plasma, "-alpha", "set", "-channel", "A", "-evaluate", "set", "50%",
                      "+channel", "PNG32:"])
    make("pal8.png", [*src, "-colors", "60", "PNG8:"])
    make("pal4.png", [*src, "-colors", "12", "-define", "png:bit-depth=4",
                      "-define", "png:color-type=3"])
    make("pal1.png", ["-size", "13x5", "pattern:checkerboard", "-colors", "2",
                      "-define", "png:bit-depth=1", "-define", "png:color-type=3"])
    make("gray1.png", ["-size", "13x5", "pattern:gray50", "-define", "png:bit-depth=1",
                       "-define", "png:color-type=0"])
    make("gray2.png", [*src, "-colorspace", "gray", "-define", "png:bit-depth=2",
                       "-define", "png:color-type=0"])
    make("gray16.png", [*src, "-colorspace", "gray", "-depth", "16",
                        "-define", "png:color-type=0"])
    make("grayalpha.png", [*src, "-colorspace", "gray", "-alpha", "set", "-channel", "A",
                           "-evaluate", "set", "30%", "+channel",
                           "-define", "png:color-type=4"])
    make("interlaced.png", [*plasma, "-interlace", "PNG", "PNG24:"])
    make("bkgd.png", [*plasma, "-background", "#123456", "-define", "png:bit-depth=8",
                      "-units", "PixelsPerCentimeter", "-density", "28", "PNG24:"])
    make("trns.png", ["-size", "9x9", "xc:none", "-fill", "red", "-draw", "point 4,4",
                      "PNG8:"])
    # JPEG
    make("base.jpg", [*src, "-quality", "70"])
    make("progressive.jpg", [*plasma, "-interlace", "JPEG", "-quality", "60"])
    make("gray.jpg", [*src, "-colorspace", "gray", "-quality", "60"])
    make("cmyk.jpg", [*plasma, "-colorspace", "CMYK", "-quality", "60"])
    make("s444.jpg", [*plasma, "-sampling-factor", "1x1", "-quality", "50"])
    make("restart.jpg", [*src, "-define", "jpeg:restart-interval=1", "-quality", "50"])
    make("arith.jpg", [*src, "-define", "jpeg:arithmetic-coding=true", "-quality", "50"])
    make("dpcm.jpg", [*src, "-units", "PixelsPerCentimeter", "-density", "40"])
    return made


def gif_image_data(gif):
    """(width, height, interlaced, bytes from the minimum code size to the block terminator)
    of the first image of a GIF."""
    pos = 13
    flags = gif[10]
    if flags & 0x80:
        pos += 3 * (2 << (flags & 7))
    while pos < len(gif):
        b = gif[pos]
        if b == 0x21:
            pos += 2
            while gif[pos]:
                pos += gif[pos] + 1
            pos += 1
        elif b == 0x2C:
            _, _, w, h, f = struct.unpack("<HHHHB", gif[pos + 1:pos + 10])
            pos += 10
            if f & 0x80:
                pos += 3 * (2 << (f & 7))
            start = pos
            pos += 1
            while gif[pos]:
                pos += gif[pos] + 1
            return w, h, bool(f & 0x40), gif[start:pos + 1]
        else:
            pos += 1
    raise ValueError("no image")


def main():
    with tempfile.TemporaryDirectory() as t:
        made = pictures(pathlib.Path(t))
    for name, data in sorted(made.items()):
        ext = name.rsplit(".", 1)[1]
        target = {"gif": "gif", "png": "png", "jpg": "jpeg"}[ext]
        put(target, name, data)
        if name in ("base.jpg", "progressive.jpg", "restart.jpg"):
            put("jpeg_frame", name, data)
        if name in ("plain.gif", "bw.gif", "base.jpg", "progressive.jpg", "rgba.png",
                    "pal1.png", "interlaced.png", "cmyk.jpg", "anim.gif"):
            put("whole", name, bytes([40, len(name) % 7 | (0x80 if "prog" in name else 0)]) + data)
        if ext == "gif":
            w, h, il, lzw = gif_image_data(data)
            put("lzw", name.replace(".gif", ".lzw"), struct.pack("<HHB", w - 1, h - 1, il) + lzw)

    # Copies of codec fixtures: colour chunks the PNG reader acts on (gAMA, cHRM, sRGB),
    # interlaced alpha, TIFF grey with alpha in strips and tiles, floating point.
    for target, name in (("png", "rgba8-gama4.png"), ("png", "rgb8-gama-chrm.png"),
                         ("png", "rgb8-gama-srgb.png"), ("png", "rgba8-adam7.png"),
                         ("tiff", "grey16-alpha.tif"), ("tiff", "grey8-alpha-tiled.tif"),
                         ("tiff", "float32.tif")):
        put(target, name, (HERE.parent / "tests" / "data" / target / name).read_bytes())

    # LZW by hand: minimum code size 2, clear, literals, end; and a deferred clear at width 12.
    put("lzw", "hand-small.lzw", struct.pack("<HHB", 3, 2, 0) + bytes([2, 2, 0x4C, 0x01, 0]))
    bits, n = 0, 0
    codes = [256] + [i % 256 for i in range(5000)] + [257]
    acc = bytearray()
    width, next_code = 9, 258
    for i, c in enumerate(codes):
        bits |= c << n
        n += width
        while n >= 8:
            acc.append(bits & 0xFF)
            bits >>= 8
            n -= 8
        if 0 < i < len(codes) - 1 and i > 1:
            if next_code < 4096:
                next_code += 1
                if next_code >= (1 << width) and width < 12:
                    width += 1
    if n:
        acc.append(bits & 0xFF)
    blocks = bytearray([8])
    for i in range(0, len(acc), 255):
        chunk = acc[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    blocks += b"\0"
    put("lzw", "hand-full-table.lzw", struct.pack("<HHB", 99, 49, 1) + bytes(blocks))

    # Frame headers behind fill bytes, a marker without a length, a length past the end, a frame
    # header cut short and scan data before any frame.
    sof = bytes([0xFF, 0xC0, 0, 11, 8, 0, 3, 0, 5, 1, 1, 0x11, 0])
    for i, data in enumerate([b"\xff\xd8\xff\xff\xff\x01" + sof,
                              b"\xff\xd8\xff\xe1\x00\x04ab\xff\xd0" + sof,
                              b"\xff\xd8\xff\xe0\xff\xff", b"\xff\xd8" + sof[:6],
                              b"\xff\xd8\xff\xda\x00\x02" + sof]):
        put("jpeg_frame", f"hand{i}.jpg", data)

    # Resampler: sizes, filter and pixels.
    for i, head in enumerate([(10, 8, 4, 3, 1), (3, 30, 20, 2, 5), (1, 1, 40, 40, 6),
                              (39, 2, 1, 1, 3), (7, 7, 0, 5, 2), (16, 9, 16, 9, 0x84),
                              (5, 5, 12, 12, 7), (25, 11, 9, 30, 4)]):
        put("resample", f"r{i}", bytes(head) + bytes((j * 37 + i) & 0xFF for j in range(64)))

    # INI: section index, key index, value length (2 bytes), value, file text.
    ini_files = [
        b"[General Options]\r\nTargetDir=/tmp/out\r\nBackColorS=clWhite\r\n\r\n"
        b"[Table Options]\r\nTableCols=4\r\n",
        b"\xef\xbb\xbf; comment\n[general options]\n  targetdir  =  spaced value  \n"
        b"[Image Options]\nFilter=$FFFFFFFF\nJPEGQuality=0x20\n",
        b"no section line\nkey=value\n[x]\nk\n=empty name\n[x]\nk=second\n",
        b"[Table Options]\r\nBorder=1",
    ]
    for i, text in enumerate(ini_files):
        value = [b"C:\\pictures", b"  trimmed  ", b"line\r\nbreak", b""][i]
        put("ini", f"i{i}", bytes([i, i + 1]) + struct.pack("<H", len(value)) + value + text)

    # Names for the pages.
    for i, name in enumerate(["plain_name-1.jpg", "blank name.jpg", "a&b<c>d\"e'f.gif",
                              "#hash%25?q.png", "Ünïcödé 写真.jpg", "-dash.png",
                              "q');alert(1);('.jpg", "back\\slash\t\x01.png", "%zz%4",
                              "\xff\xfe bad utf8"]):
        put("html", f"n{i}", name.encode("utf-8", "surrogateescape")
            if isinstance(name, str) else name)


if __name__ == "__main__":
    main()
