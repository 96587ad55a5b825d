#include "components/container/spool_file.h"

#include "components/container/zip_writer.h"

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace CV::Components {

SpoolFile::SpoolFile(const std::filesystem::path& directory, std::size_t pieceSize) : m_pieceSize(pieceSize) {
  std::random_device random;
  const std::filesystem::path name = directory / (".spool-" + std::to_string(random() % 1000000000u));
#ifdef _WIN32
  // Deleted when it is closed: Windows cannot remove a file that is open.
  m_file = ::_wfopen(name.c_str(), L"w+bD");
  if (!m_file) throw ZipError("cannot create " + name.string(), errno);
#else
  m_file = std::fopen(name.c_str(), "w+bx");
  if (!m_file) throw ZipError("cannot create " + name.string(), errno);
  std::remove(name.c_str());  // the open file stays; nothing is left behind, even after a crash
#endif
}

SpoolFile::~SpoolFile() { std::fclose(m_file); }

void SpoolFile::Append(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
    throw ZipError("cannot write the manifest's spool file beside the container", errno ? errno : EIO);
  m_size += text.size();
}

void SpoolFile::ReadBack(const std::function<void(std::string_view)>& piece) {
  if (std::fflush(m_file) != 0 || std::fseek(m_file, 0, SEEK_SET) != 0)
    throw ZipError("cannot write the manifest's spool file beside the container", errno ? errno : EIO);
  std::vector<char> buffer(m_pieceSize);
  std::uint64_t total = 0;
  for (std::size_t read; (read = std::fread(buffer.data(), 1, buffer.size(), m_file)) != 0; total += read)
    piece(std::string_view(buffer.data(), read));
  if (total != m_size) throw ZipError("the manifest's spool file ends early", errno ? errno : EIO);
  std::fseek(m_file, 0, SEEK_END);  // a write after a read needs a seek between them
}

}  // namespace CV::Components
