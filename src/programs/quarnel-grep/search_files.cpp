#include "programs/quarnel-grep/search_files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "front/progress.h"
#include "platform/folders.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

// What the messages and the lines call standard input.
constexpr std::string_view standard_input_name = "(standard input)";

// An input to search, or what the walk met instead, in its turn.
struct Job {
  std::uint64_t turn = 0;
  WalkStep step = WalkStep::file;
  int handle = -1;
  bool owned = false;      // the handle is closed once searched
  int error = 0;           // why it could not be opened or read
  std::string_view named;  // the name, when it outlives the job (the command line's)
  std::size_t name_size = 0;
  std::array<char, 4096> name{};  // else the name, as the walk shows it

  [[nodiscard]] std::string_view shown() const {
    return named.empty() ? std::string_view(name.data(), name_size) : named;
  }
};

struct Worker {
  OutputWriter* out = nullptr;
  SearchRun run;
};

// Threads that search at most; each holds a block, the lines kept before a
// match and a block of output. A thread done with a file waits for the
// files before it to be written: with two threads a core, the others go
// on while one large file is searched.
constexpr std::size_t threads_a_core = 2;
constexpr std::size_t most_workers = 32;

// A file searched before its turn, whose output is small: kept, with what
// is to be said of it, while the thread goes on to the next file.
struct Parked {
  bool ready = false;
  Job job;
  SearchOutcome outcome;
  bool own_output = false;
  bool skipped = false;
  std::size_t size = 0;
  std::array<char, 4096> text{};
};

struct Run {
  const ProgramText* program = nullptr;
  std::span<const Finder> finders;
  SearchSettings settings;
  bool parallel = false;
  FileIdentity output;  // standard output's file, when it is one
  bool output_known = false;
  std::atomic<bool> matched{false};
  std::atomic<bool> trouble{false};
  std::atomic<bool> write_failed{false};
  std::atomic<int> write_error{0};
  // The jobs walked and not yet taken, in their turns' order.
  std::mutex mutex;
  std::condition_variable filled;   // a job came, or the last one
  std::condition_variable emptied;  // a job was taken
  std::array<Job, 64> jobs{};
  std::size_t first = 0;
  std::size_t count = 0;
  bool closed = false;  // no more jobs come
  std::uint64_t next_turn = 0;
  OutputTurns turns;
  std::array<Parked, 64> parked{};  // at the place of its turn; turns's lock
};

// Whether the run is over before its inputs are: the output failed, or a
// match answers -q.
bool over(const Run& run) {
  return run.write_failed || (run.matched && run.settings.shown == Shown::nothing);
}

// Whether the input is the file that standard output writes: its lines
// would be searched again.
bool is_the_output(Run& run, OutputWriter& out, int handle) {
  if (run.parallel) {
    FileIdentity input;
    return run.output_known && identify_file(handle, input) && input.device == run.output.device &&
           input.number == run.output.number;
  }
  // A file written so far holds data, and is told from a new one.
  if (!flush_output(out)) {
    return false;
  }
  return is_own_output(handle, standard_output);
}

// Says what stood in the way of the job, in its turn.
void report(Run& run, const Job& job, const SearchOutcome& outcome, bool own_output) {
  const ProgramText& program = *run.program;
  const std::string_view name = job.shown();
  bool trouble = true;
  switch (job.step) {
    case WalkStep::file:
      if (own_output) {
        say(program, {name, ": is the output too; not searched"});
      } else if (outcome.result == SearchResult::read_error) {
        say_failed(program, {name, ": read error"}, outcome.error);
      } else {
        trouble = false;
      }
      break;
    case WalkStep::cannot_open:
      say_failed(program, {name, ": cannot open"}, job.error);
      break;
    case WalkStep::read_error:
      say_failed(program, {name, ": read error"}, job.error);
      break;
    case WalkStep::loop:
      // A warning: every file of the folder is searched once, where it was
      // met first.
      say(program, {name, ": leads back to a folder it is in; not searched again"});
      trouble = false;
      break;
    case WalkStep::too_deep:
      say(program, {name, ": nested too deep, or its names too long, to search"});
      break;
    case WalkStep::end:
      trouble = false;
      break;
  }
  if (trouble) {
    run.trouble = true;
  }
}

