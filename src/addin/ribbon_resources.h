// CRibbonResources: the screen's DPI class and the module's ribbon resources
// (the XML document and the pictures in the size for that class).
#pragma once

#include <optional>
#include <string>

#include "foundation/object.h"
#include "foundation/picture_factory.h"
#include "foundation/resources.h"
#include "foundation/screen.h"

namespace CV {

// 96 up to 96 DPI, 120 up to 120, 144 beyond: the picture sets there are.
int DpiClass(int logPixelsX);

struct PictureResource {
  std::u16string type;
  std::u16string name;
};
// "PNG/addmails_%DPI%.png" at 120 DPI names type "PNG", name
// "addmails_120.png"; without a slash the type is "PNG".
PictureResource ParsePictureName(std::u16string_view pictureName, std::u16string_view dpiText);

class CRibbonResources {
 public:
  CRibbonResources(IScreen& screen, const IResources& resources, IPictureFactory& pictures);

  int Dpi() const noexcept { return m_dpi; }
  const std::u16string& DpiText() const noexcept { return m_dpiText; }
  // The ribbon XML (resource 100 of type "XML"), or nullopt.
  std::optional<std::span<const std::uint8_t>> RibbonXml() const;
  // The picture the name points to, or null when it is missing or undecodable.
  ObjectPtr LoadPicture(std::u16string_view pictureName) const;

 private:
  const IResources& m_resources;
  IPictureFactory& m_pictures;
  int m_dpi;
  std::u16string m_dpiText;
};

}  // namespace CV
