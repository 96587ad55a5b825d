// A file system that fails chosen calls on demand and counts every call.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "foundation/file_system.h"
#include "sim/fault_plan.h"

namespace CV::Fake {

class FaultyFileSystem final : public FS::FileSystemWrapper {
 public:
  explicit FaultyFileSystem(FS::IFileSystem& target = FS::DefaultFileSystem()) : FileSystemWrapper(target) {}

  // Plans a fault for the call of that name ("RemoveFile", "FindNext", ...).
  void Plan(const std::string& call, Sim::FaultPlan plan) {
    std::lock_guard lock(m_mutex);
    m_plans[call] = plan;
  }
  // Fails the n-th call overall, whichever it is, once.
  void FailNthCall(std::uint64_t n, std::int32_t error) {
    std::lock_guard lock(m_mutex);
    m_any = Sim::FaultPlan{error, n, false};
  }
  std::uint64_t Calls(const std::string& call) {
    std::lock_guard lock(m_mutex);
    return m_plans[call].calls;
  }
  std::uint64_t TotalCalls() {
    std::lock_guard lock(m_mutex);
    return m_any.calls;
  }
  std::uint64_t Hits() {
    std::lock_guard lock(m_mutex);
    std::uint64_t hits = m_any.hits;
    for (auto& [name, plan] : m_plans) hits += plan.hits;
    return hits;
  }

  std::uint32_t LongPathName(std::u16string_view path, std::span<char16_t> buffer, std::int32_t& error) override {
    if (const std::int32_t e = Fault("LongPathName"); e != 0) return error = e, 0;
    return FileSystemWrapper::LongPathName(path, buffer, error);
  }
  std::int32_t CurrentDirectory(std::u16string& out) override {
    if (const std::int32_t e = Fault("CurrentDirectory")) return e;
    return FileSystemWrapper::CurrentDirectory(out);
  }
  std::int32_t TempPath(std::u16string& out) override {
    if (const std::int32_t e = Fault("TempPath")) return e;
    return FileSystemWrapper::TempPath(out);
  }
  std::int32_t FindFirst(std::u16string_view pattern, FS::FindData& first,
                         std::unique_ptr<FS::IDirectorySearch>& search) override {
    if (const std::int32_t e = Fault("FindFirst")) return e;
    std::unique_ptr<FS::IDirectorySearch> inner;
    const std::int32_t error = FileSystemWrapper::FindFirst(pattern, first, inner);
    if (error == 0) search = std::make_unique<Search>(*this, std::move(inner));
    return error;
  }
  std::int32_t RemoveFile(std::u16string_view path) override {
    if (const std::int32_t e = Fault("RemoveFile")) return e;
    return FileSystemWrapper::RemoveFile(path);
  }
  std::int32_t ReadAttributes(std::u16string_view path, std::uint32_t& attributes) override {
    if (const std::int32_t e = Fault("ReadAttributes")) return e;
    return FileSystemWrapper::ReadAttributes(path, attributes);
  }
  std::int32_t WriteAttributes(std::u16string_view path, std::uint32_t attributes) override {
    if (const std::int32_t e = Fault("WriteAttributes")) return e;
    return FileSystemWrapper::WriteAttributes(path, attributes);
  }
  std::int32_t MakeDirectory(std::u16string_view path) override {
    if (const std::int32_t e = Fault("MakeDirectory")) return e;
    return FileSystemWrapper::MakeDirectory(path);
  }
  std::int32_t RemoveEmptyDirectory(std::u16string_view path) override {
    if (const std::int32_t e = Fault("RemoveEmptyDirectory")) return e;
    return FileSystemWrapper::RemoveEmptyDirectory(path);
  }
  std::int32_t CopyFileTo(std::u16string_view from, std::u16string_view to, bool failIfExists) override {
    if (const std::int32_t e = Fault("CopyFileTo")) return e;
    return FileSystemWrapper::CopyFileTo(from, to, failIfExists);
  }
  std::int32_t WriteWholeFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    if (const std::int32_t e = Fault("WriteWholeFile")) return e;
    return FileSystemWrapper::WriteWholeFile(path, bytes);
  }
  std::int32_t OpenForReading(std::u16string_view path, std::unique_ptr<FS::IReadableFile>& file) override {
    if (const std::int32_t e = Fault("OpenForReading")) return e;
    return FileSystemWrapper::OpenForReading(path, file);
  }

 private:
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

  std::int32_t Fault(const std::string& call) {
    std::lock_guard lock(m_mutex);
    const bool any = m_any.NextCallFails();
    if (m_plans[call].NextCallFails()) return m_plans[call].error;
    return any ? m_any.error : 0;
  }

  std::mutex m_mutex;
  std::map<std::string, Sim::FaultPlan> m_plans;
  Sim::FaultPlan m_any;
};

}  // namespace CV::Fake
