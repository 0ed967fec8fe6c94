#include "platform/gdi/image_codec.h"

#include <cstddef>
#include <cstring>

namespace platform::gdi {
namespace {

// Larger pictures than these are refused outright; the skin's largest is a few hundred pixels.
constexpr std::int64_t kMaxBitmapSide = 32767;
constexpr std::int64_t kMaxIconSide = 256;

constexpr std::uint32_t kBiRgb = 0;

// Little-endian reads; callers check the bounds first through Has().
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }
  std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(bytes_[at] | (bytes_[at + 1] << 8)); }
  std::uint32_t U32(std::size_t at) const {
    return static_cast<std::uint32_t>(bytes_[at]) | (static_cast<std::uint32_t>(bytes_[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes_[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes_[at + 3]) << 24);
  }
  std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
  std::uint8_t U8(std::size_t at) const { return bytes_[at]; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

std::uint64_t RowStride(std::int64_t width, int bitCount) { return static_cast<std::uint64_t>((width * bitCount + 31) / 32) * 4; }

// One icon image stored as a DIB: a BITMAPINFOHEADER whose height counts the colour rows and the
// AND-mask rows together, then the colour rows, then the 1-bit mask, both bottom-up.
std::optional<IconBitmap> DecodeIconDib(const Reader& r, std::size_t at, std::size_t length) {
  if (length < 40 || !r.Has(at, length)) return std::nullopt;
  const std::uint32_t headerSize = r.U32(at);
  if (headerSize < 40 || headerSize > length) return std::nullopt;
  const std::int64_t width = r.I32(at + 4);
  const std::int64_t doubledHeight = r.I32(at + 8);
  const int planes = r.U16(at + 12);
  const int bitCount = r.U16(at + 14);
  const std::uint32_t compression = r.U32(at + 16);
  const std::uint32_t colorsUsed = r.U32(at + 32);
  if (planes != 1 || (bitCount != 24 && bitCount != 32) || compression != kBiRgb) return std::nullopt;
  if (doubledHeight <= 0 || doubledHeight % 2 != 0) return std::nullopt;
  const std::int64_t height = doubledHeight / 2;
  if (width < 1 || width > kMaxIconSide || height > kMaxIconSide) return std::nullopt;
  // A colour table is optional for these depths and never used; it only moves the rows.
  if (colorsUsed > 256) return std::nullopt;
  const std::uint64_t colorStart = headerSize + std::uint64_t{colorsUsed} * 4;
  const std::uint64_t colorStride = RowStride(width, bitCount);
  const std::uint64_t maskStride = RowStride(width, 1);
  const std::uint64_t maskStart = colorStart + colorStride * static_cast<std::uint64_t>(height);
  if (maskStart > length) return std::nullopt;
  const bool hasMask = maskStart + maskStride * static_cast<std::uint64_t>(height) <= length;
  if (bitCount == 24 && !hasMask) return std::nullopt;

  IconBitmap image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.bitCount = bitCount;
  image.argb.resize(static_cast<std::size_t>(width * height));
  const int bytesPerPixel = bitCount / 8;
  bool anyAlpha = false;
  for (std::int64_t y = 0; y < height; ++y) {
    const std::size_t row = at + static_cast<std::size_t>(colorStart + colorStride * static_cast<std::uint64_t>(height - 1 - y));
    for (std::int64_t x = 0; x < width; ++x) {
      const std::size_t p = row + static_cast<std::size_t>(x * bytesPerPixel);
      const std::uint32_t alpha = bitCount == 32 ? r.U8(p + 3) : 0xFF;
      anyAlpha = anyAlpha || (bitCount == 32 && alpha != 0);
      image.argb[static_cast<std::size_t>(y * width + x)] =
          (alpha << 24) | (std::uint32_t{r.U8(p + 2)} << 16) | (std::uint32_t{r.U8(p + 1)} << 8) | r.U8(p);
    }
  }
  // 32-bit images whose alpha is all zero come from tools that predate alpha: their mask decides.
  const bool useMask = bitCount == 24 || !anyAlpha;
  for (std::int64_t y = 0; y < height; ++y) {
    const std::size_t row = at + static_cast<std::size_t>(maskStart + maskStride * static_cast<std::uint64_t>(height - 1 - y));
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint32_t& px = image.argb[static_cast<std::size_t>(y * width + x)];
      if (!useMask) continue;
      const bool transparent = hasMask && ((r.U8(row + static_cast<std::size_t>(x / 8)) >> (7 - x % 8)) & 1) != 0;
      px = (px & 0x00FFFFFFu) | (transparent ? 0u : 0xFF000000u);
    }
  }
  return image;
}

}  // namespace

std::optional<BmpPicture> OpenBmp(std::span<const std::uint8_t> file) {
  const Reader r(file);
  constexpr std::size_t kFileHeader = 14;
  if (!r.Has(0, kFileHeader + 12) || r.U8(0) != 'B' || r.U8(1) != 'M') return std::nullopt;
  const std::uint32_t pixelOffset = r.U32(10);
  const std::uint32_t headerSize = r.U32(kFileHeader);
  if (!r.Has(kFileHeader, headerSize)) return std::nullopt;

  // A BITMAPINFOHEADER or a later one, as every tool writes today; rows bottom-up, as the skin
  // generator writes them.
  if (headerSize < 40) return std::nullopt;
  const std::int64_t width = r.I32(kFileHeader + 4);
  const std::int64_t height = r.I32(kFileHeader + 8);
  if (r.U16(kFileHeader + 12) != 1 || r.U16(kFileHeader + 14) != 24 || r.U32(kFileHeader + 16) != kBiRgb) return std::nullopt;
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide) return std::nullopt;

  // Rows are padded to four bytes; the last row's padding may be missing in files from lax
  // writers, so only the bytes that are read are required.
  const std::uint64_t stride = RowStride(width, 24);
  const std::uint64_t needed = stride * static_cast<std::uint64_t>(height - 1) + static_cast<std::uint64_t>(width) * 3;
  if (pixelOffset < kFileHeader + headerSize || !r.Has(pixelOffset, needed)) return std::nullopt;
  return BmpPicture{static_cast<int>(width), static_cast<int>(height), file, pixelOffset, static_cast<std::size_t>(stride)};
}

