// The field list held against the IDL the components' type library is built
// from: ICVEMail's properties in the same order, each with a getter and a
// setter of the type its kind crosses COM as.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "contracts/email.h"
#include "contracts/mail_fields.h"
#include "foundation/utf.h"

namespace CV {
namespace {

struct IdlProperty {
  std::string name;
  std::string getType, putType;  // "BSTR", "VARIANT"; empty: none
};

std::vector<IdlProperty> EMailProperties() {
  std::ifstream file(CV_COMPONENTS_IDL);
  const std::string idl{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const auto start = idl.find("interface ICVEMail : IDispatch {");
  EXPECT_NE(start, std::string::npos) << CV_COMPONENTS_IDL;
  const std::string body = idl.substr(start, idl.find("\n  }", start) - start);
  const std::regex property(R"re(\[id\(\d+\), (propget|propput)\] HRESULT (\w+)\((?:\[out, retval\] (\w+)\*|\[in\] (\w+)) \w+\);)re");
  std::vector<IdlProperty> properties;
  for (std::sregex_iterator it(body.begin(), body.end(), property), none; it != none; ++it) {
    const std::string name = (*it)[2];
    if (properties.empty() || properties.back().name != name) properties.push_back({name, "", ""});
    ((*it)[1] == "propget" ? properties.back().getType : properties.back().putType) =
        (*it)[1] == "propget" ? (*it)[3].str() : (*it)[4].str();
  }
  return properties;
}

TEST(MailFields, TheIdlHasEachFieldInOrderWithTheTypeOfItsKind) {
  const std::vector<IdlProperty> idl = EMailProperties();
  ASSERT_EQ(idl.size(), std::size(Vendor::kMailFields));
  for (std::size_t i = 0; i < idl.size(); ++i) {
    const Vendor::MailField& field = Vendor::kMailFields[i];
    SCOPED_TRACE(ToUtf8(field.name));
    EXPECT_EQ(idl[i].name, ToUtf8(field.name));
    const bool text = field.kind == Vendor::FieldKind::Text || field.kind == Vendor::FieldKind::Bytes;
    EXPECT_EQ(idl[i].getType, text ? "BSTR" : "VARIANT");
    EXPECT_EQ(idl[i].putType, text ? "BSTR" : "VARIANT");
  }
}

TEST(MailFields, ManifestKeysAreDistinctAndNamesUnique) {
  std::vector<std::string_view> keys;
  std::vector<std::u16string_view> names;
  for (const Vendor::MailField& field : Vendor::kMailFields) {
    names.push_back(field.name);
    if (!field.manifestKey.empty()) keys.push_back(field.manifestKey);
  }
  std::sort(keys.begin(), keys.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  EXPECT_EQ(Vendor::NameOf(Vendor::Field::HtmlFileName), u"HtmlFileName");
  EXPECT_EQ(Vendor::ManifestKey(Vendor::Field::FolderPath), "folder");
}

}  // namespace
}  // namespace CV
