// SPDX-License-Identifier: MIT
#include "lexswap/text_pass.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/command.h"

namespace {

// Entries go to the threads in blocks: small enough that the threads end
// together and the progress marks come steadily, large enough that handing
// them out costs nothing beside the work.
constexpr std::size_t k_block = 256;

// Applies the rules to the entries of block `block`; the first failure, if
// any. Memory that runs out is caught here, on whichever thread works on
// the block.
std::optional<pass_failure> work_on_block(const std::vector<ie_res_talk_entry*>& entries,
                                          std::size_t block, rule_applier& rules,
                                          std::string& working) noexcept {
  const std::size_t from = block * k_block;
  const std::size_t to = std::min(entries.size(), from + k_block);
  std::size_t i = from;
  std::optional<pass_failure> failure;
  bool enough = within_memory([&] {
    for (; i < to && !failure; ++i) {
      // The work goes on in a buffer of its own, which keeps its room from
      // text to text; each entry's text is then copied once, to its size.
      working = std::as_const(*entries[i]).text();
      if (std::optional<apply_failure> stop = rules.apply(working)) {
        failure = pass_failure{i, *stop};
      } else {
        entries[i]->set_text(working);
      }
    }
  });
  if (!enough) return pass_failure{i, {apply_error::out_of_memory}};
  return failure;
}

// What the threads tell the calling thread, block by block.
class block_board {
 public:
  explicit block_board(std::size_t blocks) : done_(blocks, 0), failures_(blocks) {
    stop_at_ = blocks;
  }

  // The next block to work on, or nothing when no block is left that
  // matters.
  std::optional<std::size_t> take() {
    std::size_t block = next_.fetch_add(1);
    if (block >= stop_at_.load()) return std::nullopt;
    return block;
  }

  void finish(std::size_t block, std::optional<pass_failure> failure) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_[block] = 1;
      failures_[block] = failure;
      // The blocks after a failed one do not change the result. Every block
      // before it has been taken already, since blocks are taken in order.
      if (failure) stop_at_ = std::min(stop_at_.load(), block + 1);
    }
    finished_.notify_all();
  }

  // Waits until `block` is done; its failure.
  std::optional<pass_failure> wait(std::size_t block) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return done_[block] != 0; });
    return failures_[block];
  }

  void stop() { stop_at_ = 0; }

 private:
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> stop_at_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<unsigned char> done_;
  std::vector<std::optional<pass_failure>> failures_;
};

// The progress marks: `progress` is told of each new count of entries done,
// in order, and of the entries done before a failure.
class progress_report {
 public:
  progress_report(std::size_t count, const std::function<void(std::size_t)>& progress)
      : count_(count), progress_(progress) {}

  void block_done(std::size_t block) { done_up_to(std::min(count_, (block + 1) * k_block)); }
  pass_failure failed(const pass_failure& failure) {
    done_up_to(failure.entry);
    return failure;
  }

 private:
  void done_up_to(std::size_t count) {
    if (count > reported_) progress_(count);
    reported_ = count;
  }

  std::size_t count_;
  const std::function<void(std::size_t)>& progress_;
  std::size_t reported_ = 0;
};

// The pass on the calling thread alone.
std::optional<pass_failure> work_alone(const std::vector<ie_res_talk_entry*>& entries,
                                       std::size_t blocks, const rule_applier& rules,
                                       progress_report& report) {
  rule_applier own(rules);
  std::string working;
  for (std::size_t block = 0; block < blocks; ++block) {
    if (std::optional<pass_failure> failure = work_on_block(entries, block, own, working))
      return report.failed(*failure);
    report.block_done(block);
  }
  return std::nullopt;
}

// Threads that take blocks from the board, each with its own copy of the
// rules (the compiled rules are shared, the memory for a text's work is
// not); stopped and joined when the pool goes.
class worker_pool {
 public:
  worker_pool(block_board& board, const std::vector<ie_res_talk_entry*>& entries,
              const rule_applier& rules, std::size_t wanted)
      : board_(board) {
    if (wanted <= 1) return;
    copies_.reserve(wanted);
    for (std::size_t i = 0; i < wanted; ++i) copies_.emplace_back(rules);
    threads_.reserve(wanted);
    for (rule_applier& copy : copies_) {
      try {
        threads_.emplace_back([&board, &entries, &copy] {
          std::string own_working;
          while (std::optional<std::size_t> block = board.take())
            board.finish(*block, work_on_block(entries, *block, copy, own_working));
        });
      } catch (const std::system_error&) {
        // A thread that cannot start leaves the work to the others, or to
        // the calling thread.
        break;
      }
    }
  }
  ~worker_pool() {
    board_.stop();
    for (std::thread& thread : threads_) thread.join();
  }
  worker_pool(const worker_pool&) = delete;
  worker_pool& operator=(const worker_pool&) = delete;

  bool empty() const { return threads_.empty(); }

 private:
  block_board& board_;
  std::vector<rule_applier> copies_;
  std::vector<std::thread> threads_;
};

// The pass itself; may throw what the calling thread's own allocations
// throw.
std::optional<pass_failure> run_pass(const std::vector<ie_res_talk_entry*>& entries,
                                     const rule_applier& rules, unsigned threads,
                                     const std::function<void(std::size_t)>& progress) {
  const std::size_t blocks = (entries.size() + k_block - 1) / k_block;
  progress_report report(entries.size(), progress);
  block_board board(blocks);
  worker_pool pool(board, entries, rules, std::min<std::size_t>(threads, blocks));
  if (pool.empty()) return work_alone(entries, blocks, rules, report);
  for (std::size_t block = 0; block < blocks; ++block) {
    // The pool stops and joins the threads on the way out.
    if (std::optional<pass_failure> failure = board.wait(block)) return report.failed(*failure);
    report.block_done(block);
  }
  return std::nullopt;
}

}  // namespace

unsigned processor_count() {
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

std::optional<pass_failure> apply_to_texts(const std::vector<ie_res_talk_entry*>& entries,
                                           const rule_applier& rules, unsigned threads,
                                           const std::function<void(std::size_t)>& progress) {
  std::optional<pass_failure> failure;
  if (!within_memory([&] { failure = run_pass(entries, rules, threads, progress); }))
    return pass_failure{0, {apply_error::out_of_memory}};
  return failure;
}
