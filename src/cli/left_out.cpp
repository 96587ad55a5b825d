#include "cli/left_out.h"

#include <set>

#include "outlook/excluded_folders.h"
#include "foundation/utf.h"

namespace CV::Cli {
namespace {

// Items of a folder that are no mails. The loader makes a mail folder's
// files into mails; only a folder of another kind holds other items there.
std::size_t NonMailItems(const Sim::SimFolder& folder) {
  if (folder.ItemType() != Outlook::olMailItem) return folder.ItemCount();
  std::size_t count = 0;
  for (const auto& item : folder.ItemList()) count += item->Kind() != Sim::ItemKind::Mail;
  return count;
}

class Walk {
 public:
  Walk(Session& session, LeftOut& out) : m_session(session), m_out(out) {
    std::vector<std::u16string> excluded;
    LoadExcludedFolders(excluded, Outlook::Application(session.Outlook().Application()), session.Settings());
    for (const auto& path : excluded) m_excluded.insert(CArchiveList::NormalizeFolderPath(path));
    std::vector<std::u16string> listed;
    session.Addin().ArchiveList().GetFolderPaths(listed, false);
    m_listed.insert(listed.begin(), listed.end());
  }

  void Tree(const std::shared_ptr<Sim::SimFolder>& folder) {
    if (!m_seen.insert(folder.get()).second) return;
    const std::u16string path = m_session.ListPath(*folder);
    if (m_excluded.count(path)) {
      if (folder->ItemType() == Outlook::olMailItem && !m_listed.count(path) && folder->ItemCount() > 0)
        m_out.excluded.push_back({Relative(path), folder->ItemCount()});
    } else {
      m_out.nonMail += NonMailItems(*folder);
    }
    for (const auto& child : folder->SubFolders()) Tree(child);  // a recursive add walks below an excluded folder
  }

  void One(const std::shared_ptr<Sim::SimFolder>& folder) {
    if (m_seen.insert(folder.get()).second) m_out.nonMail += NonMailItems(*folder);
  }

 private:
  std::string Relative(const std::u16string& path) const {
    const std::u16string store = m_session.Store()->DisplayName() + u"\\";
    return ToUtf8(path.starts_with(store) ? path.substr(store.size()) : path);
  }

  Session& m_session;
  LeftOut& m_out;
  std::set<std::u16string> m_excluded, m_listed;
  std::set<const Sim::SimFolder*> m_seen;
};

}  // namespace

LeftOut WhatWasLeftOut(Session& session, const std::vector<Action>& actions) {
  LeftOut out;
  Walk walk(session, out);
  if (actions.empty()) {
    walk.Tree(session.Store()->Root());
    return out;
  }
  std::size_t first = 0;
  for (std::size_t i = 0; i < actions.size(); ++i)
    if (actions[i].kind == Action::Reset) first = i + 1;
  for (std::size_t i = first; i < actions.size(); ++i) {
    if (actions[i].kind == Action::AddTree) walk.Tree(session.FolderAt(actions[i].argument));
    else if (actions[i].kind == Action::AddFolder) walk.One(session.FolderAt(actions[i].argument));
  }
  return out;
}

std::string FoldersWithMails(const std::vector<LeftOut::Folder>& folders) {
  std::string text;
  for (const auto& folder : folders) {
    if (!text.empty()) text += ", ";
    text += "„" + folder.path + "“ (" + std::to_string(folder.mails) + (folder.mails == 1 ? " E-Mail)" : " E-Mails)");
  }
  return text;
}

}  // namespace CV::Cli
