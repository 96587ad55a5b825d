#include "win/addin/win_pictures.h"

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <gdiplus.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "outlook/outlook_ids.h"
#include "win/com/com_ptr.h"
#include "win/com/com_support.h"

namespace CV::Win {

namespace Gp = Gdiplus::DllExports;

namespace {

std::mutex g_gdiplusLock;
int g_liveImages = 0;
ULONG_PTR g_gdiplusToken = 0;

// A GpBitmap that keeps GDI+ running while it lives.
class DecodedImage {
 public:
  explicit DecodedImage(IStream* stream) {
    if (!GdiplusAcquire()) return;
    m_started = true;
    if (Gp::GdipCreateBitmapFromStream(stream, &m_bitmap) != Gdiplus::Ok) m_bitmap = nullptr;
  }
  ~DecodedImage() {
    if (m_bitmap) Gp::GdipDisposeImage(m_bitmap);
    if (m_started) GdiplusRelease();
  }
  DecodedImage(const DecodedImage&) = delete;
  DecodedImage& operator=(const DecodedImage&) = delete;
  Gdiplus::GpBitmap* Get() const { return m_bitmap; }

 private:
  bool m_started = false;
  Gdiplus::GpBitmap* m_bitmap = nullptr;
};

struct DibLayout {
  Gdiplus::PixelFormat lockFormat;
  WORD bitsPerPixel;
  std::vector<RGBQUAD> palette;
};

// Non-premultiplied ARGB when the PNG has alpha, its own palette when it
// is indexed, 32-bit RGB otherwise.
DibLayout LayoutOf(Gdiplus::GpBitmap* bitmap) {
  Gdiplus::PixelFormat format = 0;
  Gp::GdipGetImagePixelFormat(bitmap, &format);
  if (format & PixelFormatAlpha) return {PixelFormat32bppARGB, 32, {}};
  if (format & PixelFormatIndexed) {
    INT size = 0;
    if (Gp::GdipGetImagePaletteSize(bitmap, &size) == Gdiplus::Ok && size > 0) {
      std::vector<BYTE> raw(static_cast<size_t>(size));
      auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(raw.data());
      if (Gp::GdipGetImagePalette(bitmap, palette, size) == Gdiplus::Ok) {
        DibLayout layout{format, static_cast<WORD>(Gdiplus::GetPixelFormatSize(format)), {}};
        for (UINT i = 0; i < palette->Count; ++i) {
          const Gdiplus::ARGB c = palette->Entries[i];
          layout.palette.push_back(RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0});
        }
        return layout;
      }
    }
  }
  return {PixelFormat32bppRGB, 32, {}};
}

HBITMAP ToDibSection(Gdiplus::GpBitmap* bitmap) {
  UINT width = 0, height = 0;
  Gp::GdipGetImageWidth(bitmap, &width);
  Gp::GdipGetImageHeight(bitmap, &height);
  if (width == 0 || height == 0) return nullptr;
  const DibLayout layout = LayoutOf(bitmap);
  std::vector<BYTE> header(sizeof(BITMAPINFOHEADER) + layout.palette.size() * sizeof(RGBQUAD));
  auto* info = reinterpret_cast<BITMAPINFO*>(header.data());
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = static_cast<LONG>(width);
  info->bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, as GDI+ hands out rows
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = layout.bitsPerPixel;
  info->bmiHeader.biCompression = BI_RGB;
  info->bmiHeader.biClrUsed = static_cast<DWORD>(layout.palette.size());
  if (!layout.palette.empty()) std::memcpy(info->bmiColors, layout.palette.data(), layout.palette.size() * sizeof(RGBQUAD));

  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib) return nullptr;
  const UINT stride = ((width * layout.bitsPerPixel + 31) / 32) * 4;
  const Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data{};
  if (Gp::GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, layout.lockFormat, &data) != Gdiplus::Ok) {
    ::DeleteObject(dib);
    return nullptr;
  }
  for (UINT row = 0; row < height; ++row)
    std::memcpy(static_cast<BYTE*>(bits) + row * stride, static_cast<const BYTE*>(data.Scan0) + row * data.Stride,
                stride);
  Gp::GdipBitmapUnlockBits(bitmap, &data);
  return dib;
}

}  // namespace

bool GdiplusAcquire() {
  std::lock_guard lock(g_gdiplusLock);
  if (g_liveImages == 0) {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) != Gdiplus::Ok) return false;
  }
  ++g_liveImages;
  return true;
}

void GdiplusRelease() {
  std::lock_guard lock(g_gdiplusLock);
  if (--g_liveImages == 0) Gdiplus::GdiplusShutdown(g_gdiplusToken);
}

ObjectPtr WinPictureFactory::FromPng(std::span<const std::uint8_t> png) {
  if (png.empty()) return nullptr;
  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()))) return nullptr;
  ULONG written = 0;
  if (FAILED(stream->Write(png.data(), static_cast<ULONG>(png.size()), &written)) || written != png.size())
    return nullptr;
  const LARGE_INTEGER start{};
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return nullptr;

  HBITMAP dib = nullptr;
  {
    const DecodedImage image(stream.Get());
    if (!image.Get()) return nullptr;
    dib = ToDibSection(image.Get());
  }
  if (!dib) return nullptr;
  PICTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = dib;
  description.bmp.hpal = nullptr;
  ComPtr<IPictureDisp> picture;
  if (FAILED(::OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(picture.Put())))) {
    ::DeleteObject(dib);
    return nullptr;
  }
  return WrapDispatch(picture.Get(), Outlook::Iid::Dispatch);
}

}  // namespace CV::Win
