#!/usr/bin/python3
"""Makes the codec fixtures in tests/data. Run from anywhere: python3 tests/data/make-fixtures.py

Needs Debian's python3-pil and libjpeg-turbo-progs (cjpeg, djpeg). The tests need neither: the
fixtures and their expected pixels are committed.

Expected pixels (*.ppm, 8-bit RGB) come from how each fixture was made: the GIF and PNG files
are written here from known indexes and samples, and their expected pixels are computed from
those; JPEG references are djpeg's decode of the same file (accurate integer DCT, fancy
upsampling: the reader's defaults). GIF and PNG files are also decoded with PIL as a cross-check
of the writers below.
"""
import os
import random
import struct
import subprocess
import tempfile
import zlib

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))


def path(*parts):
    p = os.path.join(HERE, *parts)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    return p


def write(p, data):
    with open(p, 'wb') as f:
        f.write(data)


def ppm(width, height, rgb_rows):
    """rgb_rows: list of rows, each a list of (r, g, b)."""
    body = bytes(v for row in rgb_rows for px in row for v in px)
    return b'P6\n%d %d\n255\n' % (width, height) + body


# ---------------------------------------------------------------- JPEG

def pattern_rgb(width, height):
    return [[((x * 255) // max(1, width - 1), (y * 255) // max(1, height - 1),
              ((x + y) * 37) % 256) for x in range(width)] for y in range(height)]


def run(args, stdin=None):
    return subprocess.run(args, input=stdin, stdout=subprocess.PIPE, check=True).stdout


def djpeg_reference(jpg_path, out_path):
    data = run(['djpeg', '-pnm', jpg_path])
    im = Image.open(__import__('io').BytesIO(data)).convert('RGB')
    write(out_path, ppm(im.width, im.height,
                        [[im.getpixel((x, y)) for x in range(im.width)] for y in range(im.height)]))


