// What a run leaves out by rule, for the summary: the excluded folders a
// recursive add skipped and the items that are no mails.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/actions.h"
#include "cli/session.h"

namespace CV::Cli {

struct LeftOut {
  struct Folder {
    std::string path;  // relative to the store's root, as --add-folder takes it
    std::size_t mails = 0;
  };
  std::vector<Folder> excluded;  // skipped by a recursive add, and never added otherwise
  std::size_t nonMail = 0;       // appointments, contacts, ... in the folders the adds reached
};

// What the actions (none: the whole store as a tree) left out. Only the
// adds after the last reset count.
LeftOut WhatWasLeftOut(Session& session, const std::vector<Action>& actions);

// "„Papierkorb“ (3 E-Mails), „Spam“ (1 E-Mail)"
std::string FoldersWithMails(const std::vector<LeftOut::Folder>& folders);

}  // namespace CV::Cli
