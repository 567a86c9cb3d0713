#include "platform/write_behind.h"

#include <algorithm>
#include <cstring>

namespace zelfin {
namespace {

// Large enough that one write call moves a lot, small enough that three stay
// a small part of what a division holds; writing in the caller's calls needs
// one, and less.
constexpr size_t kHelperBufferSize = size_t{1} << 20;
constexpr int kHelperBuffers = 3;
constexpr size_t kOwnBufferSize = size_t{1} << 20;

}  // namespace

WriteBehind::WriteBehind(Heartbeat& heartbeat, Writer writer, LateCloser* replaced)
    : buffer_size_(writer == Writer::kHelper ? kHelperBufferSize : kOwnBufferSize),
      replaced_(replaced),
      heartbeat_(heartbeat) {
  const bool helper = writer == Writer::kHelper;
  for (int i = 0; i < (helper ? kHelperBuffers : 1); ++i) {
    buffers_.push_back(std::make_unique_for_overwrite<char[]>(buffer_size_));
    free_.push_back(buffers_.back().get());
  }
  begin_ = end_ = free_.back();
  limit_ = begin_ + buffer_size_;
  free_.pop_back();
  // Without a thread every job is done in the caller's calls.
  if (helper) helper_.Start([this] { HelperLoop(); });
}

WriteBehind::~WriteBehind() {
  if (helper_.Started()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(Job{Job::kDrop, {}, nullptr, 0});
      stop_ = true;
    }
    changed_.notify_all();
    helper_.Join();
  }
  writer_.reset();  // a file not committed: its temporary goes
}

void WriteBehind::Begin(const std::string& path) {
  Submit(Job{Job::kBegin, path, nullptr, 0});
}

void WriteBehind::Append(std::string_view data) {
  while (!data.empty()) {
    if (end_ == limit_) NextBuffer();
    const size_t n = std::min(data.size(), static_cast<size_t>(limit_ - end_));
    std::memcpy(end_, data.data(), n);
    end_ += n;
    data.remove_prefix(n);
  }
}

void WriteBehind::Commit() {
  Flush();
  Submit(Job{Job::kCommit, {}, nullptr, 0});
}

void WriteBehind::Finish() {
  if (helper_.Started()) {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitGivingTurns(
        lock, changed_, [&] { return (jobs_.empty() && !busy_) || failure_; }, heartbeat_);
  }
  RaiseFailure();
}

// Hands the filled part of the current buffer over and takes a free one.
void WriteBehind::NextBuffer() {
  Submit(Job{Job::kData, {}, begin_, static_cast<size_t>(end_ - begin_)});
  char* next = nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitGivingTurns(
        lock, changed_, [&] { return !free_.empty(); }, heartbeat_);
    next = free_.back();
    free_.pop_back();
  }
  begin_ = end_ = next;
  limit_ = next + buffer_size_;
  RaiseFailure();
}

void WriteBehind::Submit(Job job) {
  if (!helper_.Started()) {
    Do(job);  // raises at once
    return;
  }
  RaiseFailure();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

void WriteBehind::RaiseFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failure = failure_;
  }
  if (failure) std::rethrow_exception(failure);
}

// One job, on whichever thread writes. A buffer goes back to the free list
// whatever happens to its data.
void WriteBehind::Do(const Job& job) {
  struct ReturnBuffer {
    WriteBehind& self;
    char* data;
    ~ReturnBuffer() {
      if (data == nullptr) return;
      std::lock_guard<std::mutex> lock(self.mutex_);
      self.free_.push_back(data);
    }
  } give_back{*this, job.data};
  switch (job.kind) {
    case Job::kBegin:
      writer_.reset();
      writer_ = std::make_unique<AtomicFileWriter>(job.path);
      break;
    case Job::kData:
      if (writer_) writer_->Write(std::string_view(job.data, job.size));
      break;
    case Job::kCommit:
      if (writer_) writer_->Commit(replaced_);
      writer_.reset();
      break;
    case Job::kDrop:
      writer_.reset();
      break;
  }
}

void WriteBehind::HelperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !jobs_.empty() || stop_; });
    if (jobs_.empty()) return;
    const Job job = std::move(jobs_.front());
    jobs_.pop_front();
    if (failure_) {
      // After a failure nothing more is written; buffers still come back.
      if (job.data != nullptr) free_.push_back(job.data);
      changed_.notify_all();
      continue;
    }
    busy_ = true;
    lock.unlock();
    std::exception_ptr failure;
    try {
      Do(job);
    } catch (...) {
      failure = std::current_exception();
      writer_.reset();  // the failed file's temporary goes at once
    }
    lock.lock();
    busy_ = false;
    if (failure && !failure_) failure_ = failure;
    changed_.notify_all();
  }
}

}  // namespace zelfin
