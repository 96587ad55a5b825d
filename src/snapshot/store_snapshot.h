// A store of the simulated Outlook as one JSON document, and back: the
// folder tree (names, item types, which default folder each one is) and
// every item with its fields, bodies and attachments, unreadable items as
// the failure they give. The Windows test host and the demo play Outlook
// over a mail store on disk this way, since the store's loader needs
// Linux's MIME library: `cvmail snapshot` writes the document natively and
// the host loads it. Bytes travel as the code points U+0000 to U+00FF; text
// as UTF-8 (a lone surrogate in a name does not survive).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sim/outlook/sim_outlook.h"

namespace CV::Snapshot {

// Every item is read in full (its content loaded), so this takes as long
// as reading the whole store.
std::string Write(const Sim::SimStore& store);

// Adds the store the document describes; throws std::runtime_error for a
// document that is not one.
std::shared_ptr<Sim::SimStore> Load(Sim::SimOutlook& outlook, std::string_view document);

}  // namespace CV::Snapshot
