// The ribbon document as Office receives it: encoding, callbacks and every
// text the user reads. (Its schema is checked with xmllint by ctest.)
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "addin/callback_table.h"
#include "foundation/resources.h"
#include "foundation/utf.h"

namespace CV {
namespace {

std::u16string RibbonText() {
  const auto bytes = ModuleResources().Find(u"XML", u"100");
  if (!bytes) return {};
  std::u16string text(bytes->size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
  return text;
}

// id -> attribute -> value, for every element that has an id or idQ.
std::map<std::string, std::map<std::string, std::string>> Elements(const std::string& xml) {
  std::map<std::string, std::map<std::string, std::string>> elements;
  const std::regex tag(R"(<([A-Za-z:]+)((?:\s+[A-Za-z:]+="[^"]*")*)\s*/?>)");
  const std::regex attribute(R"(([A-Za-z:]+)="([^"]*)\")");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
    std::map<std::string, std::string> attributes;
    const std::string attrs = (*it)[2];
    for (auto a = std::sregex_iterator(attrs.begin(), attrs.end(), attribute); a != std::sregex_iterator(); ++a)
      attributes[(*a)[1]] = (*a)[2];
    attributes["<element>"] = (*it)[1];
    if (attributes.count("id")) elements[attributes["id"]] = attributes;
    else if (attributes.count("idQ")) elements[attributes["idQ"]] = attributes;
    else if (attributes.count("idMso")) elements[attributes["idMso"]] = attributes;
    else elements["<" + std::string((*it)[1]) + ">"] = attributes;
  }
  return elements;
}

TEST(RibbonDocument, Utf16LittleEndianWithByteOrderMark) {
  const auto bytes = ModuleResources().Find(u"xml", u"100");  // found ignoring case
  ASSERT_TRUE(bytes.has_value());
  ASSERT_GE(bytes->size(), 4u);
  EXPECT_EQ((*bytes)[0], 0xFF);
  EXPECT_EQ((*bytes)[1], 0xFE);
  EXPECT_EQ(bytes->size() % 2, 0u);
  const std::string xml = ToUtf8(RibbonText().substr(1));
  EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"utf-16\"?>"));
  EXPECT_NE(xml.find("Archivierungsprozeß"), std::string::npos);  // umlauts and ß survive the conversion
}

TEST(RibbonDocument, EveryImageKeepsItsDpiPlaceholder) {
  const std::string xml = ToUtf8(RibbonText());
  const std::regex image(R"(\simage="([^"]*)\")");
  int images = 0;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), image); it != std::sregex_iterator(); ++it, ++images)
    EXPECT_NE((*it)[1].str().find("%DPI%"), std::string::npos) << (*it)[1];
  EXPECT_EQ(images, 16);  // 7 ribbon, 2 backstage, 7 context-menu pictures
}

TEST(RibbonDocument, CallbacksMatchTheCallbackTable) {
  const std::string xml = ToUtf8(RibbonText());
  const std::regex callback(R"(\s(onAction|getEnabled|getVisible|getLabel|onLoad|loadImage)="([^"]*)\")");
  std::set<std::string> used;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), callback); it != std::sregex_iterator(); ++it) {
    used.insert((*it)[2]);
    EXPECT_NE(FindCallback(FromUtf8((*it)[2].str())), nullptr) << (*it)[2] << " is not in the callback table";
  }
  for (const CallbackEntry& entry : CallbackTable()) {
    if (entry.name == u"GetCustomImage") continue;  // served, but no element uses it
    EXPECT_TRUE(used.count(ToUtf8(entry.name))) << ToUtf8(entry.name) << " is used by no element";
  }
}

TEST(CallbackTable, DispatchIdsAndOrder) {
  const auto table = CallbackTable();
  ASSERT_EQ(table.size(), 21u);
  EXPECT_EQ(table.front().dispid, 0x2B);
  EXPECT_EQ(table[19].dispid, 0x3E);
  EXPECT_EQ(table.back().dispid, 0x41);
  std::set<std::int32_t> ids;
  for (std::size_t i = 0; i < table.size(); ++i) {
    ids.insert(table[i].dispid);
    if (i > 0) {
      EXPECT_GT(table[i].dispid, table[i - 1].dispid);
    }
    EXPECT_FALSE(table[i].helpString.empty());
    EXPECT_FALSE(table[i].parameters.empty());
  }
  EXPECT_EQ(ids.size(), table.size());
  EXPECT_EQ(ToUtf8(FindCallback(u"AddMails")->helpString), "Fügt die durch das Kontextobjekt bezeichneten Mails hinzu");
  EXPECT_EQ(ToUtf8(FindCallback(u"GetMailCount")->helpString), "Anzahl ausgewählter Mails ermitteln ");
}

