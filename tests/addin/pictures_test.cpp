// Ribbon pictures: the 27 PNG files, DPI classes and picture names.
#include "addin/ribbon_resources.h"

#include <gtest/gtest.h>

#include "foundation/utf.h"
#include "sim/sim_picture.h"
#include "support/addin_fixture.h"

namespace CV {
namespace {

TEST(RibbonPictures, NinePicturesInThreeSizesOfRgba) {
  struct Picture {
    const char16_t* name;
    std::uint32_t size96;
  };
  const Picture pictures[] = {{u"ADDMAILS", 16},      {u"ADDMAILFOLDER", 16}, {u"ADDMAILFOLDERS", 16},
                              {u"REFINESELECTION", 16}, {u"HELP", 16},        {u"CREATEARCSAFE", 32},
                              {u"UNDOSELECTION", 32}, {u"INFO", 32},          {u"ARCHIV", 64}};
  for (const Picture& p : pictures) {
    for (const int dpi : {96, 120, 144}) {
      const std::u16string name = std::u16string(p.name) + u"_" + WidenAscii(std::to_string(dpi)) + u".PNG";
      SCOPED_TRACE(ToUtf8(name));
      const auto bytes = ModuleResources().Find(u"PNG", name);
      ASSERT_TRUE(bytes.has_value());
      Sim::PngHeader header;
      ASSERT_TRUE(Sim::ReadPngHeader(*bytes, header));
      EXPECT_EQ(header.width, p.size96 * static_cast<std::uint32_t>(dpi) / 96);
      EXPECT_EQ(header.height, header.width);
      EXPECT_EQ(header.bitDepth, 8);
      EXPECT_EQ(header.colourType, 6);  // RGBA
    }
  }
}

// The simulated picture reads a PNG's size from its header: one pixel is a
// picture, none is not, nor is a header cut short or of another kind.
TEST(RibbonPictures, APngHeaderAtItsBounds) {
  const auto png = [](std::uint32_t width, std::uint32_t height, std::size_t size = 33, std::uint8_t ihdrLength = 13) {
    std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, ihdrLength, 'I', 'H', 'D', 'R'};
    for (const std::uint32_t v : {width, height})
      for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    bytes.resize(size, 0);
    bytes[24] = 8;
    bytes[25] = 6;
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool picture;
  } cases[] = {
      {"one pixel", png(1, 1), true},
      {"no rows", png(1, 0), false},
      {"no columns", png(0, 1), false},
      {"large", png(0x10000, 0x7FFFFFFF), true},
      {"a byte short", png(16, 16, 32), false},
      {"a header of another length", png(16, 16, 33, 12), false},
  };
  for (Case& c : cases) {
    Sim::PngHeader header;
    EXPECT_EQ(Sim::ReadPngHeader(c.bytes, header), c.picture) << c.name;
  }
  auto wrongSignature = png(1, 1);
  wrongSignature[1] = 'J';
  Sim::PngHeader header;
  EXPECT_FALSE(Sim::ReadPngHeader(wrongSignature, header));
}

TEST(RibbonPictures, DpiClasses) {
  const std::pair<int, int> cases[] = {{72, 96}, {96, 96}, {97, 120}, {120, 120}, {121, 144}, {144, 144}, {192, 144}};
  for (const auto& [logPixels, expected] : cases) EXPECT_EQ(DpiClass(logPixels), expected) << logPixels;
}

TEST(RibbonPictures, PictureNames) {
  struct Case {
    const char16_t* name;
    const char16_t* dpi;
    const char16_t* type;
    const char16_t* resource;
  };
  const Case cases[] = {
      {u"PNG/addmails_%DPI%.png", u"120", u"PNG", u"addmails_120.png"},
      {u"png/help_%DPI%.png", u"96", u"png", u"help_96.png"},
      {u"addmails_%DPI%.png", u"144", u"PNG", u"addmails_144.png"},  // no slash: type PNG
      {u"PNG/a/b_%DPI%_%DPI%", u"96", u"PNG", u"a/b_96_96"},  // the first slash splits
      {u"PNG/plain.png", u"96", u"PNG", u"plain.png"}, {u"", u"96", u"PNG", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    const PictureResource r = ParsePictureName(c.name, c.dpi);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.name, c.resource);
  }
}

class PictureCallbacks : public Fake::AddinFixture {};

TEST_F(PictureCallbacks, LoadPictureInTheSizeOfTheScreen) {
  struct Case {
    std::optional<int> logPixels;
    const char16_t* name;
    HRESULT hr;
    std::int32_t width;
  };
  const Case cases[] = {
      {96, u"PNG/addmails_%DPI%.png", S_OK, 16}, {120, u"PNG/addmails_%DPI%.png", S_OK, 20},
      {144, u"png/archiv_%DPI%.png", S_OK, 96},
      {std::nullopt, u"PNG/createarcsafe_%DPI%.png", S_OK, 32},  // no device context: 96
      {192, u"info_%DPI%.png", S_OK, 48}, {96, u"PNG/missing_%DPI%.png", E_FAIL, 0},
      {96, u"XML/100", E_FAIL, 0},  // found, but no PNG
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    screen.logPixelsX = c.logPixels;
    connect = NewConnect();
    ObjectPtr picture;
    EXPECT_EQ(connect->LoadPicture(Bstr(c.name), &picture), c.hr);
    if (c.hr == S_OK) EXPECT_EQ(GetProperty(picture, u"Width").AsInt32(), c.width);
    else EXPECT_EQ(picture, nullptr);
  }
  EXPECT_EQ(connect->LoadPicture(Bstr(u"x"), nullptr), E_POINTER);
}

TEST_F(PictureCallbacks, CustomImageByControlId) {
  Connect();
  ObjectPtr image;
  EXPECT_EQ(connect->GetCustomImage(outlook.NewRibbonControl(u"ADDMAILS_%DPI%.PNG", nullptr), &image), S_OK);
  EXPECT_NE(image, nullptr);
  EXPECT_EQ(connect->GetCustomImage(outlook.NewRibbonControl(u"help", nullptr), &image), E_FAIL);
  EXPECT_EQ(connect->GetCustomImage(nullptr, &image), E_POINTER);
  EXPECT_EQ(connect->GetCustomImage(inbox, &image), E_POINTER);  // not a ribbon control
  // Through the callback table, as Office calls it.
  EXPECT_EQ(Call(u"LoadPicture", {Variant::FromBstr(u"PNG/help_%DPI%.png")}).Type(), VarType::Dispatch);
}

}  // namespace
}  // namespace CV
