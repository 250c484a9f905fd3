#!/usr/bin/python3
"""Makes the fixtures of the newer picture formats in tests/data/formats, their damaged copies
in tests/data/bad and the seed corpora of their fuzz targets.
Run from anywhere: python3 tests/data/make-format-fixtures.py

Needs Debian's python3-pil, libheif1 (with the x265 and aom encoders, as Debian builds it),
and libheif-examples (heif-convert). The tests need none of them.

Every fixture shows the same upright picture, 64 x 32 pixels in eight flat 16 x 16 blocks of
different colours, so any turn or mirror shows. Expected pixels (*.ref.ppm) are the decode of
the format's own library (heif-convert, PIL's libwebp), the stored pixels of lossless files or, for the JPEG orientations,
the upright picture itself; each is checked here against the upright picture.
"""
import ctypes
import io
import os
import struct
import subprocess
import tempfile

from PIL import Image, ImageOps

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(HERE, 'formats')
W, H = 64, 32
COLOURS = [(220, 40, 40), (40, 180, 60), (50, 70, 210), (230, 210, 50),
           (200, 60, 200), (60, 200, 210), (250, 250, 250), (30, 30, 30)]


def upright():
    im = Image.new('RGB', (W, H))
    for i, c in enumerate(COLOURS):
        x, y = (i % 4) * 16, (i // 4) * 16
        im.paste(c, (x, y, x + 16, y + 16))
    return im


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def ppm(im):
    im = im.convert('RGB')
    return b'P6\n%d %d\n255\n' % im.size + im.tobytes()


def max_diff(a, b):
    a, b = a.convert('RGB'), b.convert('RGB')
    assert a.size == b.size, (a.size, b.size)
    return max(abs(p - q) for p, q in zip(a.tobytes(), b.tobytes()))


# The stored picture for each EXIF orientation: what a viewer turns upright with
# ImageOps.exif_transpose. 2, 3, 4, 5 and 7 undo themselves; 6 and 8 undo each other.
STORE = {1: None, 2: Image.Transpose.FLIP_LEFT_RIGHT, 3: Image.Transpose.ROTATE_180,
         4: Image.Transpose.FLIP_TOP_BOTTOM, 5: Image.Transpose.TRANSPOSE,
         6: Image.Transpose.ROTATE_90, 7: Image.Transpose.TRANSVERSE,
         8: Image.Transpose.ROTATE_270}


def stored(orientation):
    t = STORE[orientation]
    return upright() if t is None else upright().transpose(t)


def exif_orientation(n):
    e = Image.Exif()
    e[0x0112] = n
    return e.tobytes()


# ---------------------------------------------------------------- ICC profiles

def s15(v):
    return struct.pack('>i', int(round(v * 65536)))


def xyz_of(x, y):
    return (x / y, 1.0, (1 - x - y) / y)


def mat_mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def mat_inv(m):
    a, b, c = m[0]
    d, e, f = m[1]
    g, h, i = m[2]
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def colorants(primaries, white):
    """RGB to XYZ for the primaries, adapted from white to D50 (Bradford), by columns."""
    p = [xyz_of(*xy) for xy in primaries]
    m = [[p[j][i] for j in range(3)] for i in range(3)]
    wx = xyz_of(*white)
    s = [sum(mat_inv(m)[i][k] * wx[k] for k in range(3)) for i in range(3)]
    m = [[m[i][j] * s[j] for j in range(3)] for i in range(3)]
    brad = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
    d50 = (0.9642, 1.0, 0.8249)
    cw = [sum(brad[i][k] * wx[k] for k in range(3)) for i in range(3)]
    cd = [sum(brad[i][k] * d50[k] for k in range(3)) for i in range(3)]
    scale = [[cd[i] / cw[i] if i == j else 0 for j in range(3)] for i in range(3)]
    adapt = mat_mul(mat_inv(brad), mat_mul(scale, brad))
    m = mat_mul(adapt, m)
    return [[m[i][j] for i in range(3)] for j in range(3)]


def srgb_decode(v):
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def icc_profile(description, primaries, white, padding=0):
    """A version 2 display profile: colorants, a 1024-entry tone curve (as the usual sRGB
    profiles carry it) and, when asked, a private tag of that many bytes to make it large."""
    curve = b'curv' + bytes(4) + struct.pack('>I', 1024) + b''.join(
        struct.pack('>H', int(round(srgb_decode(i / 1023) * 65535))) for i in range(1024))
    text = description.encode('ascii')
    desc = (b'desc' + bytes(4) + struct.pack('>I', len(text) + 1) + text + b'\0' +
            bytes(8) + bytes(3) + bytes(67))
    tags = [(b'desc', desc), (b'cprt', b'text' + bytes(4) + b'No copyright\0'),
            (b'wtpt', b'XYZ ' + bytes(4) + s15(0.9642) + s15(1.0) + s15(0.8249))]
    for sig, col in zip((b'rXYZ', b'gXYZ', b'bXYZ'), colorants(primaries, white)):
        tags.append((sig, b'XYZ ' + bytes(4) + b''.join(s15(v) for v in col)))
    for sig in (b'rTRC', b'gTRC', b'bTRC'):
        tags.append((sig, curve))  # one copy, shared by the three tags
    if padding:
        tags.append((b'zzzz', b'zzzz' + bytes(4) + bytes((i * 7) & 255 for i in range(padding))))
    table, body, offsets = b'', b'', {}
    start = 128 + 4 + 12 * len(tags)
    for sig, data in tags:
        if data not in offsets:
            offsets[data] = start + len(body)
            body += data + bytes((-len(data)) % 4)
        table += sig + struct.pack('>II', offsets[data], len(data))
    size = start + len(body)
    header = (struct.pack('>I', size) + bytes(4) + bytes([2, 0x10, 0, 0]) + b'mntrRGB XYZ ' +
              bytes(12) + b'acsp' + bytes(24) + struct.pack('>I', 0) +
              s15(0.9642) + s15(1.0) + s15(0.8249) + bytes(48))
    assert len(header) == 128
    return header + struct.pack('>I', len(tags)) + table + body


D65 = (0.3127, 0.3290)
P3 = icc_profile('Display P3 test', [(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)], D65)
SRGB = icc_profile('sRGB test', [(0.640, 0.330), (0.300, 0.600), (0.150, 0.060)], D65)
# Two APP2 markers' worth: the writer must split it, the reader join it.
P3_LARGE = icc_profile('Display P3 test, large', [(0.680, 0.320), (0.265, 0.690),
                                                   (0.150, 0.060)], D65, padding=70000)


# ---------------------------------------------------------------- HEIF and AVIF (libheif)

class HeifError(ctypes.Structure):
    _fields_ = [('code', ctypes.c_int), ('subcode', ctypes.c_int), ('message', ctypes.c_char_p)]


class Nclx(ctypes.Structure):
    _fields_ = [('version', ctypes.c_uint8), ('color_primaries', ctypes.c_int),
                ('transfer_characteristics', ctypes.c_int),
                ('matrix_coefficients', ctypes.c_int), ('full_range_flag', ctypes.c_uint8),
                ('xy', ctypes.c_float * 8)]


class EncodingOptions(ctypes.Structure):
    _fields_ = [('version', ctypes.c_uint8), ('save_alpha_channel', ctypes.c_uint8),
                ('macOS_compatibility_workaround', ctypes.c_uint8),
                ('save_two_colr_boxes', ctypes.c_uint8),
                ('output_nclx_profile', ctypes.POINTER(Nclx)),
                ('macOS_compatibility_workaround_no_nclx_profile', ctypes.c_uint8),
                ('image_orientation', ctypes.c_int)]


def heif_encode(path, im, avif, orientation=1, icc=None, nclx=None, quality=90):
    """Encodes im as stored; orientation makes libheif write irot/imir boxes that turn it
    upright."""
    lib = ctypes.CDLL('libheif.so.1')
    for name in ('heif_context_alloc', 'heif_encoding_options_alloc'):
        getattr(lib, name).restype = ctypes.c_void_p
    lib.heif_image_get_plane.restype = ctypes.POINTER(ctypes.c_uint8)
    lib.heif_image_get_plane.argtypes = [ctypes.c_void_p, ctypes.c_int,
                                         ctypes.POINTER(ctypes.c_int)]
    for name in ('heif_image_create', 'heif_image_add_plane', 'heif_context_encode_image',
                 'heif_context_write_to_file', 'heif_image_set_raw_color_profile',
                 'heif_image_set_nclx_color_profile', 'heif_encoder_set_lossy_quality',
                 'heif_context_get_encoder_for_format'):
        getattr(lib, name).restype = HeifError
    lib.heif_image_set_raw_color_profile.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                                     ctypes.c_char_p, ctypes.c_size_t]

    def check(err):
        if err.code:
            raise RuntimeError(err.message.decode())

    ctx = ctypes.c_void_p(lib.heif_context_alloc())
    img = ctypes.c_void_p()
    im = im.convert('RGB')
    # heif_colorspace_RGB = 1, heif_chroma_interleaved_RGB = 10, heif_channel_interleaved = 10
    check(lib.heif_image_create(im.width, im.height, 1, 10, ctypes.byref(img)))
    check(lib.heif_image_add_plane(img, 10, im.width, im.height, 8))
    stride = ctypes.c_int()
    plane = lib.heif_image_get_plane(img, 10, ctypes.byref(stride))
    data = im.tobytes()
    for y in range(im.height):
        ctypes.memmove(ctypes.addressof(plane.contents) + y * stride.value,
                       data[y * im.width * 3:(y + 1) * im.width * 3], im.width * 3)
    if icc:
        check(lib.heif_image_set_raw_color_profile(img, b'prof', icc, len(icc)))
    n = None
    if nclx:
        n = Nclx(1, nclx[0], nclx[1], nclx[2], 1)
        check(lib.heif_image_set_nclx_color_profile(img, ctypes.byref(n)))
    enc = ctypes.c_void_p()
    check(lib.heif_context_get_encoder_for_format(ctx, 4 if avif else 1, ctypes.byref(enc)))
    check(lib.heif_encoder_set_lossy_quality(enc, quality))
    opts = ctypes.cast(lib.heif_encoding_options_alloc(), ctypes.POINTER(EncodingOptions))
    opts.contents.image_orientation = orientation
    if n is not None:
        opts.contents.output_nclx_profile = ctypes.pointer(n)
    check(lib.heif_context_encode_image(ctx, img, enc, opts, None))
    check(lib.heif_context_write_to_file(ctx, path.encode()))
    lib.heif_encoder_release(enc)
    lib.heif_image_release(img)
    lib.heif_context_free(ctx)


