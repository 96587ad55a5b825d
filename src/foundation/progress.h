// CV::Progress::IAbsProgress: where long work reports its progress.
#pragma once

#include <cstdint>
#include <string>

namespace CV::Progress {

class IAbsProgress {
 public:
  // Shows progress; false means the user cancelled and the work stops.
  virtual bool Progress(std::uint64_t position, std::uint64_t total, int percent) = 0;
  // Shows a line of text.
  virtual void SetText(const std::u16string& text) = 0;

 protected:
  ~IAbsProgress() = default;
};

}  // namespace CV::Progress
