#include "addin/ribbon_resources.h"

#include "foundation/format.h"

namespace CV {

int DpiClass(int logPixelsX) {
  if (logPixelsX < 97) return 96;
  if (logPixelsX < 121) return 120;
  return 144;
}

PictureResource ParsePictureName(std::u16string_view pictureName, std::u16string_view dpiText) {
  PictureResource resource{u"PNG", std::u16string(pictureName)};
  if (const std::size_t slash = pictureName.find(u'/'); slash != std::u16string_view::npos) {
    resource.type = pictureName.substr(0, slash);
    resource.name = pictureName.substr(slash + 1);
  }
  constexpr std::u16string_view kPlaceholder = u"%DPI%";
  for (std::size_t at = resource.name.find(kPlaceholder); at != std::u16string::npos;
       at = resource.name.find(kPlaceholder, at + dpiText.size()))
    resource.name.replace(at, kPlaceholder.size(), dpiText);
  return resource;
}

CRibbonResources::CRibbonResources(IScreen& screen, const IResources& resources, IPictureFactory& pictures)
    : m_resources(resources), m_pictures(pictures) {
  const std::optional<int> logPixels = screen.LogPixelsX();
  m_dpi = logPixels ? DpiClass(*logPixels) : 96;
  m_dpiText = Format(u"%d", m_dpi);
}

std::optional<std::span<const std::uint8_t>> CRibbonResources::RibbonXml() const {
  return m_resources.Find(u"XML", u"100");
}

ObjectPtr CRibbonResources::LoadPicture(std::u16string_view pictureName) const {
  const PictureResource resource = ParsePictureName(pictureName, m_dpiText);
  const auto bytes = m_resources.Find(resource.type, resource.name);
  if (!bytes || bytes->empty()) return nullptr;
  return m_pictures.FromPng(*bytes);
}

}  // namespace CV
