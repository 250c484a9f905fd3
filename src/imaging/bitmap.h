// The picture in memory: a device-independent bitmap, 24-bit (blue, green, red) or 1-bit
// (most significant bit leftmost, 0 black, 1 white), rows padded to four bytes and stored
// bottom-up in one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace folivant {

enum class TPixelFormat : std::uint8_t { pf1bit, pf24bit };

class TBitmap {
 public:
  TBitmap() = default;  // 24-bit, 0 x 0

  int Width() const { return width_; }
  int Height() const { return height_; }
  TPixelFormat PixelFormat() const { return format_; }
  int BitsPerPixel() const { return format_ == TPixelFormat::pf24bit ? 24 : 1; }

  // Bytes per stored row: ((width * bits + 31) div 32) * 4.
  std::size_t RowBytes() const { return RowBytesFor(width_, format_); }
  static std::size_t RowBytesFor(int width, TPixelFormat format);

  // A new size gives a buffer of that size. The size is checked against the picture size
  // limit before memory is taken (EImageSizeError); the old content is not kept.
  void SetSize(int width, int height);
  // The same for a reader that writes every row: the rows are left as they are (the padding
  // after them is cleared), which saves clearing a large picture only to overwrite it.
  void SetSizeForOverwrite(int width, int height);
  // Clears rows y..Height()-1: what a reader that stopped early did not write.
  void ClearRowsFrom(int y);
  // Converts the content: 1-bit to 24-bit gives black and white pixels; 24-bit to 1-bit sets
  // a bit where the pixel's luminance is at least 128.
  void SetPixelFormat(TPixelFormat format);

  // Row y, 0 being the top row. Rows are stored bottom-up, so ScanLine(1) < ScanLine(0).
  std::uint8_t* ScanLine(int y) { return bits_.data() + RowOffset(y); }
  const std::uint8_t* ScanLine(int y) const { return bits_.data() + RowOffset(y); }

  // The whole block, starting at the bottom row.
  std::uint8_t* Bits() { return bits_.data(); }
  const std::uint8_t* Bits() const { return bits_.data(); }
  std::size_t ByteSize() const { return bits_.size(); }

  // Whole-block copy: this becomes a copy of src (size, format, pixels).
  void Assign(const TBitmap& src);
  // Copies src's pixels into this bitmap at (0, 0), clipped to both; formats must match.
  void Draw(const TBitmap& src);
  // Frees the pixels: 0 x 0, format unchanged.
  void Clear();
  // 0 x 0 and 24-bit, as a new bitmap, but the block is kept for the next picture loaded.
  void Reset();

 private:
  std::size_t RowOffset(int y) const {
    return static_cast<std::size_t>(height_ - 1 - y) * RowBytes();
  }

  // Bytes a resize adds are not cleared unless asked: SetSize clears them, SetSizeForOverwrite
  // leaves them to the reader.
  struct TUnclearedAllocator : std::allocator<std::uint8_t> {
    template <typename U>
    struct rebind {
      using other = TUnclearedAllocator;
    };
    void construct(std::uint8_t* p) { ::new (static_cast<void*>(p)) std::uint8_t; }
    void construct(std::uint8_t* p, std::uint8_t v) { *p = v; }
  };

  void Resize(int width, int height, bool clear);

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  std::vector<std::uint8_t, TUnclearedAllocator> bits_;
};

}  // namespace folivant
