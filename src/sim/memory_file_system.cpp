#include "sim/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "foundation/hresult.h"
#include "foundation/utf.h"

namespace CV::FS {
namespace {

constexpr std::size_t kNameUnits = 255;  // Windows
constexpr std::size_t kNameBytes = 255;  // POSIX
constexpr std::size_t kPathUnits = 259;  // MAX_PATH without its NUL
constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

// Names are compared as Windows compares them: upper case for lower, in the
// scripts mail names are written in.
char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0xE0) return c;
  if (c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Latin Extended-A pairs: even upper, odd lower, but shifted by one
    // between U+0139 and U+0148 and from U+0179.
    const bool shifted = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    if ((c % 2 == 1) != shifted) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);  // Greek
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);              // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Folded(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = Fold(c);
  return out;
}

struct Node;
using NodePtr = std::shared_ptr<Node>;

struct Range {
  const void* owner;
  std::uint64_t offset, length;
};

struct Node {
  bool directory = false;
  std::u16string name;
  std::uint32_t attributes = 0;  // ReadOnly and Hidden only
  std::vector<std::uint8_t> bytes;
  std::map<std::u16string, NodePtr> children;  // by folded name
  int readers = 0, exclusiveReaders = 0, writers = 0;
  std::vector<Range> locks;

  bool Locked(const void* by, std::uint64_t offset, std::uint64_t length) const {
    return std::any_of(locks.begin(), locks.end(), [&](const Range& r) {
      return r.owner != by && offset < r.offset + r.length && r.offset < offset + length;
    });
  }
  std::uint32_t Attributes() const {
    return attributes | (directory ? Attribute::Directory : Attribute::Archive);
  }
};

// A path taken apart: whether it lies in the tree, and its names below the top.
struct Place {
  bool inside = false;
  std::int32_t error = 0;  // for a path inside that no file could have
  std::vector<std::u16string> names;
};

bool ForbiddenName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return true;
  return std::any_of(name.begin(), name.end(), [](char16_t c) {
    return c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
           c == u'>' || c == u'|';
  });
}

// Whether a new entry may bear this name.
std::int32_t CheckNewName(std::u16string_view name) {
  if (ForbiddenName(name)) return Win32Error::InvalidName;
  if (name.size() > kNameUnits || Utf8Length(name) > kNameBytes) return Win32Error::FilenameExcedRange;
  return Win32Error::Success;
}

}  // namespace

struct MemoryFileSystem::Tree {
  std::mutex mutex;
  std::u16string root;        // without prefix and final backslash
  std::u16string foldedRoot;  // the same, folded
  NodePtr top = std::make_shared<Node>();

  Place Locate(std::u16string_view path) const {
    Place place;
    const bool prefixed = path.starts_with(kLongPrefix);
    std::u16string p(prefixed ? path.substr(kLongPrefix.size()) : path);
    if (!prefixed) std::replace(p.begin(), p.end(), u'/', u'\\');
    const std::u16string folded = Folded(p);
    if (!folded.starts_with(foldedRoot) || (folded.size() > foldedRoot.size() && folded[foldedRoot.size()] != u'\\'))
      return place;
    place.inside = true;
    if (!prefixed && path.size() > kPathUnits) place.error = Win32Error::FilenameExcedRange;
    std::size_t start = foldedRoot.size() + 1;
    while (start < p.size()) {
      std::size_t end = p.find(u'\\', start);
      if (end == std::u16string::npos) end = p.size();
      place.names.push_back(p.substr(start, end - start));
      start = end + 1;
    }
    for (const std::u16string& name : place.names)
      if (ForbiddenName(name) && place.error == 0) place.error = Win32Error::InvalidName;
    return place;
  }

