#include "snapshot/store_snapshot.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

#include "foundation/com_error.h"
#include "foundation/utf.h"
#include "outlook/outlook_ids.h"

namespace CV::Snapshot {
namespace {

using nlohmann::json;

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }
std::u16string Text(const json& value) { return FromUtf8(value.get<std::string>()); }

// Each byte as the code point of its value, so that JSON carries any bytes.
std::string ByteText(std::string_view bytes) {
  std::u16string points(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) points[i] = static_cast<unsigned char>(bytes[i]);
  return ToUtf8(points);
}
std::string Bytes(const json& value) {
  const std::u16string points = Text(value);
  std::string bytes(points.size(), '\0');
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i] > 0xFF) throw std::runtime_error("snapshot: a byte string holds a character above U+00FF");
    bytes[i] = static_cast<char>(points[i]);
  }
  return bytes;
}

// The OlDefaultFolders type a folder is in its store, or -1.
int DefaultTypeOf(const Sim::SimStore& store, const Sim::SimFolder& folder) {
  for (int type = 0; type < 64; ++type)
    if (store.DefaultFolder(type).get() == &folder) return type;
  return -1;
}

json ItemJson(Sim::SimItem& item) {
  json out = {{"kind", static_cast<int>(item.Kind())}, {"entryId", Utf8(item.EntryId())}};
  try {
    item.Invoke(u"HTMLBody", InvokeKind::PropertyGet, {});  // loads the content
  } catch (const ComError& e) {
    out["fails"] = static_cast<std::int64_t>(static_cast<std::uint32_t>(e.Error()));
    return out;
  }
  out.update({{"subject", Utf8(item.subject)},
              {"senderEmailAddress", Utf8(item.senderEmailAddress)},
              {"to", Utf8(item.to)},
              {"cc", Utf8(item.cc)},
              {"bcc", Utf8(item.bcc)},
              {"senderName", Utf8(item.senderName)},
              {"sentOnBehalfOfName", Utf8(item.sentOnBehalfOfName)},
              {"receivedByName", Utf8(item.receivedByName)},
              {"bodyFormat", item.bodyFormat},
              {"htmlBody", Utf8(item.htmlBody)},
              {"body", Utf8(item.body)},
              {"importance", item.importance},
              {"securityFlags", item.securityFlags},
              {"size", item.size},
              {"receivedTime", item.receivedTime},
              {"sentOn", item.sentOn},
              {"creationTime", item.creationTime},
              {"sent", item.sent},
              {"submitted", item.submitted},
              {"savesAsUnicode", item.savesAsUnicode}});
  json attachments = json::array();
  for (const auto& a : item.attachments)
    attachments.push_back({{"fileName", Utf8(a->fileName)},
                           {"bytes", ByteText(a->bytes)},
                           {"type", a->type},
                           {"contentId", Utf8(a->contentId)},
                           {"flags", a->flags}});
  out["attachments"] = std::move(attachments);
  return out;
}

json FolderJson(const Sim::SimStore& store, const std::shared_ptr<Sim::SimFolder>& folder) {
  json items = json::array();
  for (const auto& item : folder->ItemList()) items.push_back(ItemJson(*item));
  if (const auto& source = folder->ItemSource())
    for (std::size_t i = 0; i < source->Count(); ++i) items.push_back(ItemJson(*source->Make(i, folder)));
  json folders = json::array();
  for (const auto& child : folder->SubFolders()) folders.push_back(FolderJson(store, child));
  return {{"name", Utf8(folder->Name())},
          {"itemType", folder->ItemType()},
          {"default", DefaultTypeOf(store, *folder)},
          {"items", std::move(items)},
          {"folders", std::move(folders)}};
}

void LoadItem(const std::shared_ptr<Sim::SimWorld>& world, const std::shared_ptr<Sim::SimFolder>& folder,
              const json& in) {
  const auto kind = static_cast<Sim::ItemKind>(in.at("kind").get<int>());
  auto item = std::make_shared<Sim::SimItem>(world, kind, Text(in.at("entryId")), in.contains("subject") ? Text(in["subject"]) : u"");
  item->Build(folder);
  if (in.contains("fails")) {
    item->FailEverything(static_cast<HRESULT>(in["fails"].get<std::uint32_t>()));
    folder->Adopt(item);
    return;
  }
  item->senderEmailAddress = Text(in.at("senderEmailAddress"));
  item->to = Text(in.at("to"));
  item->cc = Text(in.at("cc"));
  item->bcc = Text(in.at("bcc"));
  item->senderName = Text(in.at("senderName"));
  item->sentOnBehalfOfName = Text(in.at("sentOnBehalfOfName"));
  item->receivedByName = Text(in.at("receivedByName"));
  item->bodyFormat = in.at("bodyFormat").get<std::int32_t>();
  item->htmlBody = Text(in.at("htmlBody"));
  item->body = Text(in.at("body"));
  item->importance = in.at("importance").get<std::int32_t>();
  item->securityFlags = in.at("securityFlags").get<std::int32_t>();
  item->size = in.at("size").get<std::int32_t>();
  item->receivedTime = in.at("receivedTime").get<double>();
  item->sentOn = in.at("sentOn").get<double>();
  item->creationTime = in.at("creationTime").get<double>();
  item->sent = in.at("sent").get<bool>();
  item->submitted = in.at("submitted").get<bool>();
  item->savesAsUnicode = in.at("savesAsUnicode").get<bool>();
  for (const json& a : in.at("attachments")) {
    auto attachment = item->AddAttachment(Text(a.at("fileName")), Bytes(a.at("bytes")), a.at("type").get<std::int32_t>());
    attachment->contentId = Text(a.at("contentId"));
    attachment->flags = a.at("flags").get<std::int32_t>();
  }
  folder->Adopt(item);
}

void LoadFolder(Sim::SimStore& store, const std::shared_ptr<Sim::SimWorld>& world,
                const std::shared_ptr<Sim::SimFolder>& folder, const json& in) {
  for (const json& item : in.at("items")) LoadItem(world, folder, item);
  for (const json& child : in.at("folders")) {
    const int type = child.at("default").get<int>();
    std::shared_ptr<Sim::SimFolder> target = type >= 0 ? store.DefaultFolder(type) : nullptr;
    if (target && target->Store() && target->Store().get() == &store) {
      target->Rename(Text(child.at("name")));
      target->SetItemType(child.at("itemType").get<std::int32_t>());
    } else {
      target = folder->AddFolder(Text(child.at("name")), child.at("itemType").get<std::int32_t>());
    }
    LoadFolder(store, world, target, child);
  }
}

}  // namespace

std::string Write(const Sim::SimStore& store) {
  const json document = {{"format", "cv-store-snapshot"},
                         {"version", 1},
                         {"store", Utf8(store.DisplayName())},
                         {"root", FolderJson(store, store.Root())}};
  return document.dump(1);
}

std::shared_ptr<Sim::SimStore> Load(Sim::SimOutlook& outlook, std::string_view document) {
  json in;
  try {
    in = json::parse(document);
    if (in.at("format") != "cv-store-snapshot" || in.at("version") != 1)
      throw std::runtime_error("snapshot: not a store snapshot of version 1");
    auto store = outlook.AddStore(Text(in.at("store")));
    LoadFolder(*store, outlook.World(), store->Root(), in.at("root"));
    return store;
  } catch (const json::exception& e) {
    throw std::runtime_error(std::string("snapshot: ") + e.what());
  }
}

}  // namespace CV::Snapshot
