// cvmail ribbon: every control of the add-in's ribbon, backstage page and
// context menus as Office renders them after the actions: label, enabled
// and visible, each asked of the add-in through its callbacks.
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/actions.h"
#include "cli/archive_command.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "foundation/com_error.h"
#include "foundation/utf.h"

namespace CV::Cli {
namespace {

struct Control {
  std::string id, kind, place, label;
  bool enabled = true, visible = true;
};

std::string Attribute(const std::string& tag, const std::string& name) {
  const std::regex pattern("\\s" + name + "=\"([^\"]*)\"");
  std::smatch match;
  return std::regex_search(tag, match, pattern) ? match[1].str() : "";
}

// The controls of the ribbon document, with the callbacks' answers.
std::vector<Control> Render(Session& session) {
  Bstr xml;
  session.Addin().GetCustomUI(u"Microsoft.Outlook.Explorer", &xml);
  std::string text = ToUtf8(xml.Text());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::vector<Control> controls;
  std::string place = "ribbon";
  const std::regex tag("<(/?)([A-Za-z]+)([^>]*)>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), tag); it != std::sregex_iterator(); ++it) {
    const std::string closing = (*it)[1], name = (*it)[2], attributes = (*it)[3];
    if (name == "backstage") place = closing.empty() ? "backstage" : "ribbon";
    if (name == "contextMenu") place = closing.empty() ? Attribute(attributes, "idMso") : "ribbon";
    if (!closing.empty() || (name != "button" && name != "labelControl" && name != "splitButton")) continue;
    Control control{Attribute(attributes, "id"), name, place, Attribute(attributes, "label")};
    if (control.id.empty()) continue;
    // The context Office hands over: the window, the selection, the folder or the store.
    ObjectPtr context = session.Explorer();
    if (place == "ContextMenuMailItem" || place == "ContextMenuMultipleItems" || place == "ContextMenuGroupHeader")
      context = session.Explorer()->SelectionObject();
    else if (place == "ContextMenuFolder") context = Outlook::Explorer(session.Explorer()).CurrentFolder().Object();
    else if (place == "ContextMenuStore") context = session.Store();
    const ObjectPtr ribbonControl = session.Outlook().NewRibbonControl(FromUtf8(control.id), context);
    const auto call = [&](const std::string& callback) {
      return session.Addin().Invoke(FromUtf8(callback), InvokeKind::Method, {Variant::FromObject(ribbonControl)});
    };
    try {
      if (const std::string getLabel = Attribute(attributes, "getLabel"); !getLabel.empty())
        control.label = ToUtf8(call(getLabel).AsText());
      if (const std::string getEnabled = Attribute(attributes, "getEnabled"); !getEnabled.empty())
        control.enabled = call(getEnabled).AsBool();
      if (const std::string getVisible = Attribute(attributes, "getVisible"); !getVisible.empty())
        control.visible = call(getVisible).AsBool();
    } catch (const ComError&) {
      control.enabled = control.visible = false;
    }
    controls.push_back(control);
  }
  return controls;
}

}  // namespace

void AddRibbon(CLI::App& app) {
  auto store = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand("ribbon", "Show the add-in's ribbon, backstage page and context menus after the actions");
  command->add_option("STORE", *store, "the mail store (a directory)")->required();
  command->add_flag("--json", *json, "print JSON");
  AddActionOptions(*command);
  command->callback([command, store, json] {
    SessionOptions options;
    options.store = *store;
    std::ostringstream log;
    Session session(options, *json ? log : std::cout);
    if (!RunActions(session, ActionsInOrder(*command), *json ? log : std::cout)) throw ExitStatus{Exit::Cancelled};
    const auto controls = Render(session);
    if (*json) {
      nlohmann::ordered_json out = {{"mailCount", ToUtf8(session.Addin().Invoke(u"GetMailCount", InvokeKind::Method, {Variant()}).AsText())},
                                    {"folderCount", ToUtf8(session.Addin().Invoke(u"GetFolderCount", InvokeKind::Method, {Variant()}).AsText())},
                                    {"controls", nlohmann::ordered_json::array()}};
      for (const Control& c : controls)
        out["controls"].push_back({{"id", c.id}, {"type", c.kind}, {"place", c.place}, {"label", c.label},
                                   {"enabled", c.enabled}, {"visible", c.visible}});
      std::cout << out.dump(2) << "\n";
      return;
    }
    std::cout << session.Counters() << "\n";
    for (const Control& c : controls)
      std::cout << (c.visible ? (c.enabled ? "  [x] " : "  [ ] ") : "  [-] ") << c.place << " / " << c.id
                << (c.label.empty() ? "" : ": \"" + c.label + "\"") << "\n";
    std::cout << "[x] enabled, [ ] disabled, [-] hidden\n";
  });
}

}  // namespace CV::Cli