  // The directory that holds the place's last name; null with the error
  // Windows gives when a directory on the way is missing.
  Node* Parent(const Place& place, std::int32_t& error) const {
    error = place.error;
    if (error != 0) return nullptr;
    Node* node = top.get();
    for (std::size_t i = 0; i + 1 < place.names.size(); ++i) {
      const auto it = node->children.find(Folded(place.names[i]));
      if (it == node->children.end() || !it->second->directory) {
        error = Win32Error::PathNotFound;
        return nullptr;
      }
      node = it->second.get();
    }
    return node;
  }

  NodePtr Find(const Place& place, std::int32_t& error) const {
    if (place.names.empty()) {
      error = place.error;
      return error == 0 ? top : nullptr;
    }
    Node* parent = Parent(place, error);
    if (!parent) return nullptr;
    const auto it = parent->children.find(Folded(place.names.back()));
    if (it == parent->children.end()) {
      error = Win32Error::FileNotFound;
      return nullptr;
    }
    return it->second;
  }

  // Replaces or creates a file's bytes, as a writer without sharing does.
  std::int32_t Write(const Place& place, std::span<const std::uint8_t> bytes, bool failIfExists) {
    std::int32_t error = 0;
    Node* parent = Parent(place, error);
    if (!parent) return error;
    if (place.names.empty()) return Win32Error::AccessDenied;
    const std::u16string key = Folded(place.names.back());
    const auto it = parent->children.find(key);
    if (it != parent->children.end()) {
      Node& node = *it->second;
      if (failIfExists) return Win32Error::FileExists;
      if (node.directory || (node.attributes & Attribute::ReadOnly)) return Win32Error::AccessDenied;
      if (node.readers > 0 || node.writers > 0) return Win32Error::SharingViolation;
      node.bytes.assign(bytes.begin(), bytes.end());
      return Win32Error::Success;
    }
    if (const std::int32_t bad = CheckNewName(place.names.back()); bad != 0) return bad;
    auto node = std::make_shared<Node>();
    node->name = place.names.back();
    node->bytes.assign(bytes.begin(), bytes.end());
    parent->children.emplace(key, std::move(node));
    return Win32Error::Success;
  }

  // Takes the place's entry out of the tree; its open handles keep it.
  NodePtr Detach(const Place& place) {
    std::int32_t error = 0;
    Node* parent = Parent(place, error);
    if (!parent || place.names.empty()) return nullptr;
    const auto it = parent->children.find(Folded(place.names.back()));
    if (it == parent->children.end()) return nullptr;
    NodePtr node = it->second;
    parent->children.erase(it);
    return node;
  }
};

namespace {

using Tree = MemoryFileSystem::Tree;

class MemoryReadable final : public IReadableFile {
 public:
  MemoryReadable(std::shared_ptr<Tree> tree, NodePtr node, bool exclusive)
      : m_tree(std::move(tree)), m_node(std::move(node)), m_exclusive(exclusive) {}
  ~MemoryReadable() override {
    const std::lock_guard lock(m_tree->mutex);
    --m_node->readers;
    if (m_exclusive) --m_node->exclusiveReaders;
  }
  std::uint64_t Size() const override {
    const std::lock_guard lock(m_tree->mutex);
    return m_node->bytes.size();
  }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    const std::lock_guard lock(m_tree->mutex);
    read = 0;
    const std::vector<std::uint8_t>& bytes = m_node->bytes;
    if (m_position >= bytes.size()) return Win32Error::Success;
    const std::size_t n = std::min<std::size_t>(buffer.size(), bytes.size() - m_position);
    if (m_node->Locked(nullptr, m_position, n)) return Win32Error::LockViolation;
    std::memcpy(buffer.data(), bytes.data() + m_position, n);
    m_position += n;
    read = n;
    return Win32Error::Success;
  }

 private:
  std::shared_ptr<Tree> m_tree;
  NodePtr m_node;
  bool m_exclusive;
  std::size_t m_position = 0;
};

