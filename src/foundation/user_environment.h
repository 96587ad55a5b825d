// Port: who the user is and how the user's locale writes the time.
#pragma once

#include <string>

namespace CV {

class IUserEnvironment {
 public:
  enum class NameFormat { Display, SamCompatible };
  virtual ~IUserEnvironment() = default;
  // GetUserNameExW: the current user's name in that format; false when it
  // cannot be had (or does not fit 100 characters with its terminator).
  virtual bool UserName(NameFormat format, std::u16string& name) = 0;
  // The current local date and time as the user's locale writes it
  // (VarBstrFromDate with the user's default locale); false on failure.
  virtual bool LocalDateText(std::u16string& text) = 0;
};

}  // namespace CV
