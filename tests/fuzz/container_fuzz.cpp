// libFuzzer target for the container reader and the manifest checks: every
// input is a container someone may send, read as `cvmail verify` and
// `inspect` read it. It must end in a verdict or a refusal (ZipError, a
// manifest that is no JSON or too deep), never in a crash, a sanitizer
// report, a hang or runaway memory.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/container/container_check.h"
#include "components/container/manifest.h"
#include "components/container/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace CV::Components;
  try {
    ZipReader zip(MemorySource(data, size));
    VerifyContainer(zip);
    if (const ZipReader::Entry* manifest = zip.Find("manifest.json")) {
      std::vector<std::string> problems;
      ReadManifest(
          zip, *manifest,
          [&](std::uint64_t index, const ManifestMail& mail, const ManifestHead& head) {
            CheckManifestMail(index, mail, head.version, problems);
            (void)mail.Text("subject");
          },
          problems);
    }
  } catch (const ZipError&) {
    // refused: no ZIP, or a member that cannot be read
  } catch (const std::runtime_error&) {
    // refused: a manifest that is no JSON or nested too deep
  }
  return 0;
}
