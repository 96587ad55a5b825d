// The HTML rewriting on large documents: a Word-style body of about 10 MB in
// 8-bit and UTF-16 form against memcpy of the same bytes, and hostile inputs
// of growing size whose time per MB must stay flat.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "export/html_rewriter.h"
#include "foundation/guid_source.h"

namespace CV {
namespace {

class MemoryFile final : public FS::IReadableFile {
 public:
  explicit MemoryFile(const std::string& bytes) : m_bytes(bytes) {}
  std::uint64_t Size() const override { return m_bytes.size(); }
  std::int32_t Read(std::span<std::uint8_t> buffer, std::size_t& read) override {
    read = std::min(buffer.size(), m_bytes.size() - m_at);
    std::memcpy(buffer.data(), m_bytes.data() + m_at, read);
    m_at += read;
    return 0;
  }

 private:
  const std::string& m_bytes;
  std::size_t m_at = 0;
};

// A body as Word writes it: namespaces, conditional comments, a header run of
// long paragraphs, styled paragraphs, spans, VML shapes and pictures.
std::string WordDocument(std::size_t size) {
  std::string doc =
      "<html xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
      "xmlns:w=\"urn:schemas-microsoft-com:office:word\" xmlns=\"http://www.w3.org/TR/REC-html40\"><head>"
      "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1252\"><meta name=Generator "
      "content=\"Microsoft Word 15 (filtered medium)\"><link rel=File-List href=\"x_files/filelist.xml\">"
      "<!--[if gte mso 9]><xml><o:shapedefaults v:ext=\"edit\" spidmax=\"1026\" /></xml><![endif]--></head>"
      "<body lang=DE link=\"#0563C1\" vlink=\"#954F72\"><div class=WordSection1>";
  for (int i = 0; i < 5; ++i)
    doc += "<p class=MsoNormal style='margin-bottom:12.0pt'><b><span style='font-family:\"Calibri\",sans-serif'>"
           "Von:</span></b><span style='font-family:\"Calibri\",sans-serif'> Schulz, Peter &lt;p.schulz@example.org&gt;"
           "</span></p>";
  const std::string paragraph =
      "<p class=MsoNormal><span style='font-size:11.0pt;font-family:\"Calibri\",sans-serif;color:#1F497D'>"
      "Sehr geehrte Damen und Herren, anbei die Unterlagen zur Besprechung am Montag. Mit freundlichen Gr\xfc\xdf"
      "en<o:p></o:p></span></p>\r\n<p class=MsoListParagraph style='text-indent:-18.0pt;mso-list:l0 level1 lfo1'>"
      "<![if !supportLists]><span>&middot;<span style='font:7.0pt \"Times New Roman\"'>&nbsp;</span></span>"
      "<![endif]>Punkt der Liste<o:p></o:p></p>\r\n";
  const std::string picture =
      "<p class=MsoNormal><v:shapetype id=\"_x0000_t75\" coordsize=\"21600,21600\" o:spt=\"75\"><v:stroke "
      "joinstyle=\"miter\"/></v:shapetype><v:shape id=\"Bild_x0020_1\" type=\"#_x0000_t75\" alt=\"Logo\" "
      "style='width:90pt;height:40pt'><v:imagedata src=\"x_files/image001.png\" o:title=\"\"/></v:shape>"
      "<img width=120 height=53 src=\"http://example.org/logo.png\" alt=Logo></p>\r\n";
  for (int n = 0; doc.size() < size; ++n) doc += n % 50 == 49 ? picture : paragraph;
  return doc + "</div></body></html>\r\n";
}

std::string Utf16(const std::string& bytes) {
  std::string wide("\xFF\xFE", 2);
  for (char c : bytes) wide += c, wide += '\0';
  return wide;
}

void Rewrite(benchmark::State& state, const std::string& doc) {
  FS::IFileSystem& fs = FS::DefaultFileSystem();
  const Office::HtmlPictures pictures{nullptr, fs, DefaultGuidSource(), u"C:\\tmp"};
  for (auto _ : state) {
    MemoryFile file(doc);
    std::vector<std::u16string> files;
    benchmark::DoNotOptimize(Office::ProcessHtml(&file, pictures, files));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
}

void WordBody8Bit(benchmark::State& state) { Rewrite(state, WordDocument(10u << 20)); }
void WordBodyUtf16(benchmark::State& state) { Rewrite(state, Utf16(WordDocument(5u << 20))); }
void MemcpyReference(benchmark::State& state) {
  const std::string doc = WordDocument(10u << 20);
  std::vector<char> copy(doc.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), doc.data(), doc.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(MemcpyReference)->Unit(benchmark::kMillisecond);
BENCHMARK(WordBody8Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(WordBodyUtf16)->Unit(benchmark::kMillisecond);

// Hostile inputs: endless openings that never close, attribute names without
// "=", quotes that never close. MB is the argument.
std::string Hostile(int kind, std::size_t size) {
  static const char* const patterns[] = {"<p <p <img", "<img src <img alt=\"", "<v:shape <v:imagedata src='x",
                                         "<!--[if <![if <link <meta "};
  std::string doc;
  while (doc.size() < size) doc += patterns[kind];
  return doc + ">.";
}

void HostileInput(benchmark::State& state) {
  const std::string doc = Hostile(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)) << 20);
  FS::IFileSystem& fs = FS::DefaultFileSystem();
  const Office::HtmlPictures pictures{nullptr, fs, DefaultGuidSource(), u"C:\\tmp"};
  const auto faults = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_minflt);
  };
  const double faultsBefore = faults();
  for (auto _ : state) {
    MemoryFile file(doc);
    std::vector<std::u16string> files;
    try {
      benchmark::DoNotOptimize(Office::ProcessHtml(&file, pictures, files));
    } catch (...) {
      // A refused document is an answer too; the time is what counts.
    }
  }
  const double mb = static_cast<double>(state.iterations() * state.range(1));
  state.counters["s_per_MB"] = benchmark::Counter(mb, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  // Fresh memory costs a page fault per page, on this machine as much as the
  // rewriting itself: allocations beyond glibc's mmap threshold (32 MB at
  // most) are new memory in every run.
  state.counters["faults_per_MB"] = (faults() - faultsBefore) / mb;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(HostileInput)->ArgsProduct({{0, 1, 2, 3}, {1, 10, 100}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace CV
