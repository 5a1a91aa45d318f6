#include "framework/db/readahead_p.h"

#include <cstring>

#include "framework/db/firebird_p.h"

namespace margivo::detail {

ReadAhead::ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength,
                     std::function<void(const char*)> observe)
    : cursor_(cursor), messageLength_(messageLength), observe_(std::move(observe)) {
  thread_ = std::thread([this] { fetch(); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::fetch() noexcept {
  try {
    Status status;
    for (;;) {
      Batch batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || ready_.size() < kBatchesAhead; });
        if (stop_) return;
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
          if (observe_) observe_(row);
          ++batch.count;
        }
      } catch (...) {
        error = std::current_exception();
      }
      {
        const std::lock_guard lock(mutex_);
        if (batch.count > 0) ready_.push_back(std::move(batch));
        end_ = end || error;
        error_ = error;
      }
      changed_.notify_all();
      if (end || error) return;
    }
  } catch (...) {
    // Out of memory for a status or a batch: the reader gets the error
    // after the rows fetched before it.
    const std::lock_guard lock(mutex_);
    error_ = std::current_exception();
    end_ = true;
    changed_.notify_all();
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