class MemoryWritable final : public IWritableFile {
 public:
  MemoryWritable(std::shared_ptr<Tree> tree, NodePtr node) : m_tree(std::move(tree)), m_node(std::move(node)) {}
  ~MemoryWritable() override { Close(); }

  std::int32_t WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    const std::lock_guard lock(m_tree->mutex);
    if (m_closed) return Win32Error::InvalidHandle;
    std::vector<std::uint8_t>& data = m_node->bytes;
    if (offset + bytes.size() > data.size()) data.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
    return Win32Error::Success;
  }
  std::int32_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer, std::size_t& read) override {
    const std::lock_guard lock(m_tree->mutex);
    read = 0;
    if (m_closed) return Win32Error::InvalidHandle;
    const std::vector<std::uint8_t>& data = m_node->bytes;
    if (offset >= data.size()) return Win32Error::Success;
    read = std::min<std::size_t>(buffer.size(), data.size() - offset);
    std::memcpy(buffer.data(), data.data() + offset, read);
    return Win32Error::Success;
  }
  std::int32_t Resize(std::uint64_t size) override {
    const std::lock_guard lock(m_tree->mutex);
    if (m_closed) return Win32Error::InvalidHandle;
    m_node->bytes.resize(size);
    return Win32Error::Success;
  }
  std::int32_t LockRange(std::uint64_t offset, std::uint64_t length) override {
    const std::lock_guard lock(m_tree->mutex);
    if (m_closed) return Win32Error::InvalidHandle;
    if (m_node->Locked(this, offset, length)) return Win32Error::LockViolation;
    m_node->locks.push_back({this, offset, length});
    return Win32Error::Success;
  }
  std::int32_t Flush() override { return m_closed ? Win32Error::InvalidHandle : Win32Error::Success; }
  std::int32_t Close() override {
    const std::lock_guard lock(m_tree->mutex);
    if (m_closed) return Win32Error::InvalidHandle;
    m_closed = true;
    --m_node->writers;
    std::erase_if(m_node->locks, [this](const Range& r) { return r.owner == this; });
    return Win32Error::Success;
  }

 private:
  std::shared_ptr<Tree> m_tree;
  NodePtr m_node;
  bool m_closed = false;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem(IFileSystem& other, std::u16string root)
    : FileSystemWrapper(other), m_tree(std::make_shared<Tree>()) {
  if (root.starts_with(kLongPrefix)) root.erase(0, kLongPrefix.size());
  while (root.size() > 3 && root.back() == u'\\') root.pop_back();
  m_tree->root = root;
  m_tree->foldedRoot = Folded(root);
  m_tree->top->directory = true;
}

MemoryFileSystem::~MemoryFileSystem() = default;

NameLimits MemoryFileSystem::Limits() { return {kNameBytes, kNameUnits, kPathUnits}; }

std::uint32_t MemoryFileSystem::LongPathName(std::u16string_view path, std::span<char16_t> buffer,
                                             std::int32_t& error) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().LongPathName(path, buffer, error);
  {
    const std::lock_guard lock(m_tree->mutex);
    if (!m_tree->Find(place, error)) return 0;
  }
  return AnswerLongPath(path, buffer, error);
}

