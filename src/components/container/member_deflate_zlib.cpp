// A whole member deflated with zlib: the Windows build's, where no faster
// deflate is at hand.
#include <zlib.h>

#include <algorithm>

#include "components/container/zip_writer.h"

namespace CV::Components {

DeflatedMember Deflate(std::string_view bytes, int level) {
  DeflatedMember out;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw ZipError("deflate cannot start");
  out.data.resize(deflateBound(&z, static_cast<uLong>(std::min<std::size_t>(bytes.size(), 0xFFFFFFFFu))) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  std::size_t fed = 0, written = 0;
  int result = Z_OK;
  do {
    if (z.avail_in == 0 && fed < bytes.size()) {
      const std::size_t step = std::min<std::size_t>(bytes.size() - fed, 1u << 30);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + fed));
      z.avail_in = static_cast<uInt>(step);
      fed += step;
    }
    if (out.data.size() - written < 64 * 1024) out.data.resize(out.data.size() * 2);
    z.next_out = reinterpret_cast<Bytef*>(out.data.data() + written);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.data.size() - written, 1u << 30));
    const uInt before = z.avail_out;
    result = deflate(&z, fed == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
    written += before - z.avail_out;
  } while (result == Z_OK || result == Z_BUF_ERROR);
  deflateEnd(&z);
  if (result != Z_STREAM_END) throw ZipError("deflate failed");
  out.data.resize(written);
  out.crc = static_cast<std::uint32_t>(crc32_z(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
  DescribeMember(bytes, out);
  return out;
}

}  // namespace CV::Components