void BmpPicture::Row(int y, std::uint32_t* out) const {
  const std::uint8_t* p = file.data() + pixelOffset + stride * static_cast<std::size_t>(height - 1 - y);
  for (int x = 0; x < width; ++x, p += 3) out[x] = (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

std::optional<DecodedBitmap> DecodeBmp(std::span<const std::uint8_t> file) {
  const auto picture = OpenBmp(file);
  if (!picture) return std::nullopt;
  DecodedBitmap out{picture->width, picture->height, std::vector<std::uint32_t>(static_cast<std::size_t>(picture->width) * static_cast<std::size_t>(picture->height))};
  for (int y = 0; y < out.height; ++y) picture->Row(y, out.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width));
  return out;
}

std::optional<std::vector<IconBitmap>> DecodeIco(std::span<const std::uint8_t> file) {
  const Reader r(file);
  constexpr std::size_t kDirHeader = 6;
  constexpr std::size_t kEntry = 16;
  if (!r.Has(0, kDirHeader) || r.U16(0) != 0 || r.U16(2) != 1) return std::nullopt;
  const std::size_t count = r.U16(4);
  if (count == 0 || !r.Has(kDirHeader, count * kEntry)) return std::nullopt;

  static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<IconBitmap> images;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirHeader + i * kEntry;
    const std::uint32_t length = r.U32(entry + 8);
    const std::uint32_t offset = r.U32(entry + 12);
    if (!r.Has(offset, length)) return std::nullopt;
    if (length >= sizeof kPngSignature && std::memcmp(file.data() + offset, kPngSignature, sizeof kPngSignature) == 0) continue;
    if (auto image = DecodeIconDib(r, offset, length)) images.push_back(std::move(*image));
  }
  if (images.empty()) return std::nullopt;
  return images;
}

}  // namespace platform::gdi