// Says what the job met and notes its match, in its turn.
void close_job(Run& run, const Job& job, const SearchOutcome& outcome, bool own_output,
               bool skipped) {
  if (!skipped && !over(run)) {
    report(run, job, outcome, own_output);
  }
  if (outcome.matches > 0) {
    run.matched = true;
  }
}

// Parks the job when its turn has not come and its output is small.
bool park(Run& run, OutputWriter& out, const Job& job, const SearchOutcome& outcome,
          bool own_output, bool skipped) {
  const std::lock_guard<std::mutex> lock(run.turns.mutex);
  Parked& slot = run.parked[turn_place(job.turn, run.parked.size())];
  if (run.turns.current == job.turn || slot.ready || out.used > slot.text.size()) {
    return false;
  }
  slot.ready = true;
  slot.job = job;
  slot.outcome = outcome;
  slot.own_output = own_output;
  slot.skipped = skipped;
  slot.size = out.used;
  std::copy_n(out.buffer.data(), out.used, slot.text.data());
  out.used = 0;
  return true;
}

// Once a turn has ended, the parked jobs whose turns come next are closed
// here, their output gathered, and the turn after them begins.
void close_parked(Run& run) {
  std::unique_lock<std::mutex> lock(run.turns.mutex);
  std::uint64_t& current = run.turns.current;
  const std::uint64_t first = current;
  for (Parked* slot = &run.parked[turn_place(current, run.parked.size())];
       slot->ready && slot->job.turn == current;
       slot = &run.parked[turn_place(current, run.parked.size())]) {
    close_job(run, slot->job, slot->outcome, slot->own_output, slot->skipped);
    OutputWriter& gathered = *run.turns.gathered;
    put_output(gathered, std::string_view(slot->text.data(), slot->size));
    if (gathered.failed) {
      run.write_error = gathered.error;
      run.write_failed = true;
    }
    slot->ready = false;
    ++current;
  }
  if (current != first) {
    run.turns.changed[turn_place(current, run.turns.changed.size())].notify_all();
  }
}

void run_job(Run& run, Worker& worker, const Job& job) {
  OutputWriter& out = *worker.out;
  SearchOutcome outcome;
  bool own_output = false;
  const bool skipped = over(run);
  if (job.step == WalkStep::file && !skipped) {
    const bool writes = run.settings.shown == Shown::lines || run.settings.shown == Shown::offsets;
    own_output = writes && is_the_output(run, out, job.handle);
    if (!own_output && !out.failed) {
      progress_file(job.shown());
      SearchSettings settings = run.settings;
      settings.name = job.shown();
      outcome = search_input(job.handle, run.finders, settings, worker.run, out);
    }
  }
  if (job.owned) {
    close_handle(job.handle);
  }
  if (run.parallel && park(run, out, job, outcome, own_output, skipped)) {
    return;
  }
  wait_for_turn(out);
  close_job(run, job, outcome, own_output, skipped);
  if (run.parallel) {
    static_cast<void>(end_turn(out));
    close_parked(run);
  }
  if (out.failed) {
    run.write_error = out.error;
    run.write_failed = true;
  }
}

// Takes the jobs in turn until there are no more.
void work(Run& run, Worker& worker) {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(run.mutex);
      run.filled.wait(lock, [&] { return run.count > 0 || run.closed; });
      if (run.count == 0) {
        return;
      }
      job = run.jobs[run.first];
      run.first = (run.first + 1) % run.jobs.size();
      --run.count;
    }
    run.emptied.notify_one();
    worker.out->turn = job.turn;
    run_job(run, worker, job);
  }
}

