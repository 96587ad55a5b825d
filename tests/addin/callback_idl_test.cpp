// The IDL the type library is built from, held against the callback table:
// the methods of ICVMailArchiveOlCb in the same order with the same names,
// dispatch ids, parameters and help strings, and the library's identities.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "addin/addin_ids.h"
#include "addin/callback_table.h"
#include "foundation/utf.h"

namespace CV {
namespace {

struct IdlMethod {
  std::string name;
  long dispid;
  std::string help;
  std::vector<std::string> parameters;  // "[in] IDispatch* pControl"
};

std::string ReadIdl() {
  std::ifstream file(CV_IDL);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<IdlMethod> CallbackMethods(const std::string& idl) {
  const auto start = idl.find("interface ICVMailArchiveOlCb : IDispatch {");
  const auto end = idl.find("\n}", start);
  const std::string body = idl.substr(start, end - start);
  const std::regex method(R"re(\[id\((0x[0-9A-Fa-f]+)\), helpstring\("([^"]*)"\)\]\s*HRESULT (\w+)\(([^)]*)\);)re");
  std::vector<IdlMethod> methods;
  for (std::sregex_iterator it(body.begin(), body.end(), method), none; it != none; ++it) {
    IdlMethod m{(*it)[3], std::stol((*it)[1], nullptr, 16), (*it)[2], {}};
    const std::string list = (*it)[4];
    const std::regex parameter(R"(\[([^\]]+)\] ([\w*]+) (\w+))");
    for (std::sregex_iterator p(list.begin(), list.end(), parameter); p != none; ++p)
      m.parameters.push_back("[" + (*p)[1].str() + "] " + (*p)[2].str() + " " + (*p)[3].str());
    methods.push_back(std::move(m));
  }
  return methods;
}

TEST(CallbackIdl, MatchesTheCallbackTableMethodByMethod) {
  const std::string idl = ReadIdl();
  ASSERT_FALSE(idl.empty()) << CV_IDL;
  const std::vector<IdlMethod> methods = CallbackMethods(idl);
  const auto table = CallbackTable();
  ASSERT_EQ(methods.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(methods[i].name);
    EXPECT_EQ(methods[i].name, ToUtf8(table[i].name));
    EXPECT_EQ(methods[i].dispid, table[i].dispid);
    EXPECT_EQ(methods[i].help, ToUtf8(table[i].helpString));
    std::vector<std::string> expected;
    for (const CallbackParameter& p : table[i].parameters)
      expected.push_back("[" + ToUtf8(p.attributes) + "] " + ToUtf8(p.type) + " " + ToUtf8(p.name));
    EXPECT_EQ(methods[i].parameters, expected);
  }
}

TEST(CallbackIdl, CarriesTheAddinsIdentities) {
  const std::string idl = ReadIdl();
  const auto uuidBefore = [&](const std::string& what) {
    const std::regex pattern(R"(uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*)" + what);
    std::smatch match;
    return std::regex_search(idl, match, pattern) ? "{" + match[1].str() + "}" : std::string();
  };
  EXPECT_EQ(uuidBefore("interface ICVMailArchiveOlCb"), ToUtf8(AddinIds::ICVMailArchiveOlCb.ToRegistryForm()));
  EXPECT_EQ(uuidBefore("library CVMailArchiveOlLib"), ToUtf8(AddinIds::LibId.ToRegistryForm()));
  EXPECT_EQ(uuidBefore("coclass Connect"), ToUtf8(AddinIds::ClsidConnect.ToRegistryForm()));
  EXPECT_EQ(uuidBefore("interface _IDTExtensibility2"), ToUtf8(AddinIds::IDTExtensibility2.ToRegistryForm()));
  EXPECT_EQ(uuidBefore("interface IRibbonExtensibility"), ToUtf8(AddinIds::IRibbonExtensibility.ToRegistryForm()));
  EXPECT_NE(idl.find("helpstring(\"CVMailArchiveOl 1.0 Type Library\")"), std::string::npos);
  EXPECT_NE(idl.find("helpstring(\"Connect Class\")"), std::string::npos);
  EXPECT_NE(idl.find("helpstring(\"ICVMailArchiveOlCb Interface\")"), std::string::npos);
}

}  // namespace
}  // namespace CV
