#include "components/container/manifest.h"

#include <istream>
#include <set>
#include <stdexcept>
#include <streambuf>
#include <string_view>

#include "contracts/mail_fields.h"

namespace CV::Components {
namespace {

using Json = nlohmann::json;

// A member's bytes as a stream buffer, so the parser pulls them as it goes.
class MemberBuffer final : public std::streambuf {
 public:
  explicit MemberBuffer(ZipReader::MemberStream& member) : m_member(member), m_buffer(256 * 1024) {}

 protected:
  int_type underflow() override {
    const std::size_t n = m_member.Read(m_buffer.data(), m_buffer.size());
    if (n == 0) return traits_type::eof();
    setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + n);
    return traits_type::to_int_type(m_buffer[0]);
  }

 private:
  ZipReader::MemberStream& m_member;
  std::vector<char> m_buffer;
};

// The format goes four levels deep: the manifest, its lists, their entries
// and a mail's list of what it lacked; one more is read to be named.
constexpr std::size_t kMaxDepth = 5;

class Reader final : public nlohmann::json_sax<Json> {
 public:
  using MailHandler = std::function<void(std::uint64_t, const ManifestMail&, const ManifestHead&)>;
  Reader(const MailHandler& mail, std::vector<std::string>& problems)
      : m_mail(mail), m_problems(problems) {}

  ManifestHead head;
  std::string error;

  bool null() override { return Value(nullptr); }
  bool boolean(bool v) override { return Value(v); }
  bool number_integer(number_integer_t v) override { return Value(v); }
  bool number_unsigned(number_unsigned_t v) override { return Value(v); }
  bool number_float(number_float_t v, const string_t&) override { return Value(v); }
  bool string(string_t& v) override { return Value(std::move(v)); }
  bool binary(binary_t&) override { return Value(nullptr); }

  bool start_object(std::size_t) override {
    Nested();
    if (!Open('{')) return false;
    if (m_stack.size() == 3 && TopKey() == "mails") m_current = ManifestMail{};
    return true;
  }
  bool end_object() override {
    if (m_stack.size() == 3 && TopKey() == "mails") {
      if (m_mail) m_mail(head.mails, m_current, head);
      ++head.mails;
    }
    m_stack.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    if (m_stack.size() == 3 && TopKey() == "mails" && m_stack.back().key == "missing") m_current.fields["missing"] = Json::array();
    else Nested();
    if (!Open('[')) return false;
    if (m_stack.size() == 3 && TopKey() == "properties") head.properties.emplace_back();
    return true;
  }
  bool end_array() override {
    if (m_stack.size() == 3 && TopKey() == "properties") {
      if (m_pairIndex != 2) Problem("property " + std::to_string(head.properties.size()) + " is not a name and a value");
      m_pairIndex = 0;
    }
    m_stack.pop_back();
    return true;
  }
  bool key(string_t& k) override {
    m_stack.back().key = k;
    if (m_stack.size() == 1 && !m_topKeys.insert(k).second) Problem("the manifest names \"" + k + "\" twice");
    if (m_stack.size() == 3 && TopKey() == "mails" && m_current.fields.count(k))
      Problem("mail " + std::to_string(head.mails + 1) + " names \"" + k + "\" twice");
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    error = "the manifest is no JSON (at byte " + std::to_string(position) + "): " + e.what();
    return false;
  }

 private:
  struct Level {
    char kind;
    std::string key;  // the current key of an object
  };

  // The field of the manifest object the parser is in.
  std::string TopKey() const { return m_stack.empty() ? std::string() : m_stack.front().key; }

  bool Open(char kind) {
    if (m_stack.size() >= kMaxDepth) {
      error = "the manifest is nested deeper than its format";
      return false;
    }
    if (m_stack.empty() && kind != '{') Problem("the manifest is not an object");
    if (m_stack.size() == 1) {
      const std::string& k = m_stack.back().key;
      if (k == "properties") head.hasProperties = kind == '[' || (Problem("\"properties\" is not a list"), false);
      else if (k == "mails") head.hasMails = kind == '[' || (Problem("\"mails\" is not a list"), false);
      else if (k == "viewer") head.hasViewer = kind == '{' || (Problem("\"viewer\" is not an object"), false);
      else Problem("\"" + k + "\" is not a field of the manifest");
    }
    if (m_stack.size() == 2 && TopKey() == "mails" && kind != '{')
      Problem("mail " + std::to_string(head.mails + 1) + " is not an object");
    if (m_stack.size() == 2 && TopKey() == "viewer") Problem("the viewer's \"" + m_stack.back().key + "\" is no text");
    if (m_stack.size() == 2 && TopKey() == "properties" && kind != '[')
      Problem("property " + std::to_string(head.properties.size() + 1) + " is not a name and a value");
    m_stack.push_back({kind, {}});
    return true;
  }

