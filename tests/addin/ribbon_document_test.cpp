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
  struct Expect {
    const char* id;
    const char* attribute;
    const char* value;
  };
  const Expect expected[] = {
      {"<customUI>", "onLoad", "OnLoad"},
      {"<customUI>", "loadImage", "LoadPicture"},
      {"<customUI>", "xmlns", "http://schemas.microsoft.com/office/2009/07/customui"},
      {"<customUI>", "xmlns:CVMA", "CVMailArchiveOl.Connect"},
      {"CorvaneTab", "label", "Corvane"},
      {"MailarchivGroup", "label", "Mailarchiv"},
      {"CreateArchivCmd", "size", "large"},
      {"CreateArchivCmd", "onAction", "StartARCCreation"},
      {"CreateArchivCmd", "getEnabled", "GetStartARCCreationEnabled"},
      {"CreateArchivCmd", "image", "PNG/createarcsafe_%DPI%.png"},
      {"CreateArchivCmd", "label", "Archiv erstellen"},
      {"CreateArchivCmd", "screentip", "Archiv jetzt erstellen"},
      {"CreateArchivCmd", "supertip", "Startet den Archivierungsprozeß und exportiert die ausgewählten E-Mails in einen Arcsafe."},
      {"sep0", "<element>", "separator"},
      {"box2", "boxStyle", "vertical"},
      {"label1", "label", "E-Mails:"},
      {"label1", "screentip", "Anzahl der ausgewählten E-Mails"},
      {"label2", "label", "Ordner:"},
      {"label2", "screentip", "Anzahl der Ordner, aus denen die ausgewählten E-Mails stammen"},
      {"box4", "boxStyle", "vertical"},
      {"MailCount", "getLabel", "GetMailCount"},
      {"FolderCount", "getLabel", "GetFolderCount"},
      {"sep1", "<element>", "separator"},
      {"box3", "boxStyle", "vertical"},
      {"AddMailsCmd", "onAction", "AddMails"},
      {"AddMailsCmd", "getEnabled", "GetAddMailsEnabled"},
      {"AddMailsCmd", "image", "PNG/addmails_%DPI%.png"},
      {"AddMailsCmd", "label", "E-Mail(s) hinzufügen"},
      {"AddMailsCmd", "screentip", "Ausgewählte E-Mails zum Mailarchiv hinzufügen"},
      {"AddMailsCmd", "supertip", "Fügt alle markierten E-Mails der Archivierungsliste hinzu."},
      {"AddFolderCmd", "<element>", "splitButton"},
      {"AddFolderCmd__btn", "onAction", "AddFolder"},
      {"AddFolderCmd__btn", "getEnabled", "GetAddFolderEnabled"},
      {"AddFolderCmd__btn", "image", "PNG/addmailfolder_%DPI%.png"},
      {"AddFolderCmd__btn", "label", "Ordner hinzufügen"},
      {"AddFolderCmd__btn", "screentip", "Fügt den Ordner zum Mailarchiv hinzu"},
      {"AddFolderCmd__btn", "supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."},
      {"AddFolderCmd__mnu", "screentip", "Fügt den Ordner zum Archiv hinzu"},
      {"AddFolderCmd__mnu", "supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."},
      {"AddFolderRekursivCmd", "onAction", "AddFolders"},
      {"AddFolderRekursivCmd", "getEnabled", "GetAddFoldersEnabled"},
      {"AddFolderRekursivCmd", "image", "PNG/addmailfolders_%DPI%.png"},
      {"AddFolderRekursivCmd", "label", "Ordner und Unterordner hinzufügen"},
      {"AddFolderRekursivCmd", "screentip", "Fügt den Ordner und seine Unterordner zum Mailarchiv hinzu"},
      {"AddFolderRekursivCmd", "supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."},
      {"AdjustMailSelectionCmd", "onAction", "RefineSelection"},
      {"AdjustMailSelectionCmd", "getEnabled", "GetRefineSelectionEnabled"},
      {"AdjustMailSelectionCmd", "image", "PNG/refineselection_%DPI%.png"},
      {"AdjustMailSelectionCmd", "label", "Auswahl korrigieren"},
      {"AdjustMailSelectionCmd", "screentip", "E-Mailauswahl anpassen"},
      {"AdjustMailSelectionCmd", "supertip", "Einzelne E-Mails oder Ordner aus der Archivierungsliste entfernen."},
      {"sep2", "<element>", "separator"},
      {"ResetSelectionCmd", "size", "large"},
      {"ResetSelectionCmd", "onAction", "ResetSelection"},
      {"ResetSelectionCmd", "getEnabled", "GetResetSelectionEnabled"},
      {"ResetSelectionCmd", "image", "PNG/undoselection_%DPI%.png"},
      {"ResetSelectionCmd", "label", "Auswahl zurücksetzen"},
      {"ResetSelectionCmd", "screentip", "Auswahl der E-Mails zurücksetzen"},
      {"ResetSelectionCmd", "supertip", "Entfernt alle E-Mails aus der Archivierungsliste."},
      {"sep3", "<element>", "separator"},
      {"help", "size", "normal"},
      {"help", "onAction", "OnHelp"},
      {"help", "tag", "CVHilfe.chm::/idE-Mail_Archiv.htm"},
      {"help", "image", "png/help_%DPI%.png"},
      {"help", "screentip", "Hilfe öffnen"},
      {"help", "supertip", "Zeigt Hilfe an."},
      {"MailarchivGroup__btn", "onAction", "SelectIgnoredFolder"},
      {"MailarchivGroup__btn", "label", "Ausschlußordner festlegen"},
      {"MailarchivGroup__btn", "screentip", "Festlegen der nicht zu berücksichtigen Ordner"},
      {"MailarchivGroup__btn", "supertip", "Legt die Ordner fest, die bei rekursiven Einfügevorgängen übersprungen werden."},
      {"cv:TabCorvane", "label", "Corvane"},
      {"cv:TabCorvane", "firstColumnMinWidth", "280"},
      {"cv:TabCorvane", "firstColumnMaxWidth", "280"},
      {"cv:TabCorvane", "insertBeforeMso", "TabHelp"},
      {"cv:CVTaskformgroup", "label", "Corvane Add-Ins"},
      {"cv:CVTaskformgroup", "allowedTaskSizes", "medium"},
      {"cv:CVTaskformgroup", "helperText", "Einstellungen für die Corvane Outlook Add-Ins"},
      {"CVMailArchive", "label", "Corvane MailArchiv"},
      {"CVMailArchiveInfoTask", "image", "png/info_%DPI%.png"},
      {"CVMailArchiveInfoTask", "label", "Über"},
      {"CVMailArchiveInfoTask", "description", "Info zu Corvane Mailarchiv"},
      {"CVMailArchiveInfo1", "showLabel", "0"},
      {"imageInfo1", "image", "png/archiv_%DPI%.png"},
      {"CVMailArchiveInfo4", "label", "Info zu Corvane Mailarchiv"},
      {"labelInfo3", "getLabel", "GetVersionString"},
      {"labelInfo4", "getLabel", "GetCopyrightString"},
      {"AddFolderRekursivMenuCmd", "insertAfterMso", "MoveThisFolder"},
      {"AddFolderRekursivMenuCmd", "onAction", "AddFolders"},
      {"AddFolderRekursivMenuCmd", "getVisible", "GetAddFoldersEnabled"},
      {"AddFolderRekursivMenuCmd", "image", "PNG/addmailfolders_%DPI%.png"},
      {"AddFolderRekursivMenuCmd", "label", "Unterordner dem Mailarchiv rekursiv hinzufügen"},
      {"AddFolderRekursivMenuCmd", "screentip", "Fügt den Ordner und Unterordner zum Archiv hinzu."},
      {"AddFolderRekursivMenuCmd", "supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."},
      {"AddFolderMenuCmd", "insertAfterMso", "MoveThisFolder"},
      {"AddFolderMenuCmd", "onAction", "AddFolder"},
      {"AddFolderMenuCmd", "getVisible", "GetAddFolderEnabled"},
      {"AddFolderMenuCmd", "image", "PNG/addmailfolder_%DPI%.png"},
      {"AddFolderMenuCmd", "label", "Ordner dem Mailarchiv hinzufügen"},
      {"AddFolderMenuCmd", "screentip", "Fügt den Ordner zum Archiv hinzu."},
      {"AddFolderMenuCmd", "supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."},
      {"AddMailMenuCmd", "insertAfterMso", "MoveToFolderGallery"},
      {"AddMailMenuCmd", "onAction", "AddMails"},
      {"AddMailMenuCmd", "getVisible", "GetAddMailsEnabled"},
      {"AddMailMenuCmd", "image", "PNG/addmails_%DPI%.png"},
      {"AddMailMenuCmd", "label", "Mail dem Mailarchiv hinzufügen"},
      {"AddMailMenuCmd", "screentip", "Fügt die E-Mail zum Archiv hinzu."},
      {"AddMailMenuCmd", "supertip", "Fügt die ausgewählte E-Mail der Archivierungsliste hinzu."},
      {"AddMailsMenuCmd", "insertAfterMso", "MoveToFolderGallery"},
      {"AddMailsMenuCmd", "onAction", "AddMails"},
      {"AddMailsMenuCmd", "getVisible", "GetAddMailsEnabled"},
      {"AddMailsMenuCmd", "image", "PNG/addmails_%DPI%.png"},
      {"AddMailsMenuCmd", "label", "Mails dem Mailarchiv hinzufügen"},
      {"AddMailsMenuCmd", "screentip", "Hinzufügen der ausgewählten E-Mails."},
      {"AddMailsMenuCmd", "supertip", "Fügt alle ausgewählten Mails der Archivierungsliste hinzu."},
      {"AddMailsMenuGroupCmd", "onAction", "AddMails"},
      {"AddMailsMenuGroupCmd", "getVisible", "GetAddMailsEnabled"},
      {"AddMailsMenuGroupCmd", "image", "PNG/addmails_%DPI%.png"},
      {"AddMailsMenuGroupCmd", "label", "Mails dem Mailarchiv hinzufügen"},
      {"AddMailsMenuGroupCmd", "screentip", "Hinzufügen der ausgewählten Gruppe."},
      {"AddMailsMenuGroupCmd", "supertip", "Fügt die E-Mails der ausgewählten Gruppe der Archivierungsliste hinzu."},
      {"AddStoreMenuCmd", "onAction", "AddFolder"},
      {"AddStoreMenuCmd", "getVisible", "GetAddFolderEnabled"},
      {"AddStoreMenuCmd", "image", "PNG/addmailfolder_%DPI%.png"},
      {"AddStoreMenuCmd", "label", "Ordner dem Mailarchiv hinzufügen"},
      {"AddStoreMenuCmd", "screentip", "Fügt den Ordner zum Archiv hinzu."},
      {"AddStoreMenuCmd", "supertip", "Fügt alle E-Mails des Ordners der Archivierungsliste hinzu."},
      {"AddStoreRekursivMenuCmd", "onAction", "AddFolders"},
      {"AddStoreRekursivMenuCmd", "getVisible", "GetAddFoldersEnabled"},
      {"AddStoreRekursivMenuCmd", "image", "PNG/addmailfolders_%DPI%.png"},
      {"AddStoreRekursivMenuCmd", "label", "Unterordner dem Mailarchiv hinzufügen"},
      {"AddStoreRekursivMenuCmd", "screentip", "Fügt den Ordner und Unterordner zum Archiv hinzu."},
      {"AddStoreRekursivMenuCmd", "supertip", "Fügt alle E-Mails aus dem aktiven Ordner und seinen Unterordnern der Archivierungsliste hinzu."},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(std::string(e.id) + " " + e.attribute);
    const auto element = elements.find(e.id);
    ASSERT_NE(element, elements.end());
    const auto value = element->second.find(e.attribute);
    ASSERT_NE(value, element->second.end());
    EXPECT_EQ(value->second, e.value);
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