std::int32_t MemoryFileSystem::TempPath(std::u16string& out) {
  out = m_tree->root + u"\\";
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::FindFirst(std::u16string_view pattern, FindData& first,
                                         std::unique_ptr<IDirectorySearch>& search) {
  if (!pattern.ends_with(u"*")) return target().FindFirst(pattern, first, search);
  std::u16string_view directory = pattern.substr(0, pattern.size() - 1);
  while (directory.size() > 1 && directory.back() == u'\\') directory.remove_suffix(1);
  const Place place = m_tree->Locate(directory);
  if (!place.inside) return target().FindFirst(pattern, first, search);
  std::vector<FindData> entries{{Attribute::Directory, u".", 0}, {Attribute::Directory, u"..", 0}};
  {
    const std::lock_guard lock(m_tree->mutex);
    std::int32_t error = 0;
    const NodePtr node = m_tree->Find(place, error);
    if (!node || !node->directory) return error == Win32Error::FileNotFound || node ? Win32Error::PathNotFound : error;
    for (const auto& [key, child] : node->children)
      entries.push_back({child->Attributes(), child->name, child->bytes.size()});
  }
  first = entries.front();
  entries.erase(entries.begin());
  search = std::make_unique<ListedSearch>(std::move(entries));
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::RemoveFile(std::u16string_view path) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().RemoveFile(path);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  if (node->directory || node == m_tree->top || (node->attributes & Attribute::ReadOnly))
    return Win32Error::AccessDenied;
  if (node->readers > 0) return Win32Error::SharingViolation;  // readers do not share deletion
  m_tree->Detach(place);
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::ReadAttributes(std::u16string_view path, std::uint32_t& attributes) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().ReadAttributes(path, attributes);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  attributes = node->Attributes();
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::WriteAttributes(std::u16string_view path, std::uint32_t attributes) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().WriteAttributes(path, attributes);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  node->attributes = attributes & (Attribute::ReadOnly | Attribute::Hidden);
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::MakeDirectory(std::u16string_view path) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().MakeDirectory(path);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  if (place.names.empty()) return place.error ? place.error : Win32Error::AlreadyExists;
  Node* parent = m_tree->Parent(place, error);
  if (!parent) return error;
  const std::u16string key = Folded(place.names.back());
  if (parent->children.count(key) != 0) return Win32Error::AlreadyExists;
  if (const std::int32_t bad = CheckNewName(place.names.back()); bad != 0) return bad;
  auto node = std::make_shared<Node>();
  node->directory = true;
  node->name = place.names.back();
  parent->children.emplace(key, std::move(node));
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::RemoveEmptyDirectory(std::u16string_view path) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().RemoveEmptyDirectory(path);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  if (!node->directory) return Win32Error::Directory;
  if (node == m_tree->top) return Win32Error::AccessDenied;  // the tree's top stays for the session
  if (!node->children.empty()) return Win32Error::DirNotEmpty;
  m_tree->Detach(place);
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) {
  const Place source = m_tree->Locate(from), destination = m_tree->Locate(to);
  if (!source.inside && !destination.inside) return target().CopyFileTo(from, to, failIfExists);
  std::vector<std::uint8_t> bytes;
  if (const std::int32_t error = ReadWholeFile(*this, from, bytes); error != 0) return error;
  if (!destination.inside) {
    if (failIfExists && Exists(target(), to)) return Win32Error::FileExists;
    return target().WriteWholeFile(to, bytes);
  }
  const std::lock_guard lock(m_tree->mutex);
  return m_tree->Write(destination, bytes, failIfExists);
}

std::int32_t MemoryFileSystem::WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().WriteWholeFile(path, bytes);
  const std::lock_guard lock(m_tree->mutex);
  return m_tree->Write(place, bytes, false);
}

