// The job ring.
#include "comm/client_job_queue.h"

#include "platform/error.h"

namespace tolvek {

TClientJobQueue::TClientJobQueue(size_t capacity) : jobs_(new TClientJob[capacity + 1]), size_(capacity + 1) {
  for (size_t i = 0; i < size_; ++i) jobs_[i].Next = &jobs_[(i + 1) % size_];
  head_ = tail_ = &jobs_[0];
}

TClientJob& TClientJobQueue::GetNewJob() {
  if (Full()) throw EError("TClientJobQueue.GetNewJob: FULL");
  TClientJob* next = tail_->Next;
  *tail_ = TClientJob{};
  tail_->Next = next;
  return *tail_;
}

void TClientJobQueue::Insert() {
  if (Full()) throw EError("TClientJobQueue.Insert: FULL");
  tail_ = tail_->Next;
}

TClientJob& TClientJobQueue::GetTopJob() {
  if (Empty()) throw EError("TClientJobQueue.GetTopJob: EMPTY");
  return *head_;
}

void TClientJobQueue::DeleteHead() {
  if (Empty()) throw EError("TClientJobQueue.DeleteHead: EMPTY");
  head_->Callback = nullptr;
  head_ = head_->Next;
}

size_t TClientJobQueue::Count() const {
  return (static_cast<size_t>(tail_ - jobs_.get()) + size_ - static_cast<size_t>(head_ - jobs_.get())) % size_;
}

}  // namespace tolvek
