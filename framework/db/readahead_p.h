// Internal: fetching a forward-only cursor's rows ahead of the reader.
#pragma once

#include <firebird/Interface.h>

#include <algorithm>
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
// before it. An observer of the rows runs on a second thread, between the
// fetching one and the reader: the fetching thread only fetches, so that the
// engine (a server's, on the other side of the network above all) never
// waits for the observer's work.
class ReadAhead {
 public:
  // Starts fetching `messageLength`-byte rows from `cursor`, handing each
  // to `observe` (when given), in order and before the reader can have it,
  // on a thread of its own; an exception from it ends the rows there, as a
  // failed fetch does.
  ReadAhead(Firebird::IResultSet* cursor, unsigned messageLength,
            std::function<void(const char*)> observe = {});
  // Stops the threads (after the current fetch) and waits for them.
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
  // How far ahead the thread fetches. Through a server the rows come in
  // the client library's own batches, and the library asks for the next
  // one only as the thread takes rows from the current: with a few hundred
  // rows ahead the thread stopped, the server waited for it and the reader
  // for the server, while neither processor was busy (a year's refresh took
  // 0.3 s longer). So a few megabytes' worth of rows, within bounds.
  static constexpr std::size_t kBytesAhead = std::size_t(4) << 20;
  static constexpr std::size_t kMinBatchesAhead = 8, kMaxBatchesAhead = 128;

  void fetch() noexcept;
  // The fetching thread's batch or its end, to the observer or the reader.
  void fetched(Batch batch, bool end, std::exception_ptr error);
  void observeRows() noexcept;

  Firebird::IResultSet* const cursor_;
  const unsigned messageLength_;
  const std::size_t batchesAhead_;
  const std::function<void(const char*)> observe_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;        // fetched (and observed), not yet read
  std::deque<Batch> fetched_;      // fetched, not yet observed
  bool fetchEnd_ = false;          // the last row is in fetched_
  std::exception_ptr fetchError_;  // after it
  bool halt_ = false;              // the observer failed: fetch no more
  std::vector<Batch> free_;        // read, to be filled again
  bool end_ = false;               // no rows will come after ready_
  bool stop_ = false;              // the reader is gone
  std::exception_ptr error_;       // the failed fetch, after the rows before it
  Batch reading_;                  // the batch the reader is on
  std::size_t position_ = 0;       // its next row
  std::thread thread_;
  std::thread observer_;
};

}  // namespace margivo::detail
