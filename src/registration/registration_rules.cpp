#include "registration/registration_rules.h"

#include <vector>

namespace CV::Win::Registry {
namespace {

// Registry names compare without case (ASCII is enough for ours).
bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The first failure is kept, the rest still tried, so that a partial
// result is as complete as it can be.
class Outcome {
 public:
  void Keep(Status status) {
    if (m_status == kDone && status != kDone) m_status = status;
  }
  void KeepDeletion(Status status) { Keep(status == kNotFound ? kDone : status); }
  Status Result() const { return m_status; }

 private:
  Status m_status = kDone;
};

// A key both views share stays while the other view registers a class of
// ours that uses it. Where Windows has one view, "the other" is the own
// one, whose classes are already gone when this is asked.
bool StillUsedByTheOtherView(const OwnedKey& key, IRegistry& registry, Hive hive) {
  if (key.usedBy.empty() || !SharedByBothViews(hive, key.key)) return false;
  for (const Guid& clsid : key.usedBy)
    if (registry.Exists(hive, View::Other, u"Classes\\CLSID\\" + clsid.ToRegistryForm() + u"\\InprocServer32"))
      return true;
  return false;
}

void Write(const Value& value, IRegistry& registry, Hive hive, std::u16string_view modulePath, Outcome& outcome) {
  switch (value.kind) {
    case Value::Kind::Key: outcome.Keep(registry.CreateKey(hive, value.key)); break;
    case Value::Kind::Dword: outcome.Keep(registry.SetDword(hive, value.key, value.name, value.number)); break;
    case Value::Kind::String:
      outcome.Keep(registry.SetString(hive, value.key, value.name,
                                      value.text == kModulePath ? modulePath : std::u16string_view(value.text)));
      break;
  }
}

}  // namespace

bool SharedByBothViews(Hive hive, std::u16string_view key) {
  const auto first = key.substr(0, key.find(u'\\'));
  if (SameName(first, u"Classes")) {
    if (first.size() == key.size()) return true;
    const std::u16string_view rest = key.substr(first.size() + 1);
    const std::u16string_view second = rest.substr(0, rest.find(u'\\'));
    for (std::u16string_view own : {u"CLSID", u"Interface", u"DirectShow", u"Media Type", u"MediaFoundation"})
      if (SameName(second, own)) return false;
    return true;  // ProgIDs, type libraries, file types
  }
  // Outside the classes a user's software is one key, the machine's one per view.
  return hive == Hive::User;
}

bool HeldByAnother(const OwnedKey& key, IRegistry& registry, Hive hive) {
  for (const OwnedKey::Proof& proof : key.proofs) {
    const std::optional<std::u16string> there = registry.ReadString(hive, View::Own, key.key + u"\\" + proof.subkey, u"");
    if (there && !SameName(*there, proof.text)) return true;
  }
  return false;
}

Status Apply(const Table& table, IRegistry& registry, Hive hive, std::u16string_view modulePath) {
  Outcome outcome;
  for (const OwnedKey& key : table.keys) {
    if (HeldByAnother(key, registry, hive) || (hive == Hive::User && HeldByAnother(key, registry, Hive::Machine)))
      continue;
    if (!StillUsedByTheOtherView(key, registry, hive)) outcome.KeepDeletion(registry.DeleteTree(hive, key.key));
    for (const Value& value : key.values) Write(value, registry, hive, modulePath, outcome);
  }
  return outcome.Result();
}

Status Remove(const Table& table, IRegistry& registry, Hive hive) {
  Outcome outcome;
  std::vector<const OwnedKey*> shared;
  for (const OwnedKey& key : table.keys) {
    if (HeldByAnother(key, registry, hive)) continue;
    if (SharedByBothViews(hive, key.key) && !key.usedBy.empty()) shared.push_back(&key);
    else outcome.KeepDeletion(registry.DeleteTree(hive, key.key));
  }
  // The keys Windows may share come after this view's own, so that a
  // Windows with one view finds none of ours left.
  for (const OwnedKey* key : shared)
    if (!StillUsedByTheOtherView(*key, registry, hive)) outcome.KeepDeletion(registry.DeleteTree(hive, key->key));
  return outcome.Result();
}

}  // namespace CV::Win::Registry
