// Pictures and folders for the engine and command-line tests, made on the spot.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "../common/test_files.h"

#include "codecs/codecs.h"
#include "imaging/image_box.h"
#include "imaging/stream.h"

namespace folivant::test {

// A w x h picture with structure in it (gradients and a seeded pattern), so thumbnails of
// different pictures differ.
inline void FillPicture(TBitmap& bmp, int w, int h, int seed) {
  bmp.SetSize(w, h);
  std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      row[3 * x + 2] = static_cast<std::uint8_t>(((x / 8 + y / 8 + seed) % 2) * 160 + (state & 31));
    }
  }
}

inline void WriteJpeg(const std::string& path, int w, int h, int seed = 0) {
  InstallCodecs();
  TImageBox box;
  FillPicture(box.Bitmap(), w, h, seed);
  box.IOParams().JpegQuality = 90;
  box.SaveToFileJpeg(path);
}

// A GIF89a of w x h with a 16-colour palette; pixel (x, y) takes colour (x / 4 + y / 4 + seed).
inline void WriteGif(const std::string& path, int w, int h, int seed = 0) {
  InstallCodecs();
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      pixels[static_cast<std::size_t>(y) * w + x] = (x / 4 + y / 4 + seed) % 16;
  }
  TFileStream s(path, TFileMode::fmCreate);
  auto u8 = [&](int v) {
    const std::uint8_t b = static_cast<std::uint8_t>(v);
    s.Write(&b, 1);
  };
  auto u16 = [&](int v) {
    u8(v & 0xFF);
    u8(v >> 8);
  };
  s.Write("GIF89a", 6);
  u16(w);
  u16(h);
  u8(0x80 | 0x30 | 3);  // global table of 16 colours
  u8(0);
  u8(0);
  for (int i = 0; i < 16; ++i) {
    u8(i * 16);
    u8(255 - i * 16);
    u8((i * 97 + seed * 31) & 0xFF);
  }
  u8(0x2C);
  u16(0);
  u16(0);
  u16(w);
  u16(h);
  u8(0);
  EncodeGifLzw(s, h, w, false, 4, pixels.data());
  u8(0x3B);
  s.Close();
}

// Width and height of a picture file as the toolkit loads it.
inline std::pair<int, int> PictureSize(const std::string& path) {
  InstallCodecs();
  TImageBox box;
  box.LoadFromFile(path);
  return {box.Bitmap().Width(), box.Bitmap().Height()};
}

}  // namespace folivant::test
