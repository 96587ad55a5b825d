// The writer's message about an export's outcome. It is shown on a thread
// of its own, owned by no window: the job that ends the export, the
// teardown that releases the writer and Outlook's shutdown never wait for
// the user to read it. The thread pins the DLL, which therefore stays
// loaded for the rest of the process once a message was shown.
#pragma once

#include <string>

#include "components/container/export_outcome.h"

namespace CV::Win::Components {

// The window title of the message, for the user and for tests that look
// for it.
inline constexpr wchar_t kOutcomeTitle[] = L"Corvane Mail-Export";

// Shows the outcome's message and returns at once. A written container's
// message asks whether to open its folder and opens it on "Ja".
void ShowOutcomeSoon(const CV::Components::ExportOutcome& outcome);

}  // namespace CV::Win::Components