  bool Value(Json v) {
    if (m_stack.empty()) {
      Problem("the manifest is not an object");
      return true;
    }
    const std::size_t depth = m_stack.size();
    if (depth == 1) {
      const std::string& k = m_stack.back().key;
      if (k == "format") head.format = v.is_string() ? std::optional(v.get<std::string>()) : std::nullopt;
      else if (k == "version") head.version = Integer(v);
      else if (k == "announced") head.announced = Integer(v);
      else if (k == "received") head.received = Integer(v);
      else if (k == "properties" || k == "mails") Problem("\"" + k + "\" is not a list");
      else if (k == "viewer") Problem("\"viewer\" is not an object");
      else Problem("\"" + k + "\" is not a field of the manifest");
      if ((k == "format" && !head.format) || ((k == "version" || k == "announced" || k == "received") && !Integer(v)))
        Problem("\"" + k + "\" has the wrong type");
    } else if (depth == 2 && TopKey() == "viewer") {
      const std::string& k = m_stack.back().key;
      std::optional<std::string> text = v.is_string() ? std::optional(v.get<std::string>()) : std::nullopt;
      if (k == "member") head.viewerMember = std::move(text);
      else if (k == "sha256") head.viewerSha256 = std::move(text);
      else Problem("\"" + k + "\" is not a field of the viewer");
      if ((k == "member" || k == "sha256") && !v.is_string()) Problem("the viewer's \"" + k + "\" is no text");
    } else if (depth == 2 && TopKey() == "mails") {
      Problem("mail " + std::to_string(++head.mails) + " is not an object");
    } else if (depth == 2 && TopKey() == "properties") {
      Problem("property " + std::to_string(head.properties.size() + 1) + " is not a name and a value");
      head.properties.emplace_back();
    } else if (depth == 3 && TopKey() == "mails") {
      m_current.fields[m_stack.back().key] = std::move(v);
    } else if (depth == 4 && TopKey() == "mails" && m_stack[2].key == "missing") {
      // The texts of what a mail lacks; anything else makes the field wrong.
      Json& missing = m_current.fields["missing"];
      if (missing.is_array() && v.is_string()) missing.push_back(std::move(v));
      else missing = nullptr;
    } else if (depth == 3 && TopKey() == "properties") {
      auto& pair = head.properties.back();
      auto& slot = m_pairIndex == 0 ? pair.first : pair.second;
      if (m_pairIndex < 2) slot = v.is_string() ? std::optional(v.get<std::string>()) : std::nullopt;
      ++m_pairIndex;
    }
    return true;
  }

  // A list or object where a mail's field stands is kept as null (its type
  // is wrong), and so is one nested inside the list of what a mail lacks.
  void Nested() {
    if (m_stack.size() == 3 && TopKey() == "mails") m_current.fields[m_stack.back().key] = nullptr;
    else if (m_stack.size() == 4 && TopKey() == "mails" && m_stack[2].key == "missing")
      m_current.fields["missing"] = nullptr;
  }

  static std::optional<std::int64_t> Integer(const Json& v) {
    if (v.is_number_integer() && !(v.is_number_unsigned() && v.get<std::uint64_t>() > INT64_MAX))
      return v.get<std::int64_t>();
    return std::nullopt;
  }

  void Problem(std::string text) {
    if (m_problems.size() < 1000) m_problems.push_back(std::move(text));
  }

