// The inner loops of the filtered resample, compiled once per instruction set. This header
// and the files that implement it use no library code with inline definitions, so nothing
// built with wider instructions can leak into code that runs on older processors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace folivant {

struct TContributor {
  std::int32_t pixel;  // source index along the pass's axis, always inside 0..n-1
  double weight;       // never 0
};

namespace simd {

// Rows the horizontal kernel handles at once.
constexpr int kHorizontalRows = 8;
// Output columns the horizontal kernel sums side by side.
int GroupColumnsSse2();
int GroupColumnsAvx2();
int GroupColumnsAvx512();

// The horizontal pass's weights in the order its kernel reads them. The source bytes of a row
// block are widened into a ring of ringBytes byte positions (a multiple of 48), so it stays in
// cache however wide the picture: byte k sits at position k % ringBytes. Output i needs bytes
// 0..ready[i] widened (non-decreasing) and reads its entries start[i]..start[i+1], whose pixel
// field is the pixel's slot in the ring, (3 * pixel % ringBytes) / 3.
struct THorizontalPlan {
  const std::size_t* start;
  const TContributor* entries;
  const std::size_t* ready;
  std::size_t ringBytes;
};

// Horizontal pass over `rows` (at most kHorizontalRows) source rows of a 24-bit picture: for
// each output column i the sum over its entries in their order, converted to a byte, into
// dstRows[r][3i + c]. scratch: 8 * ringBytes + 3 * dstW doubles, 64-byte aligned.
void HorizontalSse2(const std::uint8_t* const* srcRows, int rows, std::uint8_t* const* dstRows,
                    int dstW, const THorizontalPlan& plan, double* scratch);
void HorizontalAvx2(const std::uint8_t* const* srcRows, int rows, std::uint8_t* const* dstRows,
                    int dstW, const THorizontalPlan& plan, double* scratch);
void HorizontalAvx512(const std::uint8_t* const* srcRows, int rows, std::uint8_t* const* dstRows,
                      int dstW, const THorizontalPlan& plan, double* scratch);

// Vertical pass for one output row: bytes byteBegin..byteEnd of dstRow are the sums over the
// n entries of the list, reading rows[entry.pixel].
void VerticalSse2(const std::uint8_t* const* rows, const TContributor* list, int n, int byteBegin,
                  int byteEnd, std::uint8_t* dstRow);
void VerticalAvx2(const std::uint8_t* const* rows, const TContributor* list, int n, int byteBegin,
                  int byteEnd, std::uint8_t* dstRow);
void VerticalAvx512(const std::uint8_t* const* rows, const TContributor* list, int n, int byteBegin,
                    int byteEnd, std::uint8_t* dstRow);

}  // namespace simd
}  // namespace folivant
