// Members deflated and written into the ZIP beside the caller: the caller
// composes the next mail meanwhile, a thread of the pipeline deflates and
// writes members in the order they came, and a caller that finds the queue
// full deflates a waiting member itself instead of idling, so both cores
// share the work. The container's bytes are those of writing one member
// after the other on one thread. About limit bytes wait (as allocated); a
// member larger than that waits alone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "components/container/zip_writer.h"

namespace CV::Components {

class MemberPipeline {
 public:
  struct Member {
    std::string name;
    std::uint64_t sizeBound = 0;  // as ZipWriter::Begin takes it
    std::string bytes;
    // On the pipeline's thread, once the member is in the ZIP.
    std::function<void(const ZipWriter::Member&)> written;
    // Before the member is deflated, on whichever thread deflates it;
    // written comes after. Must not throw.
    std::function<void(const std::string& bytes)> inspect;
  };

  MemberPipeline(ZipWriter& zip, int level, std::size_t limit);
  // Drops what still waits and stops the thread.
  ~MemberPipeline();
  MemberPipeline(const MemberPipeline&) = delete;
  MemberPipeline& operator=(const MemberPipeline&) = delete;

  // Queues member; while limit bytes wait, helps deflating them. Throws the
  // first failure of writing (a ZipError) once it is known.
  void Add(Member member);
  // Waits until every queued member is written; throws the first failure.
  void Flush();

 private:
  struct Slot {
    Member member;
    bool claimed = false, deflated = false;
    DeflatedMember result;
    std::exception_ptr failure;
  };
  void Run();
  // Under the lock: deflates slot outside it.
  void DeflateSlot(std::unique_lock<std::mutex>& lock, Slot& slot);
  void ThrowFailure();
  // Under the lock: whether an idle pipeline thread should start.
  bool Ready() const;
  static constexpr std::size_t kBatch = 8;

  ZipWriter& m_zip;
  const int m_level;
  const std::size_t m_limit;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::shared_ptr<Slot>> m_queue;
  std::size_t m_queuedBytes = 0;
  bool m_writing = false, m_stop = false, m_flushing = false;
  bool m_adding = false;  // a caller waits for room
  std::exception_ptr m_failure;
  std::thread m_thread;
};

}  // namespace CV::Components