TEST(RibbonDocument, TextsOfTheTables) {
  const auto elements = Elements(ToUtf8(RibbonText()));
  using Attributes = std::vector<std::pair<std::string, std::string>>;
  const std::pair<const char*, Attributes> expected[] = {
      {"<customUI>", {{"onLoad", "OnLoad"}, {"loadImage", "LoadPicture"},
          {"xmlns", "http://schemas.microsoft.com/office/2009/07/customui"}, {"xmlns:CVMA", "CVMailArchiveOl.Connect"}}},
      {"CorvaneTab", {{"label", "Corvane"}}}, {"MailarchivGroup", {{"label", "Mailarchiv"}}},
      {"CreateArchivCmd", {{"size", "large"}, {"onAction", "StartARCCreation"},
          {"getEnabled", "GetStartARCCreationEnabled"}, {"image", "PNG/createarcsafe_%DPI%.png"},
          {"label", "Archiv erstellen"}, {"screentip", "Archiv jetzt erstellen"},
          {"supertip", "Startet den Archivierungsprozeß und exportiert die ausgewählten E-Mails in einen Arcsafe."}}},
      {"sep0", {{"<element>", "separator"}}}, {"box2", {{"boxStyle", "vertical"}}},
      {"label1", {{"label", "E-Mails:"}, {"screentip", "Anzahl der ausgewählten E-Mails"}}},
      {"label2", {{"label", "Ordner:"}, {"screentip", "Anzahl der Ordner, aus denen die ausgewählten E-Mails stammen"}}},
      {"box4", {{"boxStyle", "vertical"}}}, {"MailCount", {{"getLabel", "GetMailCount"}}},
      {"FolderCount", {{"getLabel", "GetFolderCount"}}}, {"sep1", {{"<element>", "separator"}}},
      {"box3", {{"boxStyle", "vertical"}}},
      {"AddMailsCmd", {{"onAction", "AddMails"}, {"getEnabled", "GetAddMailsEnabled"},
          {"image", "PNG/addmails_%DPI%.png"}, {"label", "E-Mail(s) hinzufügen"},
          {"screentip", "Ausgewählte E-Mails zum Mailarchiv hinzufügen"},
          {"supertip", "Fügt alle markierten E-Mails der Archivierungsliste hinzu."}}},
      {"AddFolderCmd", {{"<element>", "splitButton"}}},
      {"AddFolderCmd__btn", {{"onAction", "AddFolder"}, {"getEnabled", "GetAddFolderEnabled"},
          {"image", "PNG/addmailfolder_%DPI%.png"}, {"label", "Ordner hinzufügen"},
          {"screentip", "Fügt den Ordner zum Mailarchiv hinzu"},
          {"supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."}}},
      {"AddFolderCmd__mnu", {{"screentip", "Fügt den Ordner zum Archiv hinzu"},
          {"supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."}}},
      {"AddFolderRekursivCmd", {{"onAction", "AddFolders"}, {"getEnabled", "GetAddFoldersEnabled"},
          {"image", "PNG/addmailfolders_%DPI%.png"}, {"label", "Ordner und Unterordner hinzufügen"},
          {"screentip", "Fügt den Ordner und seine Unterordner zum Mailarchiv hinzu"},
          {"supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."}}},
      {"AdjustMailSelectionCmd", {{"onAction", "RefineSelection"}, {"getEnabled", "GetRefineSelectionEnabled"},
          {"image", "PNG/refineselection_%DPI%.png"}, {"label", "Auswahl korrigieren"},
          {"screentip", "E-Mailauswahl anpassen"},
          {"supertip", "Einzelne E-Mails oder Ordner aus der Archivierungsliste entfernen."}}},
      {"sep2", {{"<element>", "separator"}}},
      {"ResetSelectionCmd", {{"size", "large"}, {"onAction", "ResetSelection"},
          {"getEnabled", "GetResetSelectionEnabled"}, {"image", "PNG/undoselection_%DPI%.png"},
          {"label", "Auswahl zurücksetzen"}, {"screentip", "Auswahl der E-Mails zurücksetzen"},
          {"supertip", "Entfernt alle E-Mails aus der Archivierungsliste."}}},
      {"sep3", {{"<element>", "separator"}}},
      {"help", {{"size", "normal"}, {"onAction", "OnHelp"}, {"tag", "CVHilfe.chm::/idE-Mail_Archiv.htm"},
          {"image", "png/help_%DPI%.png"}, {"screentip", "Hilfe öffnen"}, {"supertip", "Zeigt Hilfe an."}}},
      {"MailarchivGroup__btn", {{"onAction", "SelectIgnoredFolder"}, {"label", "Ausschlußordner festlegen"},
          {"screentip", "Festlegen der nicht zu berücksichtigen Ordner"},
          {"supertip", "Legt die Ordner fest, die bei rekursiven Einfügevorgängen übersprungen werden."}}},
      {"cv:TabCorvane", {{"label", "Corvane"}, {"firstColumnMinWidth", "280"}, {"firstColumnMaxWidth", "280"},
          {"insertBeforeMso", "TabHelp"}}},
      {"cv:CVTaskformgroup", {{"label", "Corvane Add-Ins"}, {"allowedTaskSizes", "medium"},
          {"helperText", "Einstellungen für die Corvane Outlook Add-Ins"}}},
      {"CVMailArchive", {{"label", "Corvane MailArchiv"}}},
      {"CVMailArchiveInfoTask", {{"image", "png/info_%DPI%.png"}, {"label", "Über"},
          {"description", "Info zu Corvane Mailarchiv"}}},
      {"CVMailArchiveInfo1", {{"showLabel", "0"}}}, {"imageInfo1", {{"image", "png/archiv_%DPI%.png"}}},
      {"CVMailArchiveInfo4", {{"label", "Info zu Corvane Mailarchiv"}}},
      {"labelInfo3", {{"getLabel", "GetVersionString"}}}, {"labelInfo4", {{"getLabel", "GetCopyrightString"}}},
      {"AddFolderRekursivMenuCmd", {{"insertAfterMso", "MoveThisFolder"}, {"onAction", "AddFolders"},
          {"getVisible", "GetAddFoldersEnabled"}, {"image", "PNG/addmailfolders_%DPI%.png"},
          {"label", "Unterordner dem Mailarchiv rekursiv hinzufügen"},
          {"screentip", "Fügt den Ordner und Unterordner zum Archiv hinzu."},
          {"supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."}}},
      {"AddFolderMenuCmd", {{"insertAfterMso", "MoveThisFolder"}, {"onAction", "AddFolder"},
          {"getVisible", "GetAddFolderEnabled"}, {"image", "PNG/addmailfolder_%DPI%.png"},
          {"label", "Ordner dem Mailarchiv hinzufügen"}, {"screentip", "Fügt den Ordner zum Archiv hinzu."},
          {"supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."}}},
      {"AddMailMenuCmd", {{"insertAfterMso", "MoveToFolderGallery"}, {"onAction", "AddMails"},
          {"getVisible", "GetAddMailsEnabled"}, {"image", "PNG/addmails_%DPI%.png"},
          {"label", "Mail dem Mailarchiv hinzufügen"}, {"screentip", "Fügt die E-Mail zum Archiv hinzu."},
          {"supertip", "Fügt die ausgewählte E-Mail der Archivierungsliste hinzu."}}},
      {"AddMailsMenuCmd", {{"insertAfterMso", "MoveToFolderGallery"}, {"onAction", "AddMails"},
          {"getVisible", "GetAddMailsEnabled"}, {"image", "PNG/addmails_%DPI%.png"},
          {"label", "Mails dem Mailarchiv hinzufügen"}, {"screentip", "Hinzufügen der ausgewählten E-Mails."},
          {"supertip", "Fügt alle ausgewählten Mails der Archivierungsliste hinzu."}}},
      {"AddMailsMenuGroupCmd", {{"onAction", "AddMails"}, {"getVisible", "GetAddMailsEnabled"},
          {"image", "PNG/addmails_%DPI%.png"}, {"label", "Mails dem Mailarchiv hinzufügen"},
          {"screentip", "Hinzufügen der ausgewählten Gruppe."},
          {"supertip", "Fügt die E-Mails der ausgewählten Gruppe der Archivierungsliste hinzu."}}},
      {"AddStoreMenuCmd", {{"onAction", "AddFolder"}, {"getVisible", "GetAddFolderEnabled"},
          {"image", "PNG/addmailfolder_%DPI%.png"}, {"label", "Ordner dem Mailarchiv hinzufügen"},
          {"screentip", "Fügt den Ordner zum Archiv hinzu."},
          {"supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."}}},
      {"AddStoreRekursivMenuCmd", {{"onAction", "AddFolders"}, {"getVisible", "GetAddFoldersEnabled"},
          {"image", "PNG/addmailfolders_%DPI%.png"}, {"label", "Unterordner dem Mailarchiv hinzufügen"},
          {"screentip", "Fügt den Ordner und Unterordner zum Archiv hinzu."},
          {"supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."}}},
  };
  for (const auto& [id, attributes] : expected) {
    const auto element = elements.find(id);
    ASSERT_NE(element, elements.end()) << id;
    for (const auto& [name, value] : attributes) {
      const auto found = element->second.find(name);
      ASSERT_NE(found, element->second.end()) << id << " " << name;
      EXPECT_EQ(found->second, value) << id << " " << name;
    }
  }
  // Context menus: the built-in menus that receive entries.
  for (const char* menu : {"ContextMenuFolder", "ContextMenuMailItem", "ContextMenuMultipleItems",
                           "ContextMenuGroupHeader", "ContextMenuStore"})
    EXPECT_TRUE(elements.count(menu)) << menu;
  EXPECT_FALSE(elements.at("help").count("label"));  // the help button has no label
  EXPECT_FALSE(elements.at("AddMailsMenuGroupCmd").count("insertAfterMso"));  // appended
}

}  // namespace
}  // namespace CV
