// A file system that fails chosen calls on demand, counts every call and
// records the paths every changing call touched.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"
#include "sim/fault_plan.h"

namespace CV::Fake {

class FaultyFileSystem final : public FS::FileSystemWrapper {
  template <class F>
  auto Locked(F f) {
    std::lock_guard lock(m_mutex);
    return f();
  }

 public:
  explicit FaultyFileSystem(FS::IFileSystem& target = FS::DefaultFileSystem()) : FileSystemWrapper(target) {}

  // Plans a fault for the call of that name ("RemoveFile", "FindNext", ...).
  void Plan(const std::string& call, Sim::FaultPlan plan) { Locked([&] { m_plans[call] = plan; }); }
  // Fails the n-th call overall, whichever it is, once.
  void FailNthCall(std::uint64_t n, std::int32_t error) { Locked([&] { m_any = Sim::FaultPlan{error, n, false}; }); }
  std::uint64_t Calls(const std::string& call) { return Locked([&] { return m_plans[call].calls; }); }
  std::uint64_t TotalCalls() { return Locked([&] { return m_any.calls; }); }
  // The paths of every changing call so far (written, copied to, made,
  // removed), as given.
  std::vector<std::u16string> Touched() { return Locked([&] { return m_touched; }); }
  // Reports these limits and holds files written or copied to them, as a
  // file system of another kind does (Windows' path limit, say).
  void SetLimits(FS::NameLimits limits) { Locked([&] { m_limits = limits; }); }
  FS::NameLimits Limits() override {
    return Locked([&] { return m_limits; }).value_or(FileSystemWrapper::Limits());
  }

#define CV_FAULTY(call, ...) \
  if (const std::int32_t e = Fault(#call)) return e; \
  return FileSystemWrapper::call(__VA_ARGS__)
  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    if (const std::int32_t e = Fault("LongPathName")) return error = e, 0;
    return FileSystemWrapper::LongPathName(path, buffer, error);
  }
  std::int32_t CurrentDirectory(std::u16string& out) override { CV_FAULTY(CurrentDirectory, out); }
  std::int32_t TempPath(std::u16string& out) override { CV_FAULTY(TempPath, out); }
  std::int32_t RemoveFile(std::u16string_view p) override {
    Touch(p);
    CV_FAULTY(RemoveFile, p);
  }
  std::int32_t ReadAttributes(std::u16string_view p, std::uint32_t& a) override { CV_FAULTY(ReadAttributes, p, a); }
  std::int32_t WriteAttributes(std::u16string_view p, std::uint32_t a) override {
    Touch(p);
    CV_FAULTY(WriteAttributes, p, a);
  }
  std::int32_t MakeDirectory(std::u16string_view p) override {
    Touch(p);
    CV_FAULTY(MakeDirectory, p);
  }
  std::int32_t RemoveEmptyDirectory(std::u16string_view p) override {
    Touch(p);
    CV_FAULTY(RemoveEmptyDirectory, p);
  }
  std::int32_t CopyFileTo(std::u16string_view f, std::u16string_view t, bool x) override {
    Touch(t);
    if (!Fits(t)) return Win32Error::FilenameExcedRange;
    CV_FAULTY(CopyFileTo, f, t, x);
  }
  std::int32_t WriteWholeFile(std::u16string_view p, std::span<const std::uint8_t> b) override {
    Touch(p);
    if (!Fits(p)) return Win32Error::FilenameExcedRange;
    CV_FAULTY(WriteWholeFile, p, b);
  }
  std::int32_t OpenForReading(std::u16string_view p, std::unique_ptr<FS::IReadableFile>& f) override {
    CV_FAULTY(OpenForReading, p, f);
  }
  std::int32_t OpenForReadingExclusive(std::u16string_view p, std::unique_ptr<FS::IReadableFile>& f) override {
    CV_FAULTY(OpenForReadingExclusive, p, f);
  }
  std::int32_t ProbeLock(std::u16string_view p, std::uint64_t o, std::uint64_t n) override { CV_FAULTY(ProbeLock, p, o, n); }
  std::int32_t MoveFileTo(std::u16string_view f, std::u16string_view t, bool r) override {
    Touch(t);
    CV_FAULTY(MoveFileTo, f, t, r);
  }
#undef CV_FAULTY
  // The file's own calls fail on demand too: "WriteAt", "ReadAt", "Resize",
  // "LockRange", "Flush", "Close".
  std::int32_t CreateForWriting(std::u16string_view p, FS::Creation c, bool d,
                                std::unique_ptr<FS::IWritableFile>& file) override {
    Touch(p);
    if (const std::int32_t e = Fault("CreateForWriting")) return e;
    std::unique_ptr<FS::IWritableFile> inner;
    const std::int32_t error = FileSystemWrapper::CreateForWriting(p, c, d, inner);
    if (error == 0) file = std::make_unique<WritableFile>(*this, std::move(inner));
    return error;
  }
  std::int32_t FindFirst(std::u16string_view pattern, FS::FindData& first,
                         std::unique_ptr<FS::IDirectorySearch>& search) override {
    if (const std::int32_t e = Fault("FindFirst")) return e;
    std::unique_ptr<FS::IDirectorySearch> inner;
    const std::int32_t error = FileSystemWrapper::FindFirst(pattern, first, inner);
    if (error == 0) search = std::make_unique<Search>(*this, std::move(inner));
    return error;
  }

 private:
  void Touch(std::u16string_view path) { Locked([&] { m_touched.emplace_back(path); }); }
  bool Fits(std::u16string_view path) {
    const FS::NameLimits limits = Limits();
    const std::u16string_view name = path.substr(path.find_last_of(u'\\') + 1);
    return path.size() <= limits.pathUnits && name.size() <= limits.nameUnits && Utf8Length(name) <= limits.nameBytes;
  }

  class WritableFile final : public FS::IWritableFile {
   public:
    WritableFile(FaultyFileSystem& owner, std::unique_ptr<FS::IWritableFile> inner)
        : m_owner(owner), m_inner(std::move(inner)) {}
    std::int32_t WriteAt(std::uint64_t o, std::span<const std::uint8_t> b) override {
      if (const std::int32_t e = m_owner.Fault("WriteAt")) return e;
      return m_inner->WriteAt(o, b);
    }
    std::int32_t ReadAt(std::uint64_t o, std::span<std::uint8_t> b, std::size_t& read) override {
      if (const std::int32_t e = m_owner.Fault("ReadAt")) return read = 0, e;
      return m_inner->ReadAt(o, b, read);
    }
    std::int32_t Resize(std::uint64_t n) override {
      if (const std::int32_t e = m_owner.Fault("Resize")) return e;
      return m_inner->Resize(n);
    }
    std::int32_t LockRange(std::uint64_t o, std::uint64_t n) override {
      if (const std::int32_t e = m_owner.Fault("LockRange")) return e;
      return m_inner->LockRange(o, n);
    }
    std::int32_t Flush() override {
      if (const std::int32_t e = m_owner.Fault("Flush")) return e;
      return m_inner->Flush();
    }
    // A failed close still closes, as on every platform.
    std::int32_t Close() override {
      const std::int32_t e = m_owner.Fault("Close");
      const std::int32_t closed = m_inner->Close();
      return e ? e : closed;
    }

   private:
    FaultyFileSystem& m_owner;
    std::unique_ptr<FS::IWritableFile> m_inner;
  };

  class Search final : public FS::IDirectorySearch {
   public:
    Search(FaultyFileSystem& owner, std::unique_ptr<FS::IDirectorySearch> inner)
        : m_owner(owner), m_inner(std::move(inner)) {}
    std::int32_t Next(FS::FindData& entry) override {
      if (const std::int32_t e = m_owner.Fault("FindNext")) return e;
      return m_inner->Next(entry);
    }

   private:
    FaultyFileSystem& m_owner;
    std::unique_ptr<FS::IDirectorySearch> m_inner;
  };

  std::int32_t Fault(const char* call) {
    return Locked([&] {
      const bool any = m_any.NextCallFails();
      if (m_plans[call].NextCallFails()) return m_plans[call].error;
      return any ? m_any.error : 0;
    });
  }

  std::mutex m_mutex;
  std::map<std::string, Sim::FaultPlan> m_plans;
  Sim::FaultPlan m_any;
  std::vector<std::u16string> m_touched;
  std::optional<FS::NameLimits> m_limits;
};

}  // namespace CV::Fake
