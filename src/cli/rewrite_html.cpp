#include "cli/rewrite_html.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/command_line.h"
#include "cli/write_atomically.h"
#include "cli/exit_codes.h"
#include "export/html_rewriter.h"
#include "foundation/com_error.h"
#include "foundation/directory.h"
#include "foundation/exception.h"
#include "foundation/utf.h"
#include "sim/sim_internet_cache.h"

namespace CV::Cli {
namespace {

struct Options {
  std::string in, out, cache;
  // The fields SaveAs wrote above the body, when the mail is known.
  std::optional<std::string> from, to, cc, bcc, subject;
  bool importance = false, attachments = false;

  std::optional<Office::SavedHeader> Header() const {
    if (!from && !to && !cc && !bcc && !subject && !importance && !attachments) return std::nullopt;
    const auto text = [](const std::optional<std::string>& v) { return FromUtf8(v.value_or("")); };
    return Office::SavedHeader{text(from), text(to), text(cc), text(bcc), text(subject), importance, attachments};
  }
};

// A body is text: 8-bit bytes without NUL, or UTF-16 after its byte order
// mark. Anything else (a picture, an archive given by mistake) is refused.
bool IsText(FS::IFileSystem& fs, const std::u16string& path) {
  std::vector<std::uint8_t> bytes;
  if (FS::ReadWholeFile(fs, path, bytes) != 0) return true;  // reading says why, in its own words
  if (Office::DetectHtmlEncoding(bytes.data(), bytes.size()) != Office::HtmlEncoding::EightBit) return true;
  return std::find(bytes.begin(), bytes.end(), 0) == bytes.end();
}

// A file-list entry as the rewritten text has it: 8-bit input narrowed back
// to its bytes, UTF-16 input as UTF-8.
std::string Printable(const std::u16string& entry, Office::HtmlEncoding encoding) {
  if (encoding != Office::HtmlEncoding::EightBit) return ToUtf8(entry);
  std::string bytes;
  for (char16_t c : entry) bytes += static_cast<char>(c & 0xFF);
  return bytes;
}

void Run(const Options& options) {
  FS::IFileSystem& fs = FS::DefaultFileSystem();
  std::unique_ptr<FS::IReadableFile> in;
  if (fs.OpenForReading(WindowsPath(options.in), in) != 0) throw Failure(Exit::Usage, "cannot read " + options.in);
  if (!IsText(fs, WindowsPath(options.in)))
    throw Failure(Exit::Rejected, options.in + ": no text (an 8-bit file with NUL bytes) is no HTML body");
  const std::filesystem::path out = std::filesystem::absolute(options.out);
  if (!std::filesystem::is_directory(out.parent_path()))
    throw Failure(Exit::Usage, "the directory of " + options.out + " does not exist");

  std::optional<Sim::SimInternetCache> cache;
  if (!options.cache.empty()) {
    if (!std::filesystem::is_directory(options.cache)) throw Failure(Exit::Usage, "no cache directory " + options.cache);
    cache.emplace(fs, WindowsPath(options.cache));
  }
  // The copies are made in a directory of their own and move next to OUT
  // only when the rewriting succeeded.
  const std::u16string copies = FS::CreateTempDirectory(u"", fs);
  const auto removeCopies = [&] { FS::DeleteDirectory(copies, true, fs); };
  std::vector<std::u16string> files;
  std::string bytes;
  try {
    const Office::HtmlPictures pictures{cache ? &*cache : nullptr, fs, DefaultGuidSource(), copies};
    const std::optional<Office::SavedHeader> header = options.Header();
    bytes = Office::ProcessHtml(in.get(), pictures, files, header ? &*header : nullptr).Bytes();
  } catch (const ComError&) {
    removeCopies();
    throw Failure(Exit::Usage, "cannot read " + options.in);
  } catch (const CException&) {
    removeCopies();
    throw Failure(Exit::Usage, "not enough memory for " + options.in);
  }
  const auto encoding = Office::DetectHtmlEncoding(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  try {
    WriteAtomically(out, bytes);
    std::unique_ptr<FS::IDirectorySearch> search;
    FS::FindData entry;
    for (std::int32_t e = fs.FindFirst(copies + u"\\*", entry, search); e == 0; e = search->Next(entry)) {
      if (entry.attributes & FS::Attribute::Directory) continue;
      if (fs.CopyFileTo(copies + u"\\" + entry.name, WindowsPath((out.parent_path() / ToUtf8(entry.name)).string()),
                        false) != 0)
        throw Failure(Exit::Usage, "cannot copy " + ToUtf8(entry.name) + " next to " + options.out);
    }
  } catch (...) {
    removeCopies();
    throw;
  }
  removeCopies();
  for (const std::u16string& entry : files) std::cout << Printable(entry, encoding) << '\n';
}

}  // namespace

void AddRewriteHtml(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "rewrite-html", "Rewrite one saved HTML body as archiving does, and list the files it refers to");
  command->add_option("IN", options->in, "the saved body (Content.html)")->required();
  command->add_option("-o,--output", options->out, "where the rewritten body goes")->required();
  command->add_option("--cache", options->cache,
                      "an internet-cache directory (index.txt: address TAB file name); without it no remote "
                      "picture is cached");
  command->add_option("--from", options->from, "the sender's name SaveAs wrote after \"Von:\"");
  command->add_option("--to", options->to, "the text of \"An:\"");
  command->add_option("--cc", options->cc, "the text of \"Cc:\" (none: the mail has no Cc)");
  command->add_option("--bcc", options->bcc, "the text of \"Bcc:\" (none: the mail has no Bcc)");
  command->add_option("--subject", options->subject, "the text of \"Betreff:\"");
  command->add_flag("--importance", options->importance, "SaveAs wrote \"Wichtigkeit:\" (high or low importance)");
  command->add_flag("--attachments", options->attachments, "SaveAs wrote \"Anlagen:\" (the mail has attachments)");
  command->footer(
      "The header block SaveAs writes above the body is removed only when the mail's fields are given (--from, "
      "--to, --cc, --bcc, --subject, --importance, --attachments): each leading paragraph that is the next field "
      "with that text goes. Without them no paragraph is removed. Exit 3: the input is no text (an 8-bit file "
      "holding NUL bytes).");
  command->callback([options] { Run(*options); });
}

}  // namespace CV::Cli
