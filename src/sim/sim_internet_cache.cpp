#include "sim/sim_internet_cache.h"

#include <string_view>
#include <vector>

#include "foundation/utf.h"

namespace CV::Sim {

SimInternetCache::SimInternetCache(FS::IFileSystem& fs, std::u16string directory)
    : m_fs(fs), m_directory(std::move(directory)) {
  if (!m_directory.empty() && m_directory.back() != u'\\') m_directory += u'\\';
}

void SimInternetCache::LoadIndex() {
  m_index.emplace();
  std::vector<std::uint8_t> bytes;
  if (FS::ReadWholeFile(m_fs, m_directory + u"index.txt", bytes) != 0) return;  // no index: nothing is cached
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0) continue;
    const std::string_view address = line.substr(0, tab);
    const std::u16string file = FromUtf8(line.substr(tab + 1));
    (*m_index)[std::u16string(address.begin(), address.end())] = file;  // byte for byte
    (*m_index)[FromUtf8(address)] = file;
  }
}

std::u16string SimInternetCache::RetrieveFile(std::u16string_view url) {
  std::lock_guard lock(m_mutex);
  if (!m_index) LoadIndex();
  const auto it = m_index->find(url);
  if (it == m_index->end()) return {};
  std::u16string path = m_directory + it->second;
  if (!FS::Exists(m_fs, path)) return {};
  ++m_locked;
  return path;
}

void SimInternetCache::Release(std::u16string_view) {
  std::lock_guard lock(m_mutex);
  if (m_locked > 0) --m_locked;
}

int SimInternetCache::LockedEntries() const {
  std::lock_guard lock(m_mutex);
  return m_locked;
}

}  // namespace CV::Sim
