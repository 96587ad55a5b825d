// The registration on a model of Windows' two registry views: both
// bitnesses side by side, either removed without harm to the other, and
// another installation's keys left alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/component_ids.h"
#include "foundation/utf.h"
#include "support/two_view_registry.h"
#include "contracts/vendor_ids.h"
#include "registration/registration_rules.h"

namespace CV::Win::Registry {
namespace {

using Test::TwoViewRegistry;

std::u16string ModulePath(Bitness bitness, const Table& table) {
  return std::u16string(bitness == Bitness::x64 ? u"C:\\Program Files\\Corvane\\" : u"C:\\Program Files (x86)\\Corvane\\") +
         table.dllName;
}

std::vector<Table> Tables(Bitness bitness) { return {ComponentsTable(bitness), AddinTable(bitness)}; }

Status Register(TwoViewRegistry& registry, Hive hive, Bitness bitness) {
  Status first = kDone;
  for (const Table& table : Tables(bitness)) {
    const Status status = Apply(table, registry.As(bitness), hive, ModulePath(bitness, table));
    if (first == kDone) first = status;
  }
  return first;
}

Status Unregister(TwoViewRegistry& registry, Hive hive, Bitness bitness) {
  Status first = kDone;
  for (const Table& table : Tables(bitness)) {
    const Status status = Remove(table, registry.As(bitness), hive);
    if (first == kDone) first = status;
  }
  return first;
}

// Every key of ours (in both views of the hive) with what it holds.
TwoViewRegistry::Keys Ours(const TwoViewRegistry& registry, Hive hive) {
  TwoViewRegistry::Keys out;
  for (Bitness bitness : {Bitness::x64, Bitness::x86})
    for (const Table& table : Tables(bitness))
      for (const OwnedKey& key : table.keys)
        for (Bitness view : {Bitness::x64, Bitness::x86}) out.merge(registry.Below(registry.Physical(hive, view, key.key)));
  return out;
}

// The keys that hold a value or lie above one: the empty parents a write
// made on the way are left out.
TwoViewRegistry::Keys Filled(const TwoViewRegistry::Keys& keys) {
  TwoViewRegistry::Keys out;
  for (const auto& [path, values] : keys) {
    if (values.empty()) continue;
    for (std::size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1))
      out.emplace(path.substr(0, at), keys.at(path.substr(0, at)));
    out.emplace(path, values);
  }
  return out;
}

// What COM finds for a ProgID in one view: the server of its class.
std::u16string ServerOf(IRegistry& view, Hive hive, std::u16string_view progId) {
  const auto clsid = view.ReadString(hive, View::Own, std::u16string(u"Classes\\") + std::u16string(progId) + u"\\CLSID", u"");
  if (!clsid) return u"(no class)";
  const auto server = view.ReadString(hive, View::Own, u"Classes\\CLSID\\" + *clsid + u"\\InprocServer32", u"");
  return server ? *server : u"(no server)";
}

std::u16string Folded(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return text;
}

const char* Name(Hive hive) { return hive == Hive::Machine ? "machine" : "user"; }
const char* Name(Bitness bitness) { return bitness == Bitness::x64 ? "64" : "32"; }

TEST(RegistrationRules, BothBitnessesSideBySideAndEitherRemovedLeavesTheOtherWhole) {
  for (Hive hive : {Hive::Machine, Hive::User})
    for (Bitness first : {Bitness::x64, Bitness::x86})
      for (Bitness removed : {Bitness::x64, Bitness::x86}) {
        const Bitness second = first == Bitness::x64 ? Bitness::x86 : Bitness::x64;
        const Bitness kept = removed == Bitness::x64 ? Bitness::x86 : Bitness::x64;
        SCOPED_TRACE(std::string(Name(hive)) + ", " + Name(first) + "-bit first, " + Name(removed) + "-bit removed");
        TwoViewRegistry alone;
        ASSERT_EQ(Register(alone, hive, kept), kDone);

        TwoViewRegistry registry;
        ASSERT_EQ(Register(registry, hive, first), kDone);
        ASSERT_EQ(Register(registry, hive, second), kDone);
        for (Bitness bitness : {Bitness::x64, Bitness::x86}) {
          IRegistry& view = registry.As(bitness);
          EXPECT_EQ(ServerOf(view, hive, u"CVMail.CVMailExport"), ModulePath(bitness, ComponentsTable()));
          EXPECT_EQ(ServerOf(view, hive, u"CVMailArchiveOl.Connect.1"), ModulePath(bitness, AddinTable()));
        }

        ASSERT_EQ(Unregister(registry, hive, removed), kDone);
        EXPECT_EQ(Ours(registry, hive), Ours(alone, hive));
        ASSERT_EQ(Unregister(registry, hive, kept), kDone);
        EXPECT_EQ(Ours(registry, hive), TwoViewRegistry::Keys{});
      }
}

TEST(RegistrationRules, AWindowsWithOneViewKeepsNothingOfOurs) {
  for (Hive hive : {Hive::Machine, Hive::User}) {
    SCOPED_TRACE(Name(hive));
    TwoViewRegistry registry(/*wow64=*/false);
    ASSERT_EQ(Register(registry, hive, Bitness::x86), kDone);
    EXPECT_EQ(ServerOf(registry.As(Bitness::x86), hive, u"CVMail.CVEMail"), ModulePath(Bitness::x86, ComponentsTable()));
    ASSERT_EQ(Unregister(registry, hive, Bitness::x86), kDone);
    EXPECT_EQ(Ours(registry, hive), TwoViewRegistry::Keys{});
  }
}

TEST(RegistrationRules, AnotherInstallationsKeysSurviveOurRegistrationAndRemoval) {
  const std::u16string vendorClass = u"{0A1B2C3D-0000-4000-8000-00000000CAFE}";
  const std::u16string exportInterface = u"Classes\\Interface\\" + Vendor::Iid::CVMailExport.ToRegistryForm();
  struct Case {
    const char* name;
    Hive seeded, registered;
    std::u16string key;
    std::vector<std::pair<std::u16string, std::u16string>> values;  // subkey (may be empty), default value
  };
  const std::vector<Case> cases{
      {"the vendor's ProgID", Hive::Machine, Hive::Machine, u"Classes\\CVMail.CVEMail",
       {{u"", u"CVEMail Class"}, {u"CLSID", vendorClass}, {u"CurVer", u"CVMail.CVEMail.1"}}},
      {"the vendor's versioned ProgID, names in other case", Hive::Machine, Hive::Machine, u"CLASSES\\cvmail.cvmailexport.1",
       {{u"CLSID", vendorClass}}},
      {"the vendor's ProgID for one user", Hive::User, Hive::User, u"Classes\\CVMail.CVMailSelect",
       {{u"CLSID", vendorClass}}},
      {"the vendor's interface with its type library", Hive::Machine, Hive::Machine, exportInterface,
       {{u"", u"ICVMailExport"}, {u"ProxyStubClsid32", u"{00020424-0000-0000-C000-000000000046}"},
        {u"TypeLib", u"{0A1B2C3D-0000-4000-8000-0000000011B0}"}}},
      {"the vendor's interface with its own proxy", Hive::User, Hive::User, exportInterface,
       {{u"ProxyStubClsid32", vendorClass}}},
  };
  for (const Case& each : cases)
    for (Bitness bitness : {Bitness::x64, Bitness::x86}) {
      SCOPED_TRACE(std::string(each.name) + ", " + Name(bitness) + "-bit");
      TwoViewRegistry registry;
      IRegistry& view = registry.As(bitness);
      for (const auto& [subkey, text] : each.values)
        ASSERT_EQ(view.SetString(each.seeded, subkey.empty() ? each.key : each.key + u"\\" + subkey, u"", text), kDone);
      const TwoViewRegistry::Keys before = registry.keys();
      const std::u16string theirs = registry.Physical(each.seeded, bitness, each.key);

      ASSERT_EQ(Register(registry, each.registered, bitness), kDone);
      EXPECT_EQ(registry.Below(theirs), [&] {
        TwoViewRegistry::Keys seeded;
        for (const auto& [path, values] : before)
          if (path == theirs || path.starts_with(theirs + u"\\")) seeded.emplace(path, values);
        return seeded;
      }());
      // The rest of ours is there.
      EXPECT_TRUE(view.Exists(each.registered, View::Own,
                              u"Classes\\CLSID\\" + ComponentIds::ClsidEMail.ToRegistryForm() + u"\\InprocServer32"));

      ASSERT_EQ(Unregister(registry, each.registered, bitness), kDone);
      EXPECT_EQ(Filled(registry.keys()), Filled(before));
    }
}

TEST(RegistrationRules, ForOneUserTheMachinesKeyOfAnotherIsNotHidden) {
  TwoViewRegistry registry;
  IRegistry& view = registry.As(Bitness::x64);
  const std::u16string vendorClass = u"{0A1B2C3D-0000-4000-8000-00000000CAFE}";
  ASSERT_EQ(view.SetString(Hive::Machine, u"Classes\\CVMail.CVMailExport\\CLSID", u"", vendorClass), kDone);
  ASSERT_EQ(Register(registry, Hive::User, Bitness::x64), kDone);
  EXPECT_FALSE(view.Exists(Hive::User, View::Own, u"Classes\\CVMail.CVMailExport"));
  EXPECT_TRUE(view.Exists(Hive::User, View::Own, u"Classes\\CVMail.CVEMail"));  // only the hidden one is left out
  ASSERT_EQ(Unregister(registry, Hive::User, Bitness::x64), kDone);
  EXPECT_EQ(Ours(registry, Hive::User), TwoViewRegistry::Keys{});
  EXPECT_EQ(view.ReadString(Hive::Machine, View::Own, u"Classes\\CVMail.CVMailExport\\CLSID", u""), vendorClass);
}

TEST(RegistrationRules, WhatAnOlderVersionOfOursLeftIsWrittenAnew) {
  for (Hive hive : {Hive::Machine, Hive::User}) {
    SCOPED_TRACE(Name(hive));
    TwoViewRegistry registry;
    IRegistry& view = registry.As(Bitness::x64);
    const std::u16string clsidKey = u"Classes\\CLSID\\" + ComponentIds::ClsidEMail.ToRegistryForm();
    ASSERT_EQ(view.SetString(hive, clsidKey + u"\\InprocServer32", u"", u"C:\\Alt\\CVMailComponents.dll"), kDone);
    ASSERT_EQ(view.SetString(hive, clsidKey + u"\\Obsolete", u"", u"1"), kDone);
    ASSERT_EQ(view.SetString(hive, u"Classes\\CVMail.CVEMail\\CLSID", u"",
                             Folded(ComponentIds::ClsidEMail.ToRegistryForm())), kDone);  // ours, in lower case
    ASSERT_EQ(view.SetString(hive, u"Classes\\CVMail.CVEMail\\Obsolete", u"", u"1"), kDone);
    ASSERT_EQ(Register(registry, hive, Bitness::x64), kDone);
    EXPECT_FALSE(view.Exists(hive, View::Own, clsidKey + u"\\Obsolete"));
    EXPECT_FALSE(view.Exists(hive, View::Own, u"Classes\\CVMail.CVEMail\\Obsolete"));
    EXPECT_EQ(ServerOf(view, hive, u"CVMail.CVEMail"), ModulePath(Bitness::x64, ComponentsTable()));
  }
}

TEST(RegistrationRules, TheFirstFailureIsReturnedAndTheRestStillDone) {
  constexpr Status kAccessDenied = 5;
  TwoViewRegistry registry;
  IRegistry& view = registry.As(Bitness::x64);
  registry.FailOn(u"cvmail.cvemail", kAccessDenied);
  EXPECT_EQ(Register(registry, Hive::Machine, Bitness::x64), kAccessDenied);
  EXPECT_EQ(ServerOf(view, Hive::Machine, u"CVMail.CVMailExport"), ModulePath(Bitness::x64, ComponentsTable()));
  EXPECT_EQ(ServerOf(view, Hive::Machine, u"CVMailArchiveOl.Connect"), ModulePath(Bitness::x64, AddinTable()));

  registry.FailOn(u"cvmail.cvmailexport", kAccessDenied);
  ASSERT_EQ(view.SetString(Hive::Machine, u"Classes\\CVMail.CVEMail\\CLSID", u"", ComponentIds::ClsidEMail.ToRegistryForm()),
            kDone);
  EXPECT_EQ(Unregister(registry, Hive::Machine, Bitness::x64), kAccessDenied);
  EXPECT_FALSE(view.Exists(Hive::Machine, View::Own, u"Classes\\CVMail.CVEMail"));
  EXPECT_FALSE(view.Exists(Hive::Machine, View::Own, u"Classes\\CLSID\\" + ComponentIds::ClsidMailExport.ToRegistryForm()));
  EXPECT_TRUE(view.Exists(Hive::Machine, View::Own, u"Classes\\CVMail.CVMailExport"));
}

// Our belief of which keys both views share is the model's, for every key we write.
TEST(RegistrationRules, TheKeysWeTakeForSharedAreTheOnesWindowsShares) {
  TwoViewRegistry registry;
  for (Hive hive : {Hive::Machine, Hive::User})
    for (const Table& table : Tables(Bitness::x64))
      for (const OwnedKey& key : table.keys) {
        SCOPED_TRACE(ToUtf8(key.key) + " " + Name(hive));
        EXPECT_EQ(SharedByBothViews(hive, key.key),
                  registry.Physical(hive, Bitness::x64, key.key) == registry.Physical(hive, Bitness::x86, key.key));
      }
}

}  // namespace
}  // namespace CV::Win::Registry
