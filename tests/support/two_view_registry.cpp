#include "support/two_view_registry.h"

#include <array>

namespace CV::Test {
namespace {

using Win::Registry::Bitness;
using Win::Registry::Hive;
using Win::Registry::Status;
using Win::Registry::View;

std::u16string Folded(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

bool Within(std::u16string_view path, std::u16string_view key) {
  return path.size() >= key.size() && path.substr(0, key.size()) == key &&
         (path.size() == key.size() || path[key.size()] == u'\\');
}

// The table for Windows 7 and later, as far as it reaches our keys. A key
// behaves like its nearest listed ancestor; a key with none listed is
// shared. A redirected key's 32-bit copy lies where the third column says.
struct Row {
  std::u16string_view key;
  bool redirected;
  std::u16string_view copyOf32Bit;
};
constexpr std::array<Row, 16> kTable{{
    {u"hklm", false, u""},
    {u"hklm\\software", true, u"hklm\\software\\wow6432node"},
    {u"hklm\\software\\classes", false, u""},
    {u"hklm\\software\\classes\\appid", false, u""},
    {u"hklm\\software\\classes\\clsid", true, u"hklm\\software\\classes\\wow6432node\\clsid"},
    {u"hklm\\software\\classes\\directshow", true, u"hklm\\software\\classes\\wow6432node\\directshow"},
    {u"hklm\\software\\classes\\interface", true, u"hklm\\software\\classes\\wow6432node\\interface"},
    {u"hklm\\software\\classes\\media type", true, u"hklm\\software\\classes\\wow6432node\\media type"},
    {u"hklm\\software\\classes\\mediafoundation", true, u"hklm\\software\\classes\\wow6432node\\mediafoundation"},
    {u"hkcu", false, u""},
    {u"hkcu\\software\\classes", false, u""},
    {u"hkcu\\software\\classes\\clsid", true, u"hkcu\\software\\classes\\wow6432node\\clsid"},
    {u"hkcu\\software\\classes\\directshow", true, u"hkcu\\software\\classes\\wow6432node\\directshow"},
    {u"hkcu\\software\\classes\\interface", true, u"hkcu\\software\\classes\\wow6432node\\interface"},
    {u"hkcu\\software\\classes\\media type", true, u"hkcu\\software\\classes\\wow6432node\\media type"},
    {u"hkcu\\software\\classes\\mediafoundation", true, u"hkcu\\software\\classes\\wow6432node\\mediafoundation"},
}};

}  // namespace

std::u16string TwoViewRegistry::Physical(Hive hive, Bitness bitness, std::u16string_view key) const {
  const std::u16string path = Folded(std::u16string(hive == Hive::Machine ? u"HKLM" : u"HKCU") + u"\\Software\\" +
                                     std::u16string(key));
  if (!m_wow64 || bitness == Bitness::x64) return path;
  const Row* nearest = nullptr;
  for (const Row& row : kTable)
    if (Within(path, row.key) && (!nearest || row.key.size() > nearest->key.size())) nearest = &row;
  if (!nearest || !nearest->redirected) return path;
  return std::u16string(nearest->copyOf32Bit) + path.substr(nearest->key.size());
}

TwoViewRegistry::Keys TwoViewRegistry::Below(std::u16string_view physical) const {
  Keys out;
  const std::u16string folded = Folded(physical);
  for (const auto& [path, values] : m_keys)
    if (Within(path, folded)) out.emplace(path, values);
  return out;
}

Bitness TwoViewRegistry::Process::Seen(View view) const {
  if (view == View::Own) return m_bitness;
  return m_bitness == Bitness::x64 ? Bitness::x86 : Bitness::x64;
}

std::optional<std::u16string> TwoViewRegistry::Process::ReadString(Hive hive, View view, std::u16string_view key,
                                                                   std::u16string_view name) {
  const auto found = m_registry.m_keys.find(m_registry.Physical(hive, Seen(view), key));
  if (found == m_registry.m_keys.end()) return std::nullopt;
  const auto value = found->second.find(Folded(name));
  if (value == found->second.end() || value->second.dword) return std::nullopt;
  return value->second.text;
}

bool TwoViewRegistry::Process::Exists(Hive hive, View view, std::u16string_view key) {
  return m_registry.m_keys.count(m_registry.Physical(hive, Seen(view), key)) != 0;
}

Status TwoViewRegistry::Process::Set(Hive hive, std::u16string_view key, std::u16string_view name, const Data* data) {
  const std::u16string physical = m_registry.Physical(hive, m_bitness, key);
  if (m_registry.Fails(physical)) return m_registry.m_failure;
  // A key's parents come with it.
  for (std::size_t at = physical.find(u'\\'); at != std::u16string::npos; at = physical.find(u'\\', at + 1))
    m_registry.m_keys[physical.substr(0, at)];
  auto& values = m_registry.m_keys[physical];
  if (data) values[Folded(name)] = *data;
  return Win::Registry::kDone;
}

Status TwoViewRegistry::Process::CreateKey(Hive hive, std::u16string_view key) { return Set(hive, key, {}, nullptr); }

Status TwoViewRegistry::Process::SetString(Hive hive, std::u16string_view key, std::u16string_view name,
                                           std::u16string_view text) {
  const Data data{false, std::u16string(text), 0};
  return Set(hive, key, name, &data);
}

Status TwoViewRegistry::Process::SetDword(Hive hive, std::u16string_view key, std::u16string_view name,
                                          std::uint32_t number) {
  const Data data{true, {}, number};
  return Set(hive, key, name, &data);
}

Status TwoViewRegistry::Process::DeleteTree(Hive hive, std::u16string_view key) {
  const std::u16string physical = m_registry.Physical(hive, m_bitness, key);
  if (m_registry.Fails(physical)) return m_registry.m_failure;
  if (!m_registry.m_keys.count(physical)) return Win::Registry::kNotFound;
  std::erase_if(m_registry.m_keys, [&](const auto& entry) { return Within(entry.first, physical); });
  return Win::Registry::kDone;
}

}  // namespace CV::Test
