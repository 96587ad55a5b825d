// System message texts on POSIX: the wording Windows gives for the HRESULTs
// the system meets, so that composed error texts read the same everywhere.
#include <array>
#include <utility>

#include "foundation/system_messages.h"

namespace CV {
namespace {

class PosixSystemMessages final : public ISystemMessages {
 public:
  std::optional<std::u16string> MessageForHResult(HRESULT hr) const override {
    static constexpr std::array<std::pair<std::uint32_t, std::u16string_view>, 20> kTexts{{
        {0x00000000u, u"The operation completed successfully."},
        {0x80004001u, u"Not implemented"},
        {0x80004002u, u"No such interface supported"},
        {0x80004003u, u"Invalid pointer"},
        {0x80004004u, u"Operation aborted"},
        {0x80004005u, u"Unspecified error"},
        {0x8000FFFFu, u"Catastrophic failure"},
        {0x80070002u, u"The system cannot find the file specified."},
        {0x80070003u, u"The system cannot find the path specified."},
        {0x80070005u, u"Access is denied."},
        {0x8007000Eu, u"Not enough memory resources are available to complete this operation."},
        {0x80070020u, u"The process cannot access the file because it is being used by another process."},
        {0x80070057u, u"The parameter is incorrect."},
        {0x8007001Du, u"The system cannot write to the specified device."},
        {0x8007001Eu, u"The system cannot read from the specified device."},
        {0x80070070u, u"There is not enough space on the disk."},
        {0x8007007Bu, u"The filename, directory name, or volume label syntax is incorrect."},
        {0x800700CEu, u"The filename or extension is too long."},
        {0x800700DFu, u"The file size exceeds the limit allowed and cannot be saved."},
        {0x80020006u, u"Unknown name."},
    }};
    for (const auto& [code, text] : kTexts)
      if (code == static_cast<std::uint32_t>(hr)) return std::u16string(text);
    return std::nullopt;
  }
};

}  // namespace

const ISystemMessages& DefaultSystemMessages() {
  static const PosixSystemMessages instance;
  return instance;
}

}  // namespace CV