// Runs the job at once, or hands it to the threads.
void submit(Run& run, Worker& here, Job& job) {
  if (!run.parallel) {
    run_job(run, here, job);
    return;
  }
  job.turn = run.next_turn++;
  {
    std::unique_lock<std::mutex> lock(run.mutex);
    run.emptied.wait(lock, [&] { return run.count < run.jobs.size(); });
    run.jobs[(run.first + run.count) % run.jobs.size()] = job;
    ++run.count;
  }
  run.filled.notify_one();
}

void search_tree(Run& run, Worker& here, const WalkSettings& settings, std::string_view root,
                 bool implied) {
  static TreeWalk walk;
  static Job job;
  start_walk(walk, settings, root, implied);
  for (WalkStep step; !over(run) && (step = next_in_walk(walk)) != WalkStep::end;) {
    const std::string_view name = walk_name(walk);
    job.step = step;
    job.handle = step == WalkStep::file ? walk.handle : -1;
    job.owned = step == WalkStep::file;
    job.error = walk.error;
    job.named = {};
    job.name_size = name.copy(job.name.data(), job.name.size());
    submit(run, here, job);
  }
  stop_walk(walk);
}

// Whether the inputs hold a folder to walk.
bool walks(const Inputs& inputs) {
  return inputs.implied_tree ||
         (inputs.recursive && std::any_of(inputs.names.begin(), inputs.names.end(), [](auto name) {
            return std::string_view(name) != "-" && kind_of(name, true) == FileKind::folder;
          }));
}

}  // namespace

Searched search_inputs(const ProgramText& program, const Inputs& inputs,
                       std::span<const Finder> finders, const SearchSettings& settings,
                       OutputWriter& out) {
  static Run run;
  run.program = &program;
  run.matched = false;
  run.trouble = false;
  run.write_failed = false;
  run.closed = false;
  run.next_turn = 0;
  run.turns.current = 0;
  run.finders = finders;
  run.settings = settings;
  // Files are searched at the same time only where each one's lines are
  // whole without the one's before: lines parted by "--" are not.
  const std::size_t cores = std::thread::hardware_concurrency();
  const std::size_t count = std::min(cores * threads_a_core, most_workers);
  run.parallel = cores > 1 && !settings.parted && walks(inputs);
  static std::array<OutputWriter, most_workers> outputs{};
  static std::array<SearchSpace, most_workers> spaces{};
  static std::array<Worker, most_workers> workers{};
  std::array<std::thread, most_workers> threads{};
  run.turns.gathered = &out;
  if (run.parallel) {
    run.output_known =
        is_regular_file(standard_output) && identify_file(standard_output, run.output);
    for (std::size_t k = 0; k < count; ++k) {
      outputs[k].fd = out.fd;
      outputs[k].turns = &run.turns;
      outputs[k].used = 0;
      workers[k] = {&outputs[k], SearchRun{.space = &spaces[k]}};
      threads[k] = std::thread(work, std::ref(run), std::ref(workers[k]));
    }
  }
  Worker here{&out, SearchRun{}};
  if (inputs.implied_tree) {
    search_tree(run, here, inputs.walk, ".", true);
  }
  static Job job;
  for (const char* name : inputs.names) {
    if (over(run)) {
      break;
    }
    const bool is_standard = std::string_view(name) == "-";
    if (inputs.recursive && !is_standard && kind_of(name, true) == FileKind::folder) {
      search_tree(run, here, inputs.walk, name, false);
      continue;
    }
    job.handle = is_standard ? standard_input : open_input(name);
    job.step = job.handle >= 0 ? WalkStep::file : WalkStep::cannot_open;
    job.error = job.handle >= 0 ? 0 : last_error();
    job.owned = job.handle >= 0 && !is_standard;
    job.named = is_standard ? standard_input_name : name;
    submit(run, here, job);
  }
  if (run.parallel) {
    {
      const std::lock_guard<std::mutex> lock(run.mutex);
      run.closed = true;
    }
    run.filled.notify_all();
    for (std::size_t k = 0; k < count; ++k) {
      threads[k].join();
    }
    if (run.write_failed) {
      out.error = run.write_error;
    }
  }
  return {run.matched, run.trouble, run.write_failed};
}

}  // namespace quarnel
