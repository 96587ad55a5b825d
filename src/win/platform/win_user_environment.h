// The user's name (GetUserNameExW) and the local date and time as the
// user's locale writes them (VarBstrFromDate).
#pragma once

#include "foundation/user_environment.h"

namespace CV::Win {

class WinUserEnvironment final : public IUserEnvironment {
 public:
  bool UserName(NameFormat format, std::u16string& name) override;
  bool LocalDateText(std::u16string& text) override;
};

}  // namespace CV::Win
