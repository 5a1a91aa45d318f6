// Internal: fetching a forward-only cursor's rows ahead of the reader.
#pragma once

#include <firebird/Interface.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace margivo::detail {

// Fetches a cursor's rows on a thread of its own, a few batches ahead of
// the reader, so that the engine's work on the next rows overlaps with
// whatever the reader does with the current one. The client library
// serializes the calls made on one attachment, so the other statements the
// reader runs meanwhile are safe. Only fetchNext() runs on the thread; the
// rows come out in order, and a failed fetch comes out after the rows read
// before it.
class ReadAhead {
 public:
  // Starts fetching `messageLength`-byte rows from `cursor`, handing each
  // to `observe` (when given) on the thread as it arrives; an exception from
  // it is the fetch's.
  ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength,
            std::function<void(const char*)> observe = {});
  // Stops the thread (after its current fetch) and waits for it.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Copies the next row into `message`; false at the end. Rethrows the
  // error of a failed fetch (Firebird::FbException).
  bool next(char* message);

 private:
  struct Batch {
    std::vector<char> rows;  // `count` messages back to back
    std::size_t count = 0;
  };
  static constexpr std::size_t kRowsPerBatch = 64;
  static constexpr std::size_t kBatchesAhead = 8;

  void fetch() noexcept;

  Firebird::IResultSet* const cursor_;
  const unsigned messageLength_;
  const std::function<void(const char*)> observe_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;   // fetched, not yet read
  std::vector<Batch> free_;   // read, to be filled again
  bool end_ = false;          // the thread has fetched its last row
  bool stop_ = false;         // the reader is gone
  std::exception_ptr error_;  // the failed fetch, after the rows before it
  Batch reading_;             // the batch the reader is on
  std::size_t position_ = 0;  // its next row
  std::thread thread_;
};

}  // namespace margivo::detail
