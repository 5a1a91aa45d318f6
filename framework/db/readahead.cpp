#include "framework/db/readahead_p.h"

#include <cstring>

#include "framework/db/firebird_p.h"

namespace margivo::detail {

ReadAhead::ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength,
                     std::function<void(const char*)> observe)
    : cursor_(cursor),
      messageLength_(messageLength),
      batchesAhead_(std::clamp(kBytesAhead / (kRowsPerBatch * std::max(messageLength, 1u)),
                               kMinBatchesAhead, kMaxBatchesAhead)),
      observe_(std::move(observe)) {
  thread_ = std::thread([this] { fetch(); });
  if (observe_) observer_ = std::thread([this] { observeRows(); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (observer_.joinable()) observer_.join();
}

void ReadAhead::fetched(Batch batch, bool end, std::exception_ptr error) {
  {
    const std::lock_guard lock(mutex_);
    if (observe_) {
      if (batch.count > 0) fetched_.push_back(std::move(batch));
      fetchEnd_ = end || error;
      fetchError_ = error;
    } else {
      if (batch.count > 0) ready_.push_back(std::move(batch));
      end_ = end || error;
      error_ = error;
    }
  }
  changed_.notify_all();
}

void ReadAhead::fetch() noexcept {
  try {
    Status status;
    for (;;) {
      Batch batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] {
          return stop_ || halt_ || ready_.size() + fetched_.size() < batchesAhead_;
        });
        if (stop_ || halt_) return;
        if (!free_.empty()) {
          batch = std::move(free_.back());
          free_.pop_back();
        }
      }
      batch.rows.resize(kRowsPerBatch * messageLength_);
      batch.count = 0;
      bool end = false;
      std::exception_ptr error;
      try {
        while (batch.count < kRowsPerBatch) {
          char* row = batch.rows.data() + batch.count * messageLength_;
          if (cursor_->fetchNext(&status, row) != Firebird::IStatus::RESULT_OK) {
            end = true;
            break;
          }
          ++batch.count;
        }
      } catch (...) {
        error = std::current_exception();
      }
      fetched(std::move(batch), end, error);
      if (end || error) return;
    }
  } catch (...) {
    // Out of memory for a status or a batch: the reader gets the error
    // after the rows fetched before it.
    fetched(Batch(), true, std::current_exception());
  }
}

void ReadAhead::observeRows() noexcept {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || !fetched_.empty() || fetchEnd_; });
      if (stop_) return;
      if (fetched_.empty()) {
        // Every row observed: the fetch's end is the reader's.
        end_ = true;
        error_ = fetchError_;
        changed_.notify_all();
        return;
      }
      batch = std::move(fetched_.front());
      fetched_.pop_front();
    }
    std::exception_ptr error;
    std::size_t observed = 0;
    try {
      for (; observed < batch.count; ++observed)
        observe_(batch.rows.data() + observed * messageLength_);
    } catch (...) {
      error = std::current_exception();
    }
    batch.count = observed;
    {
      const std::lock_guard lock(mutex_);
      if (batch.count > 0) ready_.push_back(std::move(batch));
      if (error) {
        // The rows end where the observer failed; no more are fetched.
        end_ = true;
        error_ = error;
        halt_ = true;
      }
    }
    changed_.notify_all();
    if (error) return;
  }
}

bool ReadAhead::next(char* message) {
  if (position_ == reading_.count) {
    std::unique_lock lock(mutex_);
    if (reading_.count > 0) {
      free_.push_back(std::move(reading_));
      reading_ = Batch();
      position_ = 0;
      changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !ready_.empty() || end_; });
    if (ready_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return false;
    }
    reading_ = std::move(ready_.front());
    ready_.pop_front();
    position_ = 0;
    changed_.notify_all();
  }
  std::memcpy(message, reading_.rows.data() + position_ * messageLength_, messageLength_);
  ++position_;
  return true;
}

}  // namespace margivo::detail
