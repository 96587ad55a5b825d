#include "cli/actions.h"

#include <fnmatch.h>

#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "foundation/utf.h"
#include "components/mail_select_control.h"

namespace CV::Cli {
namespace {

struct Split {
  std::string path, glob;
};

Split PathAndGlob(const std::string& argument) {
  const std::size_t colon = argument.rfind(':');
  if (colon == std::string::npos) throw Failure(Exit::Usage, "expected PATH:GLOB, got " + argument);
  return {argument.substr(0, colon), argument.substr(colon + 1)};
}

// The EntryIDs of the folder's mails whose file names match glob.
std::vector<std::u16string> Matching(const Sim::SimFolder& folder, const std::string& glob) {
  std::vector<std::u16string> ids;
  for (const auto& [id, name] : MailStore::MessagesOf(folder))
    if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) ids.push_back(id);
  return ids;
}

}  // namespace

void AddActionOptions(CLI::App& command) {
  command.add_option("--add-folder", "\"Ordner hinzufügen\" on PATH (a folder path as the archive list shows it, "
                                     "relative to the store's root, with \\ or /)")->take_all();
  command.add_option("--add-tree", "\"Ordner rekursiv hinzufügen\" on PATH, skipping the excluded folders")->take_all();
  command.add_option("--add-mails", "\"Mails hinzufügen\": PATH:GLOB selects the folder's mails whose file names match")
      ->take_all();
  command.add_option("--deselect", "\"Auswahl korrigieren\": PATH:GLOB unticks the matching mails of that folder")
      ->take_all();
  command.add_flag("--reset")->description("\"Auswahl zurücksetzen\"")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::vector<Action> ActionsInOrder(CLI::App& command) {
  const std::pair<const char*, Action::Kind> kinds[] = {{"--add-folder", Action::AddFolder}, {"--add-tree", Action::AddTree},
                                                       {"--add-mails", Action::AddMails},   {"--deselect", Action::Deselect},
                                                       {"--reset", Action::Reset}};
  std::map<const CLI::Option*, std::size_t> used;
  std::vector<Action> actions;
  for (const CLI::Option* option : command.parse_order()) {
    for (const auto& [name, kind] : kinds) {
      if (option != command.get_option_no_throw(name)) continue;
      const std::size_t i = used[option]++;
      actions.push_back({kind, kind == Action::Reset ? "" : option->results().at(i)});
    }
  }
  return actions;
}

bool RunActions(Session& session, const std::vector<Action>& actions, std::ostream& out) {
  for (const Action& action : actions) {
    if (Interrupted()) return false;
    switch (action.kind) {
      case Action::AddFolder:
        out << "Ordner hinzufügen: " << action.argument << "\n";
        session.Press(u"AddFolder", session.FolderAt(action.argument));
        break;
      case Action::AddTree:
        out << "Ordner rekursiv hinzufügen: " << action.argument << "\n";
        session.Press(u"AddFolders", session.FolderAt(action.argument));
        break;
      case Action::AddMails: {
        const Split split = PathAndGlob(action.argument);
        const auto folder = session.FolderAt(split.path);
        std::vector<std::shared_ptr<Sim::SimItem>> items;
        for (const auto& id : Matching(*folder, split.glob))
          if (auto item = folder->FindItem(id)) items.push_back(item);
        out << "Mails hinzufügen: " << items.size() << " in " << split.path << " ausgewählt\n";
        session.Explorer()->SetCurrentFolder(folder);
        session.Explorer()->Select(items);
        session.Press(u"AddMails", session.Explorer());
        break;
      }
      case Action::Deselect: {
        const Split split = PathAndGlob(action.argument);
        const auto folder = session.FolderAt(split.path);
        const std::u16string path = session.ListPath(*folder);
        const auto ids = Matching(*folder, split.glob);
        std::size_t unticked = 0;
        session.ScriptDialog([&](int, const ObjectPtr& control) {
          auto* select = dynamic_cast<Components::CMailSelectControl*>(control.get());
          if (!select) return DialogResult::Cancel;
          select->SelectFolder(path);
          for (const auto& id : ids) unticked += select->SetSelected(id, false);
          return DialogResult::Ok;
        });
        session.Press(u"RefineSelection", session.Explorer());
        out << "Auswahl korrigieren: " << unticked << " E-Mail(s) in " << split.path << " abgewählt\n";
        break;
      }
      case Action::Reset:
        out << "Auswahl zurücksetzen\n";
        session.Press(u"ResetSelection", session.Explorer());
        break;
    }
    out << "  " << session.Counters() << "\n";
  }
  return !Interrupted();
}

}  // namespace CV::Cli