std::int32_t MemoryFileSystem::OpenForReading(std::u16string_view path, std::unique_ptr<IReadableFile>& file) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().OpenForReading(path, file);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  if (node->directory) return Win32Error::AccessDenied;
  if (node->exclusiveReaders > 0 || node->writers > 0) return Win32Error::SharingViolation;
  ++node->readers;
  file = std::make_unique<MemoryReadable>(m_tree, std::move(node), false);
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::OpenForReadingExclusive(std::u16string_view path,
                                                       std::unique_ptr<IReadableFile>& file) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().OpenForReadingExclusive(path, file);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  if (node->directory) return Win32Error::AccessDenied;
  if (node->readers > 0 || node->writers > 0) return Win32Error::SharingViolation;
  ++node->readers;
  ++node->exclusiveReaders;
  file = std::make_unique<MemoryReadable>(m_tree, std::move(node), true);
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::CreateForWriting(std::u16string_view path, Creation creation, bool deleteOnClose,
                                                std::unique_ptr<IWritableFile>& file) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().CreateForWriting(path, creation, deleteOnClose, file);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  if (place.names.empty()) return place.error ? place.error : Win32Error::AccessDenied;
  Node* parent = m_tree->Parent(place, error);
  if (!parent) return error;
  if (parent->attributes & Attribute::ReadOnly) return Win32Error::AccessDenied;
  const std::u16string key = Folded(place.names.back());
  NodePtr node;
  if (const auto it = parent->children.find(key); it != parent->children.end()) {
    node = it->second;
    if (creation == Creation::New) return Win32Error::FileExists;
    if (node->directory || (node->attributes & Attribute::ReadOnly)) return Win32Error::AccessDenied;
    if (node->readers > 0 || node->writers > 0) return Win32Error::SharingViolation;
    node->bytes.clear();
  } else {
    if (const std::int32_t bad = CheckNewName(place.names.back()); bad != 0) return bad;
    node = std::make_shared<Node>();
    node->name = place.names.back();
    parent->children.emplace(key, node);
  }
  ++node->writers;
  // Gone at once: only the handle knows the file, as on the disk adapter.
  if (deleteOnClose) m_tree->Detach(place);
  file = std::make_unique<MemoryWritable>(m_tree, std::move(node));
  return Win32Error::Success;
}

std::int32_t MemoryFileSystem::ProbeLock(std::u16string_view path, std::uint64_t offset, std::uint64_t length) {
  const Place place = m_tree->Locate(path);
  if (!place.inside) return target().ProbeLock(path, offset, length);
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(place, error);
  if (!node) return error;
  if (node->exclusiveReaders > 0) return Win32Error::SharingViolation;
  return node->Locked(nullptr, offset, length) ? Win32Error::LockViolation : Win32Error::Success;
}

std::int32_t MemoryFileSystem::MoveFileTo(std::u16string_view from, std::u16string_view to, bool replace) {
  const Place source = m_tree->Locate(from), destination = m_tree->Locate(to);
  if (!source.inside && !destination.inside) return target().MoveFileTo(from, to, replace);
  if (source.inside != destination.inside) return Win32Error::NotSameDevice;  // another volume
  const std::lock_guard lock(m_tree->mutex);
  std::int32_t error = 0;
  const NodePtr node = m_tree->Find(source, error);
  if (!node) return error;
  if (node->directory) return Win32Error::AccessDenied;  // the temporary tree moves files only
  if (node->readers > 0) return Win32Error::SharingViolation;
  Node* parent = m_tree->Parent(destination, error);
  if (!parent) return error;
  if (destination.names.empty()) return Win32Error::AccessDenied;
  const std::u16string key = Folded(destination.names.back());
  if (const auto it = parent->children.find(key); it != parent->children.end() && it->second != node) {
    const Node& existing = *it->second;
    if (!replace) return Win32Error::AlreadyExists;
    if (existing.directory || (existing.attributes & Attribute::ReadOnly)) return Win32Error::AccessDenied;
    if (existing.readers > 0 || existing.writers > 0) return Win32Error::SharingViolation;
  } else if (it == parent->children.end()) {
    if (const std::int32_t bad = CheckNewName(destination.names.back()); bad != 0) return bad;
  }
  m_tree->Detach(source);
  node->name = destination.names.back();
  parent->children[key] = node;
  return Win32Error::Success;
}

std::uint64_t MemoryFileSystem::BytesHeld() const {
  const std::lock_guard lock(m_tree->mutex);
  std::uint64_t total = 0;
  std::vector<const Node*> pending{m_tree->top.get()};
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    total += node->bytes.size();
    for (const auto& [key, child] : node->children) pending.push_back(child.get());
  }
  return total;
}

}  // namespace CV::FS