  const MailHandler& m_mail;
  std::vector<std::string>& m_problems;
  std::vector<Level> m_stack;
  std::set<std::string> m_topKeys;
  ManifestMail m_current;
  int m_pairIndex = 0;
};

bool IsHex64(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

bool IsMailMemberName(const std::string& name) {
  if (name.rfind("mails/", 0) != 0 || name.size() <= 6) return false;
  // What Windows forbids in a name cannot be extracted there; the writer
  // percent-encodes all of it.
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || std::string_view("\\:<>\"|?*").find(c) != std::string_view::npos)
      return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string segment = name.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return true;
}

std::optional<std::string> ManifestMail::Text(const std::string& name) const {
  const auto it = fields.find(name);
  if (it == fields.end() || !it->second.is_string()) return std::nullopt;
  return it->second.get<std::string>();
}

ManifestHead ReadManifest(ZipReader& zip, const ZipReader::Entry& manifest,
                          const std::function<void(std::uint64_t, const ManifestMail&, const ManifestHead&)>& mail,
                          std::vector<std::string>& problems) {
  if (manifest.size > kManifestLimit)
    throw ZipError("manifest.json is larger than " + std::to_string(kManifestLimit) + " bytes");
  const auto member = zip.Open(manifest);
  MemberBuffer buffer(*member);
  std::istream in(&buffer);
  Reader reader(mail, problems);
  const bool parsed = Json::sax_parse(in, &reader, nlohmann::json::input_format_t::json, true);
  if (!parsed) throw std::runtime_error(reader.error.empty() ? "the manifest cannot be read" : reader.error);
  ManifestHead& head = reader.head;
  if (!head.format) problems.push_back("the manifest has no \"format\"");
  else if (*head.format != "corvane-archive") problems.push_back("the manifest is not of format corvane-archive");
  if (!head.version) problems.push_back("the manifest has no \"version\"");
  else if (*head.version < 1 || *head.version > 3) problems.push_back("the manifest's version is not 1, 2 or 3");
  // Version 3 carries the viewer; the versions before it have none.
  if (head.version == 3 && !head.hasViewer) problems.push_back("the manifest has no \"viewer\"");
  if (head.version && *head.version < 3 && head.hasViewer)
    problems.push_back("\"viewer\" is not a field of a version " + std::to_string(*head.version) + " manifest");
  if (head.hasViewer && (!head.viewerMember || !head.viewerSha256))
    problems.push_back("the viewer lacks its \"member\" or \"sha256\"");
  if (!head.hasProperties) problems.push_back("the manifest has no \"properties\"");
  if (!head.announced) problems.push_back("the manifest has no \"announced\"");
  if (!head.received) problems.push_back("the manifest has no \"received\"");
  if (!head.hasMails) problems.push_back("the manifest has no \"mails\"");
  for (std::size_t i = 0; i < head.properties.size(); ++i)
    if (!head.properties[i].first || !head.properties[i].second)
      problems.push_back("property " + std::to_string(i + 1) + " lacks its name or value");
  return head;
}

void CheckManifestMail(std::uint64_t index, const ManifestMail& mail, std::optional<std::int64_t> version,
                       std::vector<std::string>& problems) {
  const std::string which = "mail " + std::to_string(index + 1);
  enum class Type { String, StringOrNull, Integer, Boolean };
  // The e-mail object's fields the manifest keeps, and what the writer adds.
  static const std::vector<std::pair<std::string, Type>> kFields = [] {
    std::vector<std::pair<std::string, Type>> fields{{"member", Type::String}};
    for (const Vendor::MailField& field : Vendor::kMailFields) {
      if (field.manifestKey.empty()) continue;
      const Type type = field.kind == Vendor::FieldKind::Int32  ? Type::Integer
                        : field.kind == Vendor::FieldKind::Date ? Type::StringOrNull
                                                                : Type::String;
      fields.emplace_back(std::string(field.manifestKey), type);
    }
    fields.insert(fields.end(), {{"headersOnly", Type::Boolean},
                                 {"sha256", Type::String},
                                 {"source", Type::StringOrNull},
                                 {"attachments", Type::Integer}});
    return fields;
  }();
  std::set<std::string> known;
  for (const auto& [name, type] : kFields) {
    known.insert(name);
    const auto it = mail.fields.find(name);
    // "source" came with version 2, "attachments" with 3; a mail of an
    // unknown version may have them or not.
    if (name == "source" && version < 2 && (version || it == mail.fields.end())) continue;
    if (name == "attachments" && version < 3 && (version || it == mail.fields.end())) continue;
    if (it == mail.fields.end()) {
      problems.push_back(which + " has no \"" + name + "\"");
      continue;
    }
    const nlohmann::json& v = it->second;
    const bool ok = type == Type::String         ? v.is_string()
                    : type == Type::StringOrNull ? v.is_string() || v.is_null()
                    : type == Type::Integer      ? v.is_number_integer()
                                                 : v.is_boolean();
    if (!ok) problems.push_back(which + ": \"" + name + "\" has the wrong type");
  }
  // What the mail lacks, when it was archived without all of its content.
  known.insert("missing");
  if (const auto it = mail.fields.find("missing"); it != mail.fields.end() && (!it->second.is_array() || it->second.empty()))
    problems.push_back(which + ": \"missing\" is no list of texts");
  for (const auto& [name, value] : mail.fields)
    if (!known.count(name) || (name == "source" && version == 1) || (name == "attachments" && version && version < 3))
      problems.push_back(which + ": \"" + name + "\" is not a field of a mail");
  if (const auto sha = mail.Text("sha256"); sha && !IsHex64(*sha))
    problems.push_back(which + ": \"sha256\" is no SHA-256 in hexadecimal");
  if (const auto member = mail.Text("member"); member && !IsMailMemberName(*member))
    problems.push_back(which + ": \"" + *member + "\" is no member name below mails/");
}

}  // namespace CV::Components
