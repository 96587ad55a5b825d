#include "components/container/member_pipeline.h"

namespace CV::Components {

MemberPipeline::MemberPipeline(ZipWriter& zip, int level, std::size_t limit)
    : m_zip(zip), m_level(level), m_limit(limit), m_thread([this] { Run(); }) {}

MemberPipeline::~MemberPipeline() {
  {
    std::unique_lock lock(m_mutex);
    m_stop = true;
    m_queue.clear();
  }
  m_changed.notify_all();
  m_thread.join();
}

void MemberPipeline::ThrowFailure() {
  if (m_failure) std::rethrow_exception(m_failure);
}

void MemberPipeline::DeflateSlot(std::unique_lock<std::mutex>& lock, Slot& slot) {
  slot.claimed = true;
  lock.unlock();
  DeflatedMember result;
  std::exception_ptr failure;
  try {
    if (slot.member.inspect) slot.member.inspect(slot.member.bytes);
    result = Deflate(slot.member.bytes, m_level);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  slot.result = std::move(result);
  slot.failure = failure;
  slot.deflated = true;
  m_changed.notify_all();
}

void MemberPipeline::Add(Member member) {
  std::unique_lock lock(m_mutex);
  ThrowFailure();
  m_queuedBytes += member.bytes.capacity();
  auto slot = std::make_shared<Slot>();
  slot->member = std::move(member);
  m_queue.push_back(std::move(slot));
  // An idle pipeline thread is woken for a batch, not for each member: a
  // wake-up costs the system calls of a small mail.
  if (Ready()) m_changed.notify_all();
  // While too much waits, deflate the newest member no one has taken yet;
  // when all are taken, wait for one to be written.
  while (!m_failure && m_queuedBytes > m_limit && m_queue.size() > 1) {
    std::shared_ptr<Slot> open;
    for (auto it = m_queue.rbegin(); it != m_queue.rend() && !open; ++it)
      if (!(*it)->claimed) open = *it;
    if (open) {
      DeflateSlot(lock, *open);
    } else {
      m_adding = true;
      m_changed.wait(lock);
      m_adding = false;
    }
  }
  ThrowFailure();
}

bool MemberPipeline::Ready() const {
  return m_flushing || m_queue.size() >= kBatch || m_queuedBytes * 2 > m_limit;
}

void MemberPipeline::Flush() {
  std::unique_lock lock(m_mutex);
  m_flushing = true;
  m_changed.notify_all();
  m_changed.wait(lock, [&] { return m_failure || (m_queue.empty() && !m_writing); });
  m_flushing = false;
  ThrowFailure();
}

void MemberPipeline::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    // Once the queue ran dry, the thread waits for a batch; until then it
    // takes one member after the other.
    if (m_queue.empty()) m_changed.wait(lock, [&] { return m_stop || (Ready() && !m_queue.empty() && !m_failure); });
    m_changed.wait(lock, [&] { return m_stop || (!m_queue.empty() && !m_failure); });
    if (m_stop) return;
    const std::shared_ptr<Slot> slot = m_queue.front();
    if (!slot->claimed) DeflateSlot(lock, *slot);
    m_changed.wait(lock, [&] { return m_stop || slot->deflated; });
    if (m_stop) return;
    m_queue.pop_front();
    m_writing = true;
    std::exception_ptr failure = slot->failure;
    lock.unlock();
    if (!failure) {
      try {
        const ZipWriter::Member& written = m_zip.Add(slot->member.name, slot->member.sizeBound, slot->result);
        if (slot->member.written) slot->member.written(written);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    lock.lock();
    m_queuedBytes -= slot->member.bytes.capacity();
    m_writing = false;
    if (failure && !m_failure) m_failure = failure;
    // Only a caller waiting for room, or for the end, wants to know.
    if (m_adding || m_queue.empty() || m_failure) m_changed.notify_all();
  }
}

}  // namespace CV::Components
