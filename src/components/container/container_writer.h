// Our own implementation of the vendor's container writer "CVMail.CVMailExport": it
// writes one ZIP container (see README: the container format). Each mail is
// composed into its RFC 5322 message within AddEMail (which reads its files)
// and compressed into the ZIP on a second thread while the next is made; the
// manifest with the properties and every mail's SHA-256 is written last, at
// EndExport. Until then the container is a temporary file beside the
// target: a cancelled, aborted or failed export leaves no file and never
// touches an existing file of the target's name. Every file is reached
// through the file-system port. A target that cannot be used is told in
// German (IExportProgress::Failed) and declines the export.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/object.h"
#include "components/container/member_pipeline.h"
#include "components/container/spool_file.h"
#include "components/container/zip_writer.h"

namespace CV::Components {

// Where the container goes and the comment it carries, chosen when the
// export begins (the command line passes options; Windows shows a dialog).
struct ExportTarget {
  std::u16string file;  // as the file-system port takes paths
  std::u16string comment;
  // An existing file of that name may be replaced: the user said so (the
  // save dialog's overwrite question, cvmail's --force). Otherwise an
  // existing file stays, and the container takes a numbered name beside it.
  bool mayReplace = false;
};

class IExportTargetChooser {
 public:
  virtual ~IExportTargetChooser() = default;
  // Null: the user declined.
  virtual std::optional<ExportTarget> Choose() = 0;
};

// The export's progress, and the user's cancel.
class IExportProgress {
 public:
  virtual ~IExportProgress() = default;
  // After each mail; false: the user stopped the export.
  virtual bool MailWritten(std::int32_t received, std::int32_t announced, std::uint64_t containerBytes) = 0;
  // A mail is in the container: its folder path, EntryID and size.
  virtual void MailAdded(std::u16string_view /*folder*/, std::u16string_view /*entryId*/, std::int64_t /*size*/) {}
  // The container is complete at its place: its path as the user knows it
  // (the target's, or a numbered name beside a file that came meanwhile).
  virtual void ContainerWritten(std::u16string_view /*file*/) {}
  // The container cannot be written (a folder missing, a full disk): why,
  // in German, as UTF-8, naming the folder or the target as the user knows
  // them. The export ends without a container.
  virtual void Failed(std::string_view /*cause*/) {}
};

// Where a mail came from, as its host knows it (a file of a store on disk):
// the manifest keeps it. Empty when the host cannot tell.
using MailSource = std::function<std::string(std::u16string_view folderPath, std::u16string_view entryId)>;

// A check of a composed message against the mail it was made of, where
// the host has that mail (a store on disk): what the message lacks, one
// German text each, nothing when it is whole. It runs beside the
// compression, on either of the writer's threads, and must not throw.
using ContentCheck = std::function<std::vector<std::string>(std::string_view message)>;
// How to check one mail's message; null when there is nothing to check with.
using MailCheck = std::function<ContentCheck(std::u16string_view folderPath, std::u16string_view entryId)>;

struct WriterPorts {
  std::shared_ptr<IExportTargetChooser> target;
  std::shared_ptr<IExportProgress> progress;  // may be null
  std::shared_ptr<FS::IFileSystem> fs;         // reads the mails' files, writes the container
  int compressionLevel = 6;
  MailSource source;  // may be null
  MailCheck check;    // may be null: no check (Windows has no source message to check with)
};

class CContainerWriter final : public IObject, public std::enable_shared_from_this<CContainerWriter> {
 public:
  explicit CContainerWriter(WriterPorts ports);
  ~CContainerWriter() override;

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;

 private:
  bool BeginExport();
  bool AddEMail(const ObjectPtr& email);
  void EndExport();
  void Discard() noexcept;
  void Fail(const std::exception& cause) noexcept;
  // Puts the finished container at the target's name, or beside it;
  // returns where.
  std::u16string Place();

  WriterPorts m_ports;
  std::mutex m_mutex;
  bool m_option = false;
  std::u16string m_sourceApplication;
  std::int32_t m_announced = 0;
  std::int32_t m_received = 0;
  std::optional<ExportTarget> m_target;
  std::u16string m_temporary;  // the container until it is complete, locked by its handle in m_zip
  std::unique_ptr<ZipWriter> m_zip;
  std::unique_ptr<MemberPipeline> m_pipeline;  // writes into m_zip
  std::vector<std::pair<std::u16string, std::u16string>> m_properties;
  std::unique_ptr<SpoolFile> m_mails;  // the manifest's mail entries, JSON, comma-separated
  std::int32_t m_number = 0;
  bool m_ended = false;
};

class CComponentRegistry;
// Makes the factory create this writer for "CVMail.CVMailExport".
void RegisterContainerWriter(CComponentRegistry& factory, WriterPorts ports);

}  // namespace CV::Components