def decoded_by(args, suffix):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'out' + suffix)
        subprocess.run(args + [out], check=True, stdout=subprocess.DEVNULL)
        return Image.open(out).convert('RGB')


# ---------------------------------------------------------------- the fixtures

def make():
    up = upright()
    write(os.path.join(OUT, 'upright.ref.ppm'), ppm(up))
    for n in range(1, 9):
        buf = io.BytesIO()
        stored(n).save(buf, 'JPEG', quality=95, subsampling=0, exif=exif_orientation(n))
        write(os.path.join(OUT, 'orient-%d.jpg' % n), buf.getvalue())
        assert max_diff(ImageOps.exif_transpose(Image.open(buf)), up) <= 8, n

    # Colour profiles: a wide-gamut one split over three APP2 markers, and an sRGB one
    # written differently from Little CMS's own.
    for name, icc in (('p3-large', P3_LARGE), ('srgb-profile', SRGB)):
        buf = io.BytesIO()
        up.save(buf, 'JPEG', quality=95, subsampling=0, icc_profile=icc)
        write(os.path.join(OUT, name + '.jpg'), buf.getvalue())
    buf = io.BytesIO()
    up.save(buf, 'PNG', icc_profile=P3, exif=exif_orientation(6))
    write(os.path.join(OUT, 'p3-exif6.png'), buf.getvalue())

    # HEIC stored as orientation 7 would store it: libheif writes irot and imir to undo that.
    heic = os.path.join(OUT, 'p3-rotated.heic')
    heif_encode(heic, stored(7), avif=False, orientation=7, icc=P3, quality=95)
    ref = decoded_by(['heif-convert', heic], '.png')
    assert max_diff(ref, up) <= 12
    write(os.path.join(OUT, 'p3-rotated.ref.ppm'), ppm(ref))

    # AVIF described by colour parameters only: Display P3 primaries, sRGB transfer.
    avif = os.path.join(OUT, 'nclx-p3.avif')
    heif_encode(avif, up, avif=True, nclx=(12, 13, 6), quality=95)
    ref = decoded_by(['heif-convert', avif], '.png')
    assert max_diff(ref, up) <= 12
    write(os.path.join(OUT, 'nclx-p3.ref.ppm'), ppm(ref))

    # WebP with orientation 6 in its EXIF chunk (browsers show it as stored), a P3 profile
    # and a half-transparent block; the reference is libwebp's decode (through PIL) over white.
    rgba = up.convert('RGBA')
    rgba.paste((50, 70, 210, 128), (32, 0, 48, 16))
    webp = os.path.join(OUT, 'exif6-alpha.webp')
    rgba.save(webp, 'WEBP', lossless=True, exif=exif_orientation(6), icc_profile=P3)
    dec = Image.open(webp).convert('RGBA')
    ref = Image.new('RGB', dec.size)
    ref.putdata([tuple((c * p[3] + 255 * (255 - p[3]) + 127) // 255 for c in p[:3])
                 for p in dec.getdata()])
    write(os.path.join(OUT, 'exif6-alpha.ref.ppm'), ppm(ref))

    # TIFF of two pages: the first stored as orientation 6 with a P3 profile, the second
    # something else altogether. LZW keeps the pixels: the reference is the first page as stored.
    tif = os.path.join(OUT, 'two-pages.tif')
    first = stored(6)
    first.save(tif, 'TIFF', compression='tiff_lzw', save_all=True,
               append_images=[Image.new('RGB', (10, 10), (0, 255, 0))],
               tiffinfo={274: 6}, icc_profile=P3)
    page = Image.open(tif)
    assert page.n_frames == 2 and page.getexif().get(0x0112) == 6
    # PIL's libtiff decode turns the page upright by itself.
    assert max_diff(page, up) == 0
    write(os.path.join(OUT, 'two-pages.ref.ppm'), ppm(first))

    # Black and white, white as 0 (fax style, Group 4): read as a 1-bit picture.
    bw = Image.new('1', (20, 12), 1)
    for x in range(20):
        for y in range(12):
            if (x // 4 + y // 3) % 2 or (x == 19):
                bw.putpixel((x, y), 0)
    bw.save(os.path.join(OUT, 'bilevel-g4.tif'), 'TIFF', compression='group4')
    write(os.path.join(OUT, 'bilevel-g4.ref.ppm'), ppm(bw))

    make_bad()
    make_seeds()


def corrupt(data, at, length):
    """The bytes with a run overwritten in the middle of the picture data."""
    return data[:at] + bytes((b ^ 0x5A) for b in data[at:at + length]) + data[at + length:]


def make_bad():
    bad = os.path.join(HERE, 'bad')
    for name, out in (('p3-rotated.heic', 'heif-truncated.heic'),
                      ('nclx-p3.avif', 'avif-truncated.avif')):
        with open(os.path.join(OUT, name), 'rb') as f:
            data = f.read()
        write(os.path.join(bad, out), data[:len(data) // 2])
    with open(os.path.join(OUT, 'exif6-alpha.webp'), 'rb') as f:
        data = f.read()
    write(os.path.join(bad, 'webp-damaged.webp'), corrupt(data, len(data) - 60, 40))
    with open(os.path.join(OUT, 'two-pages.tif'), 'rb') as f:
        data = f.read()
    # The first directory's offset pointing past the end.
    write(os.path.join(bad, 'tiff-bad-directory.tif'), data[:4] + struct.pack('<I', 0x7FFFFF00) +
          data[8:])


def app1_exif(path):
    """The EXIF block (from "Exif\\0\\0") of a JPEG's first APP1 segment."""
    with open(path, 'rb') as f:
        data = f.read()
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker, length = data[pos + 1], struct.unpack('>H', data[pos + 2:pos + 4])[0]
        if marker == 0xE1 and data[pos + 4:pos + 10] == b'Exif\0\0':
            return data[pos + 4:pos + 2 + length]
        pos += 2 + length
    raise RuntimeError('no EXIF in ' + path)


def make_seeds():
    corpus = os.path.join(ROOT, 'fuzz', 'corpus')
    seeds = {
        'heif': ['p3-rotated.heic', 'nclx-p3.avif'],
        'webp': ['exif6-alpha.webp'],
        'tiff': ['two-pages.tif', 'bilevel-g4.tif'],
    }
    for target, names in seeds.items():
        for name in names:
            with open(os.path.join(OUT, name), 'rb') as f:
                write(os.path.join(corpus, target, name), f.read())
    # EXIF blocks as JPEG carries them, and a bare little-endian TIFF header as PNG does.
    for n in (3, 6, 8):
        write(os.path.join(corpus, 'exif', 'jpeg-orient-%d.bin' % n),
              app1_exif(os.path.join(OUT, 'orient-%d.jpg' % n)))
    le = (b'II*\0' + struct.pack('<I', 8) + struct.pack('<H', 1) +
          struct.pack('<HHII', 0x0112, 3, 1, 5) + struct.pack('<I', 0))
    write(os.path.join(corpus, 'exif', 'bare-le-orient-5.bin'), le)


if __name__ == '__main__':
    make()
    print('fixtures written to', OUT)
