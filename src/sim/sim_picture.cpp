#include "sim/sim_picture.h"

#include <cstring>

#include "foundation/com_error.h"
#include "outlook/outlook_ids.h"

namespace CV::Sim {
namespace {

// IPictureDisp
constexpr Guid kPictureDisp = Guid::FromLiteral("7BF80981-BF32-101A-8BBB-00AA00300CAB");

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

class SimPicture final : public IObject, public std::enable_shared_from_this<SimPicture> {
 public:
  SimPicture(PngHeader header, std::size_t bytes) : m_header(header), m_bytes(bytes) {}
  ObjectPtr QueryInterface(const Guid& iid) override {
    return iid == kPictureDisp || iid == Outlook::Iid::Dispatch ? shared_from_this() : nullptr;
  }
  Variant Invoke(std::u16string_view name, InvokeKind, std::vector<Variant>) override {
    if (name == u"Width") return Variant::FromI4(static_cast<std::int32_t>(m_header.width));
    if (name == u"Height") return Variant::FromI4(static_cast<std::int32_t>(m_header.height));
    if (name == u"Type") return Variant::FromI4(1);  // PICTYPE_BITMAP
    if (name == u"Bytes") return Variant::FromI4(static_cast<std::int32_t>(m_bytes));
    ThrowComError(DISP_E_UNKNOWNNAME, kPictureDisp);
  }
  std::uint32_t Advise(const Guid&, std::shared_ptr<IEventSink>) override { ThrowComError(CONNECT_E_NOCONNECTION); }
  void Unadvise(std::uint32_t) override { ThrowComError(CONNECT_E_NOCONNECTION); }

 private:
  PngHeader m_header;
  std::size_t m_bytes;
};

}  // namespace

bool ReadPngHeader(std::span<const std::uint8_t> png, PngHeader& header) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 33 || std::memcmp(png.data(), kSignature, 8) != 0) return false;
  if (BigEndian32(png.data() + 8) != 13 || std::memcmp(png.data() + 12, "IHDR", 4) != 0) return false;
  header.width = BigEndian32(png.data() + 16);
  header.height = BigEndian32(png.data() + 20);
  header.bitDepth = png[24];
  header.colourType = png[25];
  return header.width != 0 && header.height != 0;
}

ObjectPtr SimPictureFactory::FromPng(std::span<const std::uint8_t> png) {
  PngHeader header;
  if (!ReadPngHeader(png, header)) return nullptr;
  return std::make_shared<SimPicture>(header, png.size());
}

}  // namespace CV::Sim
