#!/usr/bin/python3
"""Draws the sample pictures in examples/pictures/.

Every picture is drawn here from numbers alone (no photographs, nothing third-party), with a
fixed random seed, so running the script again gives the same files. Needs python3-pil.

    examples/make-pictures.py [OUTPUT_DIR]
"""
import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "pictures")


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def vertical_gradient(w, h, top, bottom):
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=lerp(top, bottom, y / max(1, h - 1)))
    return img


def sunset(w, h, rnd):
    img = vertical_gradient(w, h, (40, 30, 110), (250, 150, 60))
    d = ImageDraw.Draw(img)
    r = h // 6
    cx, cy = w // 2, int(h * 0.62)
    d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(255, 220, 120))
    # Hills in front of the sun.
    for layer, colour in enumerate([(70, 50, 90), (45, 35, 60), (25, 20, 35)]):
        base = int(h * (0.68 + 0.1 * layer))
        pts = [(0, h)]
        for x in range(0, w + 20, 20):
            pts.append((x, base - int(18 * math.sin(x / (40 + 25 * layer) + layer)) -
                        rnd.randint(0, 6)))
        pts.append((w, h))
        d.polygon(pts, fill=colour)
    return img


def mountains(w, h, rnd):
    img = vertical_gradient(w, h, (120, 170, 230), (220, 235, 250))
    d = ImageDraw.Draw(img)
    for layer in range(4):
        shade = 140 - layer * 30
        base = int(h * (0.45 + 0.13 * layer))
        y = base
        pts = [(0, h)]
        for x in range(0, w + 8, 8):
            y += rnd.randint(-9, 9)
            y = max(int(h * 0.2), min(h - 5, y))
            pts.append((x, y))
        pts.append((w, h))
        d.polygon(pts, fill=(shade - 20, shade, shade - 40))
    return img.filter(ImageFilter.SMOOTH)


def mandelbrot(w, h, _rnd):
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            c = complex(-2.2 + 3.0 * x / w, -1.2 + 2.4 * y / h)
            z = 0j
            n = 0
            while abs(z) <= 2 and n < 60:
                z = z * z + c
                n += 1
            t = n / 60
            px[x, y] = (int(255 * t), int(255 * t * t), int(120 + 135 * math.sin(t * 3)))
    return img


def tiles(w, h, rnd):
    img = Image.new("RGB", (w, h), (240, 240, 235))
    d = ImageDraw.Draw(img)
    step = max(12, w // 12)
    for y in range(0, h, step):
        for x in range(0, w, step):
            c = (rnd.randint(40, 230), rnd.randint(40, 230), rnd.randint(40, 230))
            if rnd.random() < 0.5:
                d.rectangle([x + 2, y + 2, x + step - 3, y + step - 3], fill=c)
            else:
                d.ellipse([x + 2, y + 2, x + step - 3, y + step - 3], fill=c)
    return img


def rings(w, h, _rnd):
    img = Image.new("RGB", (w, h))
    px = img.load()
    cx, cy = w / 2, h / 2
    for y in range(h):
        for x in range(w):
            r = math.hypot(x - cx, y - cy)
            a = math.atan2(y - cy, x - cx)
            px[x, y] = (int(127 + 127 * math.sin(r / 6)), int(127 + 127 * math.sin(a * 5)),
                        int(127 + 127 * math.cos(r / 11 + a)))
    return img


def forest(w, h, rnd):
    img = vertical_gradient(w, h, (200, 225, 240), (150, 190, 120))
    d = ImageDraw.Draw(img)
    for _ in range(40):
        x = rnd.randint(0, w)
        top = rnd.randint(int(h * 0.15), int(h * 0.6))
        half = rnd.randint(w // 30 + 2, w // 12 + 3)
        green = (20 + rnd.randint(0, 40), 80 + rnd.randint(0, 80), 30 + rnd.randint(0, 30))
        d.rectangle([x - 2, h - h // 8, x + 2, h], fill=(90, 60, 30))
        d.polygon([(x, top), (x - half, h - h // 8), (x + half, h - h // 8)], fill=green)
    return img


def plasma(w, h, rnd):
    # Sum of a few waves with random phases, smoothed: soft cloudy colours.
    waves = [(rnd.uniform(0.01, 0.05), rnd.uniform(0.01, 0.05), rnd.uniform(0, 6.3))
             for _ in range(6)]
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            v = sum(math.sin(fx * x + fy * y + p) for fx, fy, p in waves) / 6
            px[x, y] = (int(127 + 127 * math.sin(v * 3)), int(127 + 127 * math.sin(v * 3 + 2)),
                        int(127 + 127 * math.sin(v * 3 + 4)))
    return img


def stripes(w, h, _rnd):
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    colours = [(230, 57, 70), (241, 250, 238), (168, 218, 220), (69, 123, 157), (29, 53, 87)]
    for i, x in enumerate(range(-h, w, 14)):
        d.polygon([(x, 0), (x + 14, 0), (x + 14 + h, h), (x + h, h)],
                  fill=colours[i % len(colours)])
    return img


def night(w, h, rnd):
    img = vertical_gradient(w, h, (5, 5, 30), (30, 30, 80))
    d = ImageDraw.Draw(img)
    for _ in range(w * h // 300):
        x, y = rnd.randrange(w), rnd.randrange(h)
        b = rnd.randint(150, 255)
        d.point((x, y), fill=(b, b, b - rnd.randint(0, 40)))
    r = min(w, h) // 8
    d.ellipse([w * 3 // 4 - r, h // 4 - r, w * 3 // 4 + r, h // 4 + r], fill=(245, 240, 210))
    return img


def grey_waves(w, h, _rnd):
    img = Image.new("L", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = int(127 + 120 * math.sin(x / 9 + math.sin(y / 17) * 2))
    return img


# name, drawing, width, height, how it is saved
PICTURES = [
    ("sunset.jpg", sunset, 640, 480, "jpeg"),
    ("mountains.jpg", mountains, 800, 450, "jpeg"),
    ("tower-night.jpg", night, 360, 640, "jpeg-progressive"),
    ("forest.jpg", forest, 480, 720, "jpeg"),
    ("plasma.jpg", plasma, 300, 300, "jpeg"),
    ("grey-waves.jpg", grey_waves, 400, 260, "jpeg-grey"),
    ("mandelbrot.png", mandelbrot, 480, 360, "png"),
    ("rings.png", rings, 256, 384, "png"),
    ("tiles.png", tiles, 320, 200, "png-palette"),
    ("stripes.gif", stripes, 400, 300, "gif"),
    ("tiles-small.gif", tiles, 120, 180, "gif"),
    ("rings-wide.gif", rings, 500, 120, "gif"),
]


def main():
    os.makedirs(OUT, exist_ok=True)
    for index, (name, draw, w, h, form) in enumerate(PICTURES):
        img = draw(w, h, random.Random(1000 + index))
        path = os.path.join(OUT, name)
        if form == "jpeg":
            img.save(path, "JPEG", quality=85)
        elif form == "jpeg-progressive":
            img.save(path, "JPEG", quality=85, progressive=True)
        elif form == "jpeg-grey":
            img.convert("L").save(path, "JPEG", quality=85)
        elif form == "png":
            img.save(path, "PNG", optimize=False)
        elif form == "png-palette":
            img.convert("P", palette=Image.ADAPTIVE, colors=64).save(path, "PNG")
        elif form == "gif":
            img.convert("P", palette=Image.ADAPTIVE, colors=128).save(path, "GIF")
        print(path)


if __name__ == "__main__":
    main()
