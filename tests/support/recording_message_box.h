// A message box that records every call and answers at once.
#pragma once

#include <string>
#include <vector>

#include "foundation/message_box.h"

namespace CV::Fake {

class RecordingMessageBox final : public IMessageBox {
 public:
  struct Call {
    WindowHandle owner;
    std::u16string text;
    std::u16string caption;
    std::uint32_t style;
  };

  int ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                  std::uint32_t style) override {
    calls.push_back({owner, std::u16string(text), std::u16string(caption), style});
    return answer;
  }

  std::vector<Call> calls;
  int answer = MessageResult::Ok;
};

}  // namespace CV::Fake