def make_jpegs():
    w, h = 32, 24
    src = ppm(w, h, pattern_rgb(w, h))
    with tempfile.TemporaryDirectory() as tmp:
        src_path = os.path.join(tmp, 'src.ppm')
        write(src_path, src)
        grey_path = os.path.join(tmp, 'src.pgm')
        Image.open(src_path).convert('L').save(grey_path)
        variants = {
            'grey': ['cjpeg', '-quality', '90', '-grayscale', src_path],
            'ycc420': ['cjpeg', '-quality', '90', '-sample', '2x2', src_path],
            'ycc444': ['cjpeg', '-quality', '90', '-sample', '1x1', src_path],
            'rgb': ['cjpeg', '-quality', '90', '-rgb', src_path],
            'progressive': ['cjpeg', '-quality', '90', '-progressive', src_path],
            'restart': ['cjpeg', '-quality', '90', '-restart', '1', src_path],
        }
        for name, args in variants.items():
            out = path('jpeg', name + '.jpg')
            write(out, run(args))
            djpeg_reference(out, path('jpeg', name + '.ref.ppm'))

        # The other DCT methods, decoded by djpeg with the same method.
        ycc = path('jpeg', 'ycc444.jpg')
        for method in ('fast', 'float'):
            data = run(['djpeg', '-pnm', '-dct', method, ycc])
            im = Image.open(__import__('io').BytesIO(data)).convert('RGB')
            write(path('jpeg', 'ycc444.%s.ref.ppm' % method),
                  ppm(im.width, im.height, [[im.getpixel((x, y)) for x in range(im.width)]
                                            for y in range(im.height)]))

        # 64 x 48 for the automatic scale.
        big = os.path.join(tmp, 'big.ppm')
        write(big, ppm(64, 48, pattern_rgb(64, 48)))
        write(path('jpeg', 'scale64x48.jpg'), run(['cjpeg', '-quality', '75', big]))

        # Truncated: a 4:4:4 picture cut inside its scan; its reference is the whole file's.
        tall = os.path.join(tmp, 'tall.ppm')
        write(tall, ppm(32, 64, pattern_rgb(32, 64)))
        whole = run(['cjpeg', '-quality', '90', '-sample', '1x1', tall])
        whole_path = path('jpeg', 'truncated.whole.jpg')
        write(whole_path, whole)
        djpeg_reference(whole_path, path('jpeg', 'truncated.ref.ppm'))
        os.remove(whole_path)
        write(path('jpeg', 'truncated.jpg'), whole[:len(whole) * 3 // 4])

    # Flat grey at quality 100: every pixel decodes to exactly 100.
    Image.new('L', (16, 16), 100).save(path('jpeg', 'grey-flat.jpg'), quality=100)

    # Density: unit 1 (300 x 150 dpi), and unit 2 (100 x 50 dots per cm) patched into the JFIF
    # header (unit byte at offset 13, densities at 14 and 16).
    im = Image.new('RGB', (8, 8), (10, 20, 30))
    im.save(path('jpeg', 'density-inch.jpg'), quality=90, dpi=(300, 150))
    with open(path('jpeg', 'density-inch.jpg'), 'rb') as f:
        data = bytearray(f.read())
    assert data[6:11] == b'JFIF\0'
    data[13] = 2
    data[14:18] = struct.pack('>HH', 100, 50)
    write(path('jpeg', 'density-cm.jpg'), bytes(data))

    # CMYK in 8 x 8 flat blocks at quality 100 (exact DC, no subsampling). PIL stores CMYK
    # inverted (Adobe); the expected pixel is the reader's conversion of the stored bytes.
    blocks = [(0, 0, 0, 0), (0, 0, 0, 255), (255, 0, 0, 0), (0, 128, 255, 64)]
    im = Image.new('CMYK', (32, 8))
    for i, c in enumerate(blocks):
        for y in range(8):
            for x in range(8):
                im.putpixel((8 * i + x, y), c)
    im.save(path('jpeg', 'cmyk.jpg'), quality=100)
    rows = []
    for y in range(8):
        row = []
        for x in range(32):
            c, m, yy, k = (255 - v for v in blocks[x // 8])
            row.append((k * c // 255, k * m // 255, k * yy // 255))
        rows.append(row)
    write(path('jpeg', 'cmyk.ref.ppm'), ppm(32, 8, rows))


# ---------------------------------------------------------------- GIF

def lzw_encode(indexes, min_size, defer_clear=False):
    """GIF LZW. With defer_clear the table is left full at 12 bits instead of being cleared."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0

    def put(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    width, nxt, table = min_size + 1, end + 1, {}
    put(clear, width)
    prefix = None
    for k in indexes:
        if prefix is None:
            prefix = k
            continue
        if (prefix, k) in table:
            prefix = table[(prefix, k)]
            continue
        put(prefix, width)
        if nxt < 4096:
            table[(prefix, k)] = nxt
            nxt += 1
            if nxt > (1 << width) and width < 12:
                width += 1
        if nxt >= 4096 and not defer_clear:
            put(clear, width)
            width, nxt, table = min_size + 1, end + 1, {}
        prefix = k
    if prefix is not None:
        put(prefix, width)
        if nxt < 4096 and nxt + 1 > (1 << width) and width < 12:
            width += 1
    put(end, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def table_bits(n):
    bits = 1
    while (1 << bits) < n:
        bits += 1
    return bits


def color_table(colors):
    bits = table_bits(len(colors))
    padded = list(colors) + [(0, 0, 0)] * ((1 << bits) - len(colors))
    return bits, bytes(v for c in padded for v in c)


def interlace_order(height):
    rows = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows += list(range(start, height, step))
    return rows


def gif_frame(width, height, indexes, local=None, interlaced=False, left=0, top=0,
              min_size=None, defer_clear=False, data=None):
    packed = 0
    table = b''
    bits = 8
    if local is not None:
        bits, table = color_table(local)
        packed |= 0x80 | (bits - 1)
    if interlaced:
        packed |= 0x40
    stored = indexes
    if interlaced:
        stored = []
        for y in interlace_order(height):
            stored += indexes[y * width:(y + 1) * width]
    if min_size is None:
        min_size = max(2, table_bits(max(indexes) + 1) if indexes else 2)
    if data is None:
        data = sub_blocks(lzw_encode(stored, min_size, defer_clear))
    return (b'\x2c' + struct.pack('<HHHHB', left, top, width, height, packed) + table +
            bytes([min_size]) + data)


def gce(flags=0, delay=0, transparent=0):
    return b'\x21\xf9\x04' + struct.pack('<BHB', flags, delay, transparent) + b'\x00'


def gif_file(version, width, height, colors, blocks, trailer=True, background=0):
    packed = 0
    table = b''
    if colors is not None:
        bits, table = color_table(colors)
        packed = 0x80 | (bits - 1)
    out = b'GIF' + version + struct.pack('<HHBBB', width, height, packed, background, 0)
    out += table + b''.join(blocks)
    if trailer:
        out += b'\x3b'
    return out


def index_ppm(width, height, indexes, colors):
    return ppm(width, height, [[colors[indexes[y * width + x]] for x in range(width)]
                               for y in range(height)])


PALETTE16 = [((i * 16) % 256, (255 - i * 16) % 256, (i * 53) % 256) for i in range(16)]
# The page colour the GIF tests hand the reader: transparent pixels show it.
PAGE = (200, 100, 50)


def see_through(colors, index):
    return [PAGE if i == index else c for i, c in enumerate(colors)]


def make_gifs():
    w, h = 20, 10
    idx = [(x + 2 * y) % 16 for y in range(h) for x in range(w)]
    blocks = [gif_frame(w, h, idx)]
    write(path('gif', '87a.gif'), gif_file(b'87a', w, h, PALETTE16, blocks, background=3))
    write(path('gif', 'pattern.ref.ppm'), index_ppm(w, h, idx, PALETTE16))
    comment = b'\x21\xfe' + sub_blocks(b'made for the codec tests')
    app = b'\x21\xff' + sub_blocks(b'NETSCAPE2.0') [:-1] + b'\x03\x01\x00\x00\x00'
    write(path('gif', '89a.gif'),
          gif_file(b'89a', w, h, PALETTE16, [app, comment, gce(0, 5, 0)] + blocks))
    data = gif_file(b'89a', w, h, PALETTE16, blocks)
    write(path('gif', 'no-trailer.gif'), data[:-1])

    # Two colours: black then white gives 1-bit; white then black 24-bit.
    bw = [(x * 3 + y) % 2 for y in range(h) for x in range(w)]
    write(path('gif', 'bw.gif'), gif_file(b'89a', w, h, [(0, 0, 0), (255, 255, 255)],
                                          [gif_frame(w, h, bw)]))
    write(path('gif', 'bw.ref.ppm'), index_ppm(w, h, bw, [(0, 0, 0), (255, 255, 255)]))
    write(path('gif', 'wb.gif'), gif_file(b'89a', w, h, [(255, 255, 255), (0, 0, 0)],
                                          [gif_frame(w, h, bw)]))
    write(path('gif', 'wb.ref.ppm'), index_ppm(w, h, bw, [(255, 255, 255), (0, 0, 0)]))

    # Interlaced, height 5: row y is all index y, stored in the order 0, 4, 2, 1, 3.
    il = [y for y in range(5) for x in range(6)]
    write(path('gif', 'interlaced5.gif'),
          gif_file(b'89a', 6, 5, PALETTE16, [gif_frame(6, 5, il, interlaced=True)]))
    write(path('gif', 'interlaced5.ref.ppm'), index_ppm(6, 5, il, PALETTE16))

    # Three frames; the second has delay 20, transparency on index 3 and sits at (2, 1).
    frames = []
    for i in range(3):
        fi = [(x + y + 5 * i) % 16 for y in range(6) for x in range(8)]
        frames.append(gce(1 if i == 1 else 0, 10 * (i + 1), 3 if i == 1 else 0))
        frames.append(gif_frame(8, 6, fi, left=2 if i == 1 else 0, top=1 if i == 1 else 0))
        if i == 1:
            write(path('gif', 'frames3.ref.ppm'), index_ppm(8, 6, fi, see_through(PALETTE16, 3)))
    write(path('gif', 'frames3.gif'), gif_file(b'89a', 12, 8, PALETTE16, frames))

    # A local table of 8 colours over a global one of 4; transparent index 5.
    local = [(200, 10 * i, 255 - 20 * i) for i in range(8)]
    li = [(x * y) % 8 for y in range(7) for x in range(9)]
    write(path('gif', 'local.gif'),
          gif_file(b'89a', 9, 7, PALETTE16[:4], [gce(1, 0, 5), gif_frame(9, 7, li, local=local)]))
    write(path('gif', 'local.ref.ppm'), index_ppm(9, 7, li, see_through(local, 5)))

    # Transparency flag set on index 2 of the global table: those pixels show the page.
    write(path('gif', 'transparent.gif'),
          gif_file(b'89a', w, h, PALETTE16, [gce(1, 0, 2)] + blocks))
    write(path('gif', 'transparent.ref.ppm'), index_ppm(w, h, idx, see_through(PALETTE16, 2)))
    # Black and white with black transparent: no longer black and white, so 24-bit.
    write(path('gif', 'bw-transparent.gif'),
          gif_file(b'89a', w, h, [(0, 0, 0), (255, 255, 255)], [gce(1, 0, 0), gif_frame(w, h, bw)]))
    write(path('gif', 'bw-transparent.ref.ppm'),
          index_ppm(w, h, bw, [PAGE, (255, 255, 255)]))

    # Deferred clear: 128 x 64 of noise fills the table; the coder goes on at 12 bits.
    rnd = random.Random(4)
    colors256 = [(i, (i * 7) % 256, (255 - i)) for i in range(256)]
    noise = [rnd.randrange(256) for _ in range(128 * 64)]
    write(path('gif', 'deferred-clear.gif'),
          gif_file(b'89a', 128, 64, colors256,
                   [gif_frame(128, 64, noise, min_size=8, defer_clear=True)]))
    write(path('gif', 'deferred-clear.ref.ppm'), index_ppm(128, 64, noise, colors256))

    # Broken streams for the failure rules.
    write(path('bad', 'gif-min-code-size-1.gif'),
          gif_file(b'89a', w, h, PALETTE16, [gif_frame(w, h, idx, min_size=1,
                                                         data=sub_blocks(b'\x00\x01'))]))
    write(path('bad', 'gif-min-code-size-12.gif'),
          gif_file(b'89a', w, h, PALETTE16, [gif_frame(w, h, idx, min_size=12,
                                                         data=sub_blocks(b'\x00\x01'))]))
    # min size 4: clear 16, end 17, next 18; codes of 5 bits: clear, 1, then 30 (> next).
    codes = [(16, 5), (1, 5), (30, 5), (17, 5)]
    acc = nb = 0
    raw = bytearray()
    for c, wd in codes:
        acc |= c << nb
        nb += wd
        while nb >= 8:
            raw.append(acc & 0xFF)
            acc >>= 8
            nb -= 8
    if nb:
        raw.append(acc)
    write(path('bad', 'gif-code-above-next.gif'),
          gif_file(b'89a', w, h, PALETTE16, [gif_frame(w, h, idx, min_size=4,
                                                         data=sub_blocks(bytes(raw)))]))
    # End code right after a clear code.
    raw = bytes([16 | (17 << 5) & 0xFF, (17 >> 3)])
    write(path('bad', 'gif-end-after-clear.gif'),
          gif_file(b'89a', w, h, PALETTE16, [gif_frame(w, h, idx, min_size=4,
                                                         data=sub_blocks(raw))]))
    # Sizes: a frame and a logical screen over the limit, and a frame of 0 x 0.
    write(path('bad', 'gif-huge-frame.gif'),
          gif_file(b'89a', 65535, 65535, PALETTE16, [gif_frame(65535, 65535, idx[:4])]))
    write(path('bad', 'gif-zero-frame.gif'),
          gif_file(b'89a', 10, 10, PALETTE16, [gif_frame(0, 0, [])]))
    write(path('bad', 'gif-header-only.gif'), b'GIF89a' + struct.pack('<HHBBB', 10, 10, 0, 0, 0))
    write(path('bad', 'gif-not-gif.gif'), b'GIT89a' + bytes(20))

    # Cross-check the writer with PIL.
    for name, ref in (('87a', 'pattern'), ('89a', 'pattern'), ('interlaced5', 'interlaced5'),
                      ('deferred-clear', 'deferred-clear'), ('wb', 'wb')):
        im = Image.open(path('gif', name + '.gif')).convert('RGB')
        expect = Image.open(path('gif', ref + '.ref.ppm'))
        assert list(im.getdata()) == list(expect.getdata()), name
    im = Image.open(path('gif', 'local.gif'))  # the local table's colours, indexes as written
    assert list(im.getdata()) == li and im.getpalette()[:24] == [v for c in local for v in c]


# ---------------------------------------------------------------- PNG

def chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data +
            struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))


def pack_row(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b''.join(struct.pack('>H', s) for s in samples)
    out, acc, nb = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        nb += depth
        if nb == 8:
            out.append(acc)
            acc = nb = 0
    if nb:
        out.append(acc << (8 - nb))
    return bytes(out)


ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2))


def png_file(width, height, depth, ctype, pixels, interlace=False, plte=None, trns=None,
             bkgd=None, phys=None, level=9, idat_size=None, extra=b''):
    """pixels: rows of tuples of samples (channels per colour type)."""
    raw = bytearray()
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            xs = list(range(x0, width, dx))
            if not xs:
                continue
            for y in range(y0, height, dy):
                raw.append(0)
                raw += pack_row([v for x in xs for v in pixels[y][x]], depth)
    else:
        for y in range(height):
            raw.append(0)
            raw += pack_row([v for px in pixels[y] for v in px], depth)
    out = b'\x89PNG\r\n\x1a\n'
    out += chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, ctype, 0, 0,
                                      1 if interlace else 0))
    if phys:
        out += chunk(b'pHYs', struct.pack('>IIB', phys[0], phys[1], 1))
    if plte:
        out += chunk(b'PLTE', bytes(v for c in plte for v in c))
    if trns is not None:
        out += chunk(b'tRNS', trns)
    if bkgd is not None:
        out += chunk(b'bKGD', bkgd)
    out += extra
    z = zlib.compress(bytes(raw), level)
    step = idat_size or len(z)
    for i in range(0, len(z), step):
        out += chunk(b'IDAT', z[i:i + step])
    out += chunk(b'IEND', b'')
    return out


def to8(v, depth):
    if depth == 16:
        return v >> 8
    return v * 255 // ((1 << depth) - 1)


def composite(fg, alpha, bg, maxa):
    return (fg * alpha + bg * (maxa - alpha) + maxa // 2) // maxa


def gamma_to_srgb(v, gamma):
    """An 8-bit sample encoded with gamma, as Chromium shows it on an sRGB screen."""
    lin = (v / 255) ** (1 / gamma)
    enc = 12.92 * lin if lin <= 0.0031308 else 1.055 * lin ** (1 / 2.4) - 0.055
    return round(enc * 255)


# Grey 10, 64, 128, 200 as Chromium 156 showed them in a headless screenshot (sRGB screen).
assert [gamma_to_srgb(v, 1.0) for v in (10, 64, 128, 200)] == [56, 137, 188, 229]
assert [gamma_to_srgb(v, 0.25) for v in (10, 64, 128, 200)] == [0, 13, 71, 165]
assert [gamma_to_srgb(v, 0.45455) for v in (10, 64, 128, 200)] == [3, 62, 129, 201]  # with cHRM


MANIFEST = []


def add_png(name, width, height, depth, ctype, pixels, expected_rgb, *, one_bit=False,
            background=(0, 0, 0), tolerance=0, samples=None, check=True, **kw):
    data = png_file(width, height, depth, ctype, pixels, **kw)
    write(path('png', name + '.png'), data)
    write(path('png', name + '.ref.ppm'), ppm(width, height, expected_rgb))
    spp = samples if samples is not None else {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    MANIFEST.append('%s %d %d %d %d %d %d %d %d %d' % (
        name, background[0], background[1], background[2], 1 if one_bit else 0, depth, spp,
        1 if kw.get('interlace') else 0, tolerance, len(kw.get('plte') or [])))
    # PIL must read the same colours where no compositing is involved.
    # (PIL clamps 16-bit grey instead of scaling it, so that one is left out.)
    if check and ctype in (0, 2) and kw.get('trns') is None and not (ctype == 0 and depth == 16):
        im = Image.open(path('png', name + '.png')).convert('RGB')
        got = list(im.getdata())
        want = [px for row in expected_rgb for px in row]
        assert all(abs(a - b) <= 1 for p, q in zip(got, want) for a, b in zip(p, q)), name


def make_pngs():
    w, h = 13, 11
    # Grey at every depth, no transparency.
    for d in (1, 2, 4, 8, 16):
        m = (1 << d) - 1
        px = [[((x * 7 + y * 3) * m // 40 % (m + 1),) for x in range(w)] for y in range(h)]
        exp = [[(to8(p[0], d),) * 3 for p in row] for row in px]
        add_png('grey%d' % d, w, h, d, 0, px, exp, one_bit=(d == 1))

    # RGB 8 and 16.
    for d in (8, 16):
        m = (1 << d) - 1
        px = [[((x * m) // (w - 1), (y * m) // (h - 1), ((x + y) * 997) % (m + 1))
               for x in range(w)] for y in range(h)]
        exp = [[tuple(to8(v, d) for v in p) for p in row] for row in px]
        add_png('rgb%d' % d, w, h, d, 2, px, exp)

    # Alpha: 0, full and half, composited against the reader's background colour.
    bg = (200, 100, 50)
    for d in (8, 16):
        m = (1 << d) - 1
        alphas = [0, m, m // 2 + 1]
        px = [[((x * m) // (w - 1), (y * m) // (h - 1), (x * y * 1000) % (m + 1),
                alphas[(x + y) % 3]) for x in range(w)] for y in range(h)]
        exp = [[tuple(to8(composite(p[c], p[3], bg[c] * (257 if d == 16 else 1), m), d)
                      for c in range(3)) for p in row] for row in px]
        add_png('rgba%d' % d, w, h, d, 6, px, exp, background=bg, tolerance=1)
        gpx = [[((x * 5 + y * 11) * m // 170, alphas[(x + 2 * y) % 3]) for x in range(w)]
               for y in range(h)]
        gexp = [[tuple(to8(composite(p[0], p[1], bg[c] * (257 if d == 16 else 1), m), d)
                       for c in range(3)) for p in row] for row in gpx]
        add_png('greyalpha%d' % d, w, h, d, 4, gpx, gexp, background=bg, tolerance=1)

    # Palettes at every depth; the 1-bit black/white one stays 1-bit, red/blue becomes 24-bit.
    for d in (1, 2, 4, 8):
        n = min(1 << d, 20)
        pal = [((i * 40) % 256, (255 - i * 13) % 256, (i * 90) % 256) for i in range(n)]
        px = [[((x + 3 * y) % n,) for x in range(w)] for y in range(h)]
        exp = [[pal[p[0]] for p in row] for row in px]
        add_png('palette%d' % d, w, h, d, 3, px, exp, plte=pal)
    bwpx = [[((x ^ y) & 1,) for x in range(w)] for y in range(h)]
    add_png('palette1-bw', w, h, 1, 3, bwpx,
            [[(255,) * 3 if p[0] else (0,) * 3 for p in row] for row in bwpx],
            one_bit=True, plte=[(0, 0, 0), (255, 255, 255)])
    rb = [(255, 0, 0), (0, 0, 255)]
    add_png('palette1-redblue', w, h, 1, 3, bwpx, [[rb[p[0]] for p in row] for row in bwpx],
            plte=rb)

    # Palette with tRNS: entry 1 fully transparent, entry 2 half.
    pal = [(10, 20, 30), (40, 50, 60), (250, 0, 0), (0, 250, 0)]
    px = [[((x + y) % 4,) for x in range(w)] for y in range(h)]
    alpha = [255, 0, 128, 255]
    exp = [[tuple(composite(pal[p[0]][c], alpha[p[0]], bg[c], 255) for c in range(3))
            for p in row] for row in px]
    add_png('palette4-trns', w, h, 4, 3, px, exp, plte=pal, trns=bytes(alpha), background=bg,
            tolerance=1)
    # Grey 4-bit with a transparent grey level, composited against a coloured background.
    gpx = [[((x + y) % 16,) for x in range(w)] for y in range(h)]
    gexp = [[bg if p[0] == 5 else (p[0] * 17,) * 3 for p in row] for row in gpx]
    add_png('grey4-trns', w, h, 4, 0, gpx, gexp, trns=struct.pack('>H', 5), background=bg)

    # bKGD in the file is ignored, as browsers do: the reader's (the page's) colour shows.
    filebg = (10, 200, 30)
    alphas = [0, 255]
    px = [[(x * 19 % 256, y * 23 % 256, 77, alphas[(x + y) % 2]) for x in range(w)]
          for y in range(h)]
    exp = [[p[:3] if p[3] else bg for p in row] for row in px]
    add_png('rgba8-bkgd', w, h, 8, 6, px, exp, bkgd=struct.pack('>HHH', *filebg),
            background=bg)
    gpx = [[(x * 20 % 256, alphas[(x * y) % 2]) for x in range(w)] for y in range(h)]
    gexp = [[(p[0],) * 3 if p[1] else bg for p in row] for row in gpx]
    add_png('greyalpha8-bkgd', w, h, 8, 4, gpx, gexp, bkgd=struct.pack('>H', 90),
            background=bg)

    # bKGD at other depths: 16-bit colour, 2-bit grey level, palette index.
    px = [[(x * 5000, y * 6000, 40000, 65535 * ((x + y) % 2)) for x in range(w)]
          for y in range(h)]
    exp = [[tuple(v >> 8 for v in p[:3]) if p[3] else bg for p in row] for row in px]
    add_png('rgba16-bkgd', w, h, 16, 6, px, exp, bkgd=struct.pack('>HHH', 0x1234, 0x8000, 0xFFFF),
            background=bg)
    gpx = [[((x + y) % 4,) for x in range(w)] for y in range(h)]
    gexp = [[bg if p[0] == 1 else (p[0] * 85,) * 3 for p in row] for row in gpx]
    add_png('grey2-trns-bkgd', w, h, 2, 0, gpx, gexp, trns=struct.pack('>H', 1),
            bkgd=struct.pack('>H', 2), background=bg)
    pal = [(10, 20, 30), (40, 50, 60), (250, 0, 0), (0, 250, 0)]
    ppx = [[((x * y) % 4,) for x in range(w)] for y in range(h)]
    pexp = [[bg if p[0] == 1 else pal[p[0]] for p in row] for row in ppx]
    add_png('palette2-trns-bkgd', w, h, 2, 3, ppx, pexp, plte=pal, trns=bytes([255, 0]),
            bkgd=bytes([3]), background=bg)

    # Adam7, pHYs.
    px = [[((x * 255) // (w - 1), (y * 255) // (h - 1), (x * y) % 256) for x in range(w)]
          for y in range(h)]
    add_png('rgb8-adam7', w, h, 8, 2, px, px, interlace=True)
    gpx = [[((x * 3 + y) % 2,) for x in range(w)] for y in range(h)]
    add_png('grey1-adam7', w, h, 1, 0, gpx, [[(255 * p[0],) * 3 for p in row] for row in gpx],
            interlace=True, one_bit=True)
    add_png('rgb8-phys', w, h, 8, 2, px, px, phys=(2835, 3780))
    apx = [[(x * 19 % 256, y * 23 % 256, 77, (x * 40 + y * 9) % 256) for x in range(w)]
           for y in range(h)]
    aexp = [[tuple(composite(p[c], p[3], bg[c], 255) for c in range(3)) for p in row]
            for row in apx]
    add_png('rgba8-adam7', w, h, 8, 6, apx, aexp, interlace=True, background=bg)

    # gAMA: the stored values are blended (half red over white is 255, 127, 127), and a gamma
    # is applied only where Chromium applies it: not near 1/2.2 alone, not under sRGB.
    white = (255, 255, 255)
    gama = lambda g: chunk(b'gAMA', struct.pack('>I', g))
    srgb_chrm = chunk(b'cHRM', struct.pack('>8I', 31270, 32900, 64000, 33000, 30000, 60000,
                                           15000, 6000))
    hpx = [[(255, 0, 0, 128)] + apx[0][1:]] + apx[1:]
    add_png('rgba8-gama', w, h, 8, 6, hpx, [[tuple(composite(p[c], p[3], 255, 255)
                                                   for c in range(3)) for p in row]
                                            for row in hpx],
            background=white, extra=gama(45455))
    add_png('rgb8-gama-srgb', w, h, 8, 2, px, px, extra=chunk(b'sRGB', b'\0') + gama(100000))
    gpx = [[((x * 13 + y * 7) % 256,) for x in range(w)] for y in range(h)]
    add_png('grey8-gama1', w, h, 8, 0, gpx,
            [[(gamma_to_srgb(p[0], 1.0),) * 3 for p in row] for row in gpx],
            extra=gama(100000), tolerance=1, check=False)
    add_png('rgb8-gama-chrm', w, h, 8, 2, px,
            [[tuple(gamma_to_srgb(v, 0.45455) for v in p) for p in row] for row in px],
            extra=gama(45455) + srgb_chrm, tolerance=1, check=False)
    add_png('rgba8-gama4', w, h, 8, 6, apx,
            [[tuple(composite(gamma_to_srgb(p[c], 0.25), p[3], bg[c], 255) for c in range(3))
              for p in row] for row in apx],
            extra=gama(25000), tolerance=1, background=bg)

    with open(path('png', 'manifest.txt'), 'w') as f:
        f.write('# name bgR bgG bgB oneBit bitsPerSample samplesPerPixel interlaced '
                'tolerance paletteCount\n')
        f.write('\n'.join(MANIFEST) + '\n')

    # Truncated inside IDAT: stored (uncompressed) rows, cut after about half of them.
    tw, th = 16, 16
    tpx = [[(x * 16, y * 16, 128) for x in range(tw)] for y in range(th)]
    data = png_file(tw, th, 8, 2, tpx, level=0, idat_size=64)
    write(path('png', 'truncated.ref.ppm'), ppm(tw, th, tpx))
    write(path('png', 'truncated.png'), data[:len(data) // 2])

    bad = bytearray(png_file(4, 4, 8, 2, [[(1, 2, 3)] * 4] * 4))
    bad[1] = ord('Q')
    write(path('bad', 'png-bad-signature.png'), bytes(bad))
    # Declared sizes: over the limit, zero.
    good = png_file(4, 4, 8, 2, [[(1, 2, 3)] * 4] * 4)
    for name, (wd, ht) in (('png-huge.png', (100000, 100000)), ('png-zero.png', (0, 4)),
                           ('png-huge-pixels.png', (65535, 65535))):
        ihdr = struct.pack('>IIBBBBB', wd, ht, 8, 2, 0, 0, 0)
        write(path('bad', name), good[:8] + chunk(b'IHDR', ihdr) + good[8 + 25:])
    # A 20 MB zTXt chunk (compressed to little) before the image data.
    ztxt = chunk(b'zTXt', b'Comment\0\0' + zlib.compress(b'A' * (20 << 20), 9))
    write(path('bad', 'png-ztxt-bomb.png'), good[:33] + ztxt + good[33:])
    # CRC error in IHDR.
    broken = bytearray(good)
    broken[29] ^= 0xFF
    write(path('bad', 'png-ihdr-crc.png'), bytes(broken))


def make_unsupported_jpegs():
    # Valid kinds the library is not built for: a 12-bit frame (SOF1) and a lossless one (SOF3),
    # made from an 8-bit file by changing its frame header; the reader stops at the header.
    base = open(path('jpeg', 'ycc444.jpg'), 'rb').read()
    at = base.index(b'\xff\xc0')
    write(path('jpeg', '12-bit.jpg'), base[:at] + b'\xff\xc1' + base[at + 2:at + 4] + b'\x0c' +
          base[at + 5:])
    write(path('jpeg', 'lossless.jpg'), base[:at] + b'\xff\xc3' + base[at + 2:])


def make_bad_jpegs():
    # SOF declaring 60000 x 60000 with a few bytes of scan data.
    base = open(path('jpeg', 'ycc444.jpg'), 'rb').read()
    sof = base.index(b'\xff\xc0')
    huge = bytearray(base)
    huge[sof + 5:sof + 9] = struct.pack('>HH', 60000, 60000)
    write(path('bad', 'jpeg-huge.jpg'), bytes(huge[:sof + 400]))
    zero = bytearray(base)
    zero[sof + 5:sof + 9] = struct.pack('>HH', 0, 16)
    write(path('bad', 'jpeg-zero-height.jpg'), bytes(zero))
    write(path('bad', 'jpeg-soi-only.jpg'), b'\xff\xd8\xff')
    write(path('bad', 'jpeg-comment-start.jpg'), b'\xff\xd8\xfe' + base[3:])
    # A progressive stream with 2000 DC scans of the whole (tiny) picture.
    # Everything up to the second scan, then that scan's header repeated with no data.
    prog = open(path('jpeg', 'progressive.jpg'), 'rb').read()
    first_sos = prog.index(b'\xff\xda')
    second_sos = prog.index(b'\xff\xda', first_sos + 2)
    seg_len = struct.unpack('>H', prog[second_sos + 2:second_sos + 4])[0]
    header = prog[second_sos:second_sos + 2 + seg_len]
    write(path('bad', 'jpeg-many-scans.jpg'), prog[:second_sos] + header * 2000 + b'\xff\xd9')


# ---------------------------------------------------------------- pictures made to hurt a reader

GREY4 = [(0, 0, 0), (85, 85, 85), (170, 170, 170), (255, 255, 255)]


def lzw_chain(literal, defer_clear):
    """Clear, one literal, then codes that each name the entry being made (K w K w K): every
    string is one longer than the one before, until the table is full at 4095. Then a clear
    code, or (a deferred clear) more codes at width 12 first."""
    clear, end = 4, 5
    codes, width, nxt, limit = [(clear, 3), (literal, 3)], 3, 6, 8
    while True:
        codes.append((nxt, width))
        nxt += 1
        if nxt >= limit:
            if width == 12:
                break
            width, limit = width + 1, limit << 1
    if defer_clear:
        codes += [(literal, 12), (4000, 12)]
    codes += [(clear, 12), (literal, 3), (end, 3)]
    acc = nb = 0
    raw = bytearray()
    for c, wd in codes:
        acc |= c << nb
        nb += wd
        while nb >= 8:
            raw.append(acc & 0xFF)
            acc >>= 8
            nb -= 8
    if nb:
        raw.append(acc)
    return sub_blocks(bytes(raw))


def png_with_ihdr(good, width, height):
    return good[:8] + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) + \
        good[8 + 25:]


def make_hostile():
    # Strings at the full depth of the table: the picture takes the first, all index 3.
    for name, defer in (('lzw-chain', False), ('lzw-chain-deferred', True)):
        write(path('gif', name + '.gif'),
              gif_file(b'89a', 60, 40, GREY4,
                       [gif_frame(60, 40, [], interlaced=True, min_size=2,
                                  data=lzw_chain(3, defer))]))
    write(path('gif', 'white60x40.ref.ppm'), ppm(60, 40, [[(255,) * 3] * 60] * 40))
    # Frames larger than their screen or far outside it are read at their own size.
    ramp = [i % 4 for i in range(60)]
    write(path('gif', 'frame-larger-than-screen.gif'),
          gif_file(b'89a', 4, 4, GREY4, [gif_frame(10, 6, ramp, left=2, top=3)]))
    write(path('gif', 'frame-larger-than-screen.ref.ppm'), index_ppm(10, 6, ramp, GREY4))
    write(path('gif', 'frame-far-outside.gif'),
          gif_file(b'89a', 4, 4, GREY4, [gif_frame(3, 3, ramp[:9], left=60000, top=65000)]))
    write(path('gif', 'frame-far-outside.ref.ppm'), index_ppm(3, 3, ramp[:9], GREY4))
    # Indexes up to 255 over a table of four entries (the rest is black), and over a black and
    # white table read as 1-bit (every index but 0 is white).
    every = list(range(256))
    write(path('gif', 'index-beyond-table.gif'),
          gif_file(b'89a', 16, 16, GREY4, [gif_frame(16, 16, every, min_size=8)]))
    write(path('gif', 'index-beyond-table.ref.ppm'),
          index_ppm(16, 16, every, GREY4 + [(0, 0, 0)] * 252))
    bw = [(0, 0, 0), (255, 255, 255)]
    write(path('gif', 'index-beyond-bw.gif'),
          gif_file(b'89a', 16, 16, bw, [gif_frame(16, 16, every, min_size=8)]))
    write(path('gif', 'index-beyond-bw.ref.ppm'), index_ppm(16, 16, every, bw + [bw[1]] * 254))

    # Sizes past the limit or zero, in every reader.
    tiny = [1, 2, 3, 0]
    for name, (sw, sh, fw, fh) in (('gif-20000.gif', (20000, 20000, 20000, 20000)),
                                   ('gif-huge-frame-small-screen.gif', (10, 10, 65535, 65535)),
                                   ('gif-frame-0-wide.gif', (5, 5, 0, 5)),
                                   ('gif-frame-0-high.gif', (5, 5, 5, 0))):
        write(path('bad', name), gif_file(b'89a', sw, sh, GREY4,
                                          [gif_frame(fw, fh, tiny, min_size=2)]))
    good = png_file(7, 5, 8, 2, [[(x * 7, y * 11, x + y) for x in range(7)] for y in range(5)])
    for name, (wd, ht) in (('png-20000.png', (20000, 20000)), ('png-zero-high.png', (5, 0)),
                           ('png-2g-wide.png', (0x7FFFFFFF, 1))):
        write(path('bad', name), png_with_ihdr(good, wd, ht))
    # A chunk declaring 2 GB in a file of a few bytes more.
    for kind in (b'zTXt', b'tEXt', b'iTXt', b'iCCP', b'sPLT', b'pCAL', b'eXIf', b'abCd'):
        declared = struct.pack('>I', 0x7FFFFF00) + kind + b'k\0\0xy'
        write(path('bad', 'png-%s-declared-2gb.png' % kind.decode()), good[:33] + declared + good[33:])
    prog = open(path('jpeg', 'progressive.jpg'), 'rb').read()
    sof = prog.index(b'\xff\xc2')
    for name, (wd, ht) in (('jpeg-huge-progressive.jpg', (65535, 65535)),
                           ('jpeg-zero-width-progressive.jpg', (0, 24)),
                           # Coefficient arrays of 2.4 GB, at any decoding scale.
                           ('jpeg-20000-progressive.jpg', (20000, 20000))):
        data = bytearray(prog)
        data[sof + 5:sof + 9] = struct.pack('>HH', ht, wd)
        write(path('bad', name), bytes(data))
    write(path('bad', 'empty'), b'')

    # A good picture whose trailing data holds an error the library reports after the last row.
    base = open(path('jpeg', 'ycc444.jpg'), 'rb').read()
    sof = base.index(b'\xff\xc0')
    length = struct.unpack('>H', base[sof + 2:sof + 4])[0]
    assert base.endswith(b'\xff\xd9')
    write(path('jpeg', 'error-after-last-row.jpg'),
          base[:-2] + base[sof:sof + 2 + length] + b'\xff\xd9')


# ---------------------------------------------------------------- TIFF

def tiff_file(samples, bits, photometric, extra=None, sample_format=1, width=2, tiled=False):
    """One row of width pixels, uncompressed, in one strip or one 32 x 32 tile; samples: the
    row's sample values."""
    spp = len(samples) // width
    fmt = {8: 'B', 16: 'H', 32: 'f' if sample_format == 3 else 'I'}[bits]
    data = struct.pack('<%d%s' % (len(samples), fmt), *samples)
    if tiled:
        data = data.ljust(32 * 32 * spp * bits // 8, b'\0')
        place = [(322, 3, [32]), (323, 3, [32]), (324, 4, [0]), (325, 4, [len(data)])]
    else:
        place = [(273, 4, [0]), (278, 3, [1]), (279, 4, [len(data)])]
    tags = sorted([(256, 3, [width]), (257, 3, [1]), (258, 3, [bits] * spp), (259, 3, [1]),
                   (262, 3, [photometric]), (277, 3, [spp]), (284, 3, [1])] + place)
    if extra is not None:
        tags.append((338, 3, [extra]))
    tags.append((339, 3, [sample_format] * spp))
    ifd_size = 2 + 12 * len(tags) + 4
    outside = bytearray()  # values over four bytes, after the directory
    data_at = 8 + ifd_size + 2 * spp * 2
    entries = b''
    for tag, kind, values in tags:
        if tag in (273, 324):
            values = [data_at]
        raw = struct.pack('<%d%s' % (len(values), 'H' if kind == 3 else 'I'), *values)
        if len(raw) <= 4:
            entries += struct.pack('<HHI', tag, kind, len(values)) + raw.ljust(4, b'\0')
        else:
            entries += struct.pack('<HHII', tag, kind, len(values), 8 + ifd_size + len(outside))
            outside += raw
    outside = outside.ljust(2 * spp * 2, b'\0')
    return (b'II*\0' + struct.pack('<I', 8) + struct.pack('<H', len(tags)) + entries +
            struct.pack('<I', 0) + bytes(outside) + data)


def make_tiffs():
    # Alpha of both kinds over the page colour: grey 100 or red 200 at alpha 128, then opaque.
    # Unassociated samples are blended as stored; associated ones were already multiplied.
    w = lambda name, *a, **k: write(path('tiff', name + '.tif'), tiff_file(*a, **k))
    w('grey8-alpha', [100, 128, 30, 255], 8, 1, extra=2)
    w('grey16-alpha', [100 * 257, 128 * 257, 30 * 257, 65535], 16, 1, extra=2)
    w('grey8-premultiplied', [50, 128, 30, 255], 8, 1, extra=1)
    w('rgb8-alpha', [200, 0, 0, 128, 30, 60, 90, 255], 8, 2, extra=2)
    w('rgb8-premultiplied', [100, 0, 0, 128, 30, 60, 90, 255], 8, 2, extra=1)
    w('float32', [0.5, 0.25], 32, 1, sample_format=3)
    w('grey8-alpha-tiled', [100, 128, 30, 255], 8, 1, extra=2, tiled=True)  # RGBA interface


if __name__ == '__main__':
    make_jpegs()
    make_gifs()
    make_pngs()
    make_bad_jpegs()
    make_unsupported_jpegs()
    make_hostile()
    make_tiffs()
    print('fixtures written to', HERE)
