#include "transport/samplingpipeline.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/check.h"
#include "core/hints.h"
#include "core/mt19937.h"
#include "transport/scattering.h"

namespace {

// The most words one step can draw: the branch, the choice's two, the lobe,
// and two for each glossy candidate.
constexpr size_t kMostWordsOfAStep = 1 + 2 + 1 + 2 * size_t(kGlossyAttemptLimit);
// The words a step's scattering takes when its glossy lobe accepts the first
// candidate (the lobe, then u1 and u2), and a new path's (light, z, phi).
constexpr size_t kTracedWords = 3;
// Words kept from the oldest outstanding step on: the steps ahead (at most
// six words each) and the longest step after them fit with room to spare.
constexpr size_t kTapeWords = size_t(1) << 15;
// Steps traced ahead per thread, and the bounds: enough to keep every thread
// busy, few enough that a miss throws little work away.
constexpr size_t kStepsAheadPerThread = 16;
constexpr size_t kFewestStepsAhead = 32;
constexpr size_t kMostStepsAhead = 1024;
static_assert(kMostStepsAhead * 6 + kMostWordsOfAStep < kTapeWords, "the tape holds every outstanding step");
// Steps whose chosen slot is fetched before this thread reaches them: a
// few microseconds of running ahead, about the time memory takes.
constexpr int kPickFetchDistance = 32;

constexpr uint64_t kNoStep = UINT64_MAX;
// Slots for each step that may be ahead: a slot is written again only when
// the step it held last is done, and a thread that was descheduled while
// tracing a step taken back may hold it long after.
constexpr size_t kSlotsPerStepAhead = 4;
// Steps whose slot is fetched before the committing thread writes or reads it.
constexpr size_t kSlotFetchDistance = 4;
// Steps a thread other than the committing one takes to trace at once: one
// claim of the shared count for both.
constexpr uint64_t kStepsTakenTogether = 2;
// Checks for a result before the committing thread traces the step itself:
// about the time of a step.
constexpr int kPatience = 256;
// Checks of an idle thread for its next step before it yields its core,
// and yields before it sleeps between its checks.
constexpr int kIdleChecks = 256;
constexpr int kIdleYields = 1000;

thread_local PipelineCounts last_counts{};

// The generator's words from the oldest step not yet committed on, so that
// steps can be drawn again after they are taken back. Positions count words
// from the start of the pipeline.
class WordTape {
 public:
  WordTape() : words_(kTapeWords) {}

  // Forgets every word and saved state: the generator's next word is the
  // word at position.
  void Restart(uint64_t position) {
    base_ = position;
    filled_ = position;
    saved_.clear();
  }

  // Records words at least through position + kMostWordsOfAStep, forgetting
  // those before `kept`, the start of the oldest step still outstanding.
  void Reach(uint64_t position, uint64_t kept) {
    if (position + kMostWordsOfAStep <= filled_) return;
    std::memmove(words_.data(), words_.data() + (kept - base_), size_t(filled_ - kept) * sizeof(uint32_t));
    base_ = kept;
    while (saved_.size() >= 2 && saved_[1].position <= kept) saved_.pop_front();
    saved_.push_back(Saved{filled_, SaveGenerator()});
    DrawWords(&words_[size_t(filled_ - base_)], size_t(base_ + kTapeWords - filled_));
    filled_ = base_ + kTapeWords;
  }

  // The recorded words from position on, for the draws of this thread.
  RecordedWords From(uint64_t position, uint32_t past_end) const {
    return RecordedWords{&words_[size_t(position - base_)], size_t(filled_ - position), 0, past_end};
  }

  uint32_t At(uint64_t position) const { return words_[size_t(position - base_)]; }

  // Leaves the generator as if exactly the words before position had been
  // drawn from it (position is at or after the oldest kept step).
  void RewindGeneratorTo(uint64_t position) {
    size_t k = saved_.size();
    while (k > 1 && saved_[k - 1].position > position) k--;
    RestoreGenerator(saved_[k - 1].state);
    for (uint64_t p = saved_[k - 1].position; p < position; p++) genrand_int32();
  }

 private:
  struct Saved {
    uint64_t position;
    MT19937State state;
  };
  std::vector<uint32_t> words_;
  uint64_t base_ = 0;        // the position of words_[0]
  uint64_t filled_ = 0;      // the position after the last recorded word
  std::deque<Saved> saved_;  // the generator before each recording, oldest first
};

struct StepResult {
  bool hit = false;
  bool redrew = false;  // the scattering wanted more words than recorded
  CVSample sample{};
};

// One step handed to the threads: written by the running-ahead thread, then
// traced by one thread, then read back when it is committed.
struct alignas(64) StepSlot {
  std::atomic<uint64_t> done{kNoStep};  // the step whose result is written here
  bool from_light = false;
  uint32_t words[kTracedWords] = {};
  CVSample parent{};
  StepResult result;
};

// Asks for every line of the slot, to be read or to be written: a slot moves
// between the threads' caches twice a step.
void FetchSlot(const StepSlot& slot, bool for_writing) {
  const char* bytes = reinterpret_cast<const char*>(&slot);
  for (size_t line = 0; line < sizeof(StepSlot); line += 64) {
    if (for_writing) {
      PrefetchForWriting(bytes + line);
    } else {
      PrefetchForReading(bytes + line);
    }
  }
}

struct Pipeline {
  Pipeline(CV_scene s, RayQuery q, const CVDataSet& d, size_t slot_count)
      : scene(s), query(q), dataset(d), slots(slot_count) {}
  StepSlot& SlotOf(uint64_t step) { return slots[size_t(step % slots.size())]; }

  CV_scene scene;
  RayQuery query;
  CVDataSet dataset;  // its slots and capacity; the count is the committing thread's
  std::vector<StepSlot> slots;
  // Each on a line of its own: the committing thread writes the first on
  // every step, the tracing threads the second.
  alignas(64) std::atomic<uint64_t> published{0};      // steps handed out so far
  alignas(64) std::atomic<uint64_t> claimed{0};        // the next step a thread takes to trace
  alignas(64) std::atomic<uint64_t> discard_below{0};  // steps below this not yet traced are taken back
  // The stretch of slots the stored samples reached last (see
  // StretchDueAfter), and the last one a thread with nothing else to do paged in.
  alignas(64) std::atomic<uint64_t> stretch_due{0};
  std::atomic<uint64_t> stretch_paged{0};
  std::atomic<bool> stop{false};
  // The threads other than the committing one sleep on `wake` while parked.
  std::atomic<bool> parked{false};
  std::mutex mutex;
  std::condition_variable wake;
};

// Puts the other threads to sleep once they finish the step in hand.
void Park(Pipeline& pipeline) {
  std::lock_guard<std::mutex> lock(pipeline.mutex);
  pipeline.parked.store(true, std::memory_order_relaxed);
}

void Wake(Pipeline& pipeline) {
  {
    std::lock_guard<std::mutex> lock(pipeline.mutex);
    pipeline.parked.store(false, std::memory_order_relaxed);
  }
  pipeline.wake.notify_all();
}

void Stop(Pipeline& pipeline) {
  {
    std::lock_guard<std::mutex> lock(pipeline.mutex);
    pipeline.stop.store(true, std::memory_order_relaxed);
  }
  pipeline.wake.notify_all();
}

void SleepWhileParked(Pipeline& pipeline) {
  std::unique_lock<std::mutex> lock(pipeline.mutex);
  pipeline.wake.wait(lock, [&pipeline] {
    return !pipeline.parked.load(std::memory_order_relaxed) || pipeline.stop.load(std::memory_order_relaxed);
  });
}

// A glossy lobe that wants more words than recorded is traced again in order
// anyway; the largest word gives the candidate along the mirror direction,
// which ends the lobe's loop at once rather than after every attempt.
constexpr uint32_t kWordPastTheRecord = 0xffffffffu;

StepResult TraceTask(const Pipeline& pipeline, const StepSlot& slot) {
  StepResult result;
  RecordedWords recorded{slot.words, kTracedWords, 0, kWordPastTheRecord};
  DrawFromRecordedWords(&recorded);
  result.hit = slot.from_light ? TraceNewPath(pipeline.scene, pipeline.query, result.sample)
                               : TraceContinuedPath(pipeline.scene, slot.parent, pipeline.query, result.sample);
  DrawFromRecordedWords(nullptr);
  result.redrew = recorded.taken > kTracedWords;
  return result;
}

void TraceSlot(Pipeline& pipeline, StepSlot& slot, uint64_t step) {
  bool taken_back = step < pipeline.discard_below.load(std::memory_order_relaxed);
  slot.result = taken_back ? StepResult{} : TraceTask(pipeline, slot);
  slot.done.store(step, std::memory_order_release);
}

// Traces up to `most` published steps nobody has taken yet, taken together;
// false when there is none. A thread takes only published steps, so that no
// step waits for a thread that is resting. The committing thread takes one
// at a time, so that the step it waits for is never held behind another;
// the others take a few, fetching the next one's slot while they trace.
bool TraceWaitingSteps(Pipeline& pipeline, uint64_t most) {
  uint64_t published = pipeline.published.load(std::memory_order_acquire);
  uint64_t step = pipeline.claimed.load(std::memory_order_relaxed);
  while (step < published) {
    uint64_t taken = std::min(most, published - step);
    if (pipeline.claimed.compare_exchange_weak(step, step + taken, std::memory_order_relaxed)) {
      for (uint64_t k = 0; k < taken; k++) {
        if (k + 1 < taken) FetchSlot(pipeline.SlotOf(step + k + 1), false);
        TraceSlot(pipeline, pipeline.SlotOf(step + k), step + k);
      }
      return true;
    }
  }
  return false;
}

// The result of a published step, tracing waiting steps meanwhile: the
// slot's, read in place. A step whose thread is slow (or not running: the
// machine may have fewer free cores than threads) is traced here as well
// rather than waited for, into `own`.
const StepResult& AwaitStep(Pipeline& pipeline, const StepSlot& slot, uint64_t step, StepResult& own) {
  for (int patience = 0;; patience++) {
    if (slot.done.load(std::memory_order_acquire) == step) return slot.result;
    if (TraceWaitingSteps(pipeline, 1)) continue;
    if (patience > kPatience) {
      last_counts.traced_twice++;
      own = TraceTask(pipeline, slot);
      return own;
    }
  }
}

// Pages in the stretch of slots the stored samples reached last, unless
// another thread has; false when there is none to page in.
bool PageInDueStretch(Pipeline& pipeline) {
  uint64_t due = pipeline.stretch_due.load(std::memory_order_relaxed);
  uint64_t paged = pipeline.stretch_paged.load(std::memory_order_relaxed);
  if (due <= paged || !pipeline.stretch_paged.compare_exchange_strong(paged, due, std::memory_order_relaxed)) {
    return false;
  }
  PageInStretch(pipeline.dataset, due);
  return true;
}

void Work(Pipeline& pipeline) {
  int idle = 0;
  while (!pipeline.stop.load(std::memory_order_relaxed)) {
    if (pipeline.parked.load(std::memory_order_relaxed)) {
      SleepWhileParked(pipeline);
      idle = 0;
    } else if (TraceWaitingSteps(pipeline, kStepsTakenTogether) || PageInDueStretch(pipeline)) {
      idle = 0;
    } else if (idle < kIdleChecks) {
      idle++;
    } else if (idle < kIdleChecks + kIdleYields) {
      idle++;
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }
}

// A step traced ahead and not yet committed.
struct Outstanding {
  uint64_t step;
  uint64_t start;  // its first word
  uint64_t end;    // the word after its last, with a first-candidate lobe
  bool picked;     // it chose a parent (pick says how)
  DataSetPick pick;
};

// Fetches the slots that steps a few ahead will choose, read off the tape
// with the same assumptions as the running ahead. Only a hint: a wrong guess
// costs a fetch.
class PickFetcher {
 public:
  void Restart(uint64_t position, uint32_t count) {
    position_ = position;
    count_ = count;
    lead_ = 0;
  }
  void Advance(const WordTape& tape, const CVDataSet& dataset, float light_chance) {
    lead_--;
    while (lead_ < kPickFetchDistance) {
      float r = float(Real3OfWord(tape.At(position_)));
      if (r < light_chance) {
        position_ += 1 + kTracedWords;
      } else {
        size_t start = size_t(Real2OfWord(tape.At(position_ + 1)) * double(count_));
        if (start < dataset.count) {
          PrefetchForReading(&dataset.samples[start]);
          PrefetchForReading(&dataset.samples[start].visible);
          // About every other choice goes on to the next slot: its start is
          // absorbed, or its roulette ends the path there.
          if (start + 1 < dataset.count) PrefetchForReading(&dataset.samples[start + 1].absorbed);
        }
        position_ += 3 + kTracedWords;
      }
      count_++;
      lead_++;
    }
  }

 private:
  uint64_t position_ = 0;
  uint32_t count_ = 0;
  int lead_ = 0;  // steps the fetches are ahead of the running ahead
};

// The steps traced ahead, oldest first, in a ring of fixed size: the
// committing thread adds and drops one on every step.
class OutstandingSteps {
 public:
  OutstandingSteps() : steps_(kRingSize) {}
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  // The k-th oldest.
  const Outstanding& operator[](size_t k) const { return steps_[(first_ + k) % kRingSize]; }
  const Outstanding& front() const { return (*this)[0]; }
  // The place after the newest, to be filled in and then kept by push_back.
  Outstanding& back_place() {
    CORVANE_CHECK(size_ < kRingSize);
    return steps_[(first_ + size_) % kRingSize];
  }
  void push_back() { size_++; }
  void pop_front() {
    CORVANE_CHECK(size_ > 0);
    first_ = (first_ + 1) % kRingSize;
    size_--;
  }
  void clear() { size_ = 0; }

 private:
  static constexpr size_t kRingSize = kMostStepsAhead;
  std::vector<Outstanding> steps_;
  size_t first_ = 0;
  size_t size_ = 0;
};

// Where the committing thread stands: the steps traced ahead, oldest first,
// and the words and counts at both ends.
struct Ahead {
  WordTape tape;
  PickFetcher fetcher;
  OutstandingSteps outstanding;
  uint64_t committed = 0;      // the first word of the oldest step not committed
  uint64_t running = 0;        // the first word of the next step to trace ahead
  uint32_t running_count = 0;  // the data set's count for that step if all before it hit
  uint64_t published = 0;      // steps handed out so far
};

// Waits until the slot's previous step is done with, tracing waiting steps.
void AwaitFreeSlot(Pipeline& pipeline, const StepSlot& slot, uint64_t published) {
  if (published < pipeline.slots.size()) return;
  uint64_t previous = published - pipeline.slots.size();
  while (slot.done.load(std::memory_order_acquire) != previous) {
    if (!TraceWaitingSteps(pipeline, 1)) std::this_thread::yield();
  }
}

// Draws the next step ahead (choosing its parent among the stored samples)
// and hands it out. False, handing out nothing, when the choice needs a
// slot still outstanding.
bool RunAhead(Pipeline& pipeline, Ahead& ahead, CVDataSet& dataset, float light_chance) {
  ahead.tape.Reach(ahead.running, ahead.committed);
  StepSlot& slot = pipeline.SlotOf(ahead.published);
  AwaitFreeSlot(pipeline, slot, ahead.published);
  // Filled in where it is kept: a copy's wide loads would wait on the
  // narrow stores just made.
  Outstanding& step = ahead.outstanding.back_place();
  step = Outstanding{ahead.published, ahead.running, ahead.running, false, {}};
  RecordedWords recorded = ahead.tape.From(ahead.running, 0);
  DrawFromRecordedWords(&recorded);
  float r = float(genrand_real3());
  slot.from_light = r < light_chance;
  if (!slot.from_light) {
    CVDataSet so_far{dataset.capacity, ahead.running_count, dataset.samples};
    step.picked = PickFromKnownSlots(so_far, dataset.count, step.pick);
    if (step.picked) slot.parent = dataset.samples[step.pick.continued];
  }
  for (uint32_t& word : slot.words) word = genrand_int32();
  DrawFromRecordedWords(nullptr);
  if (!slot.from_light && !step.picked) return false;
  step.end = ahead.running + recorded.taken;
  ahead.outstanding.push_back();
  ahead.published++;
  pipeline.published.store(ahead.published, std::memory_order_release);
  FetchSlot(pipeline.SlotOf(ahead.published + kSlotFetchDistance), true);
  ahead.running = step.end;
  ahead.running_count++;
  ahead.fetcher.Advance(ahead.tape, dataset, light_chance);
  return true;
}

// Undoes the absorbed flags that the outstanding steps' choices changed, the
// latest first, forgets the steps and runs ahead again from the committed
// state.
void TakeBack(Ahead& ahead, CVDataSet& dataset, Pipeline& pipeline) {
  for (size_t k = ahead.outstanding.size(); k-- > 0;) {
    const Outstanding& step = ahead.outstanding[k];
    if (step.picked) dataset.samples[step.pick.chosen].absorbed = step.pick.chosen_was;
  }
  last_counts.taken_back += ahead.outstanding.size();
  ahead.outstanding.clear();
  pipeline.discard_below.store(ahead.published, std::memory_order_relaxed);
  ahead.running = ahead.committed;
  ahead.running_count = dataset.count;
  ahead.fetcher.Restart(ahead.running, ahead.running_count);
}

// Traces the step that starts at word `start` here, from the committed
// state, drawing from the tape. Returns whether it hit; sets its end.
bool TraceHere(Ahead& ahead, uint64_t start, CVDataSet& dataset, const Pipeline& pipeline, float light_chance,
               CVSample& sample, uint64_t& end) {
  ahead.tape.Reach(start, ahead.committed);
  RecordedWords recorded = ahead.tape.From(start, 0);
  DrawFromRecordedWords(&recorded);
  float r = float(genrand_real3());
  bool hit = r < light_chance
                 ? TraceNewPath(pipeline.scene, pipeline.query, sample)
                 : TraceContinuedPath(pipeline.scene, GetSampleFromDataSet(dataset), pipeline.query, sample);
  DrawFromRecordedWords(nullptr);
  end = start + recorded.taken;
  return hit;
}

// The step's glossy lobe redrew, so it and every step after it took the
// wrong words: takes them back and traces the step here, in order, from the
// committed state. Returns whether it hit; sets its end.
bool RetraceInOrder(Ahead& ahead, Outstanding& step, CVDataSet& dataset, Pipeline& pipeline, float light_chance,
                    CVSample& sample) {
  TakeBack(ahead, dataset, pipeline);
  if (step.picked) dataset.samples[step.pick.chosen].absorbed = step.pick.chosen_was;
  last_counts.retraced++;
  return TraceHere(ahead, step.start, dataset, pipeline, light_chance, sample, step.end);
}

// Steps the pipeline runs before it judges whether tracing ahead pays: when
// misses kept the reach at one step for at least half of them, the other
// threads would only pass steps back and forth.
constexpr uint64_t kProbeSteps = 4096;
// Steps then run by the loop in order while the other threads sleep: the
// first stretch, doubled after every probe that finds misses still keep the
// reach at one, up to the longest.
constexpr uint64_t kFirstInOrderStretch = uint64_t(1) << 16;
constexpr uint64_t kLongestInOrderStretch = uint64_t(1) << 20;

// Judges, from the steps the pipeline committed, when the loop in order
// should run instead, and for how many steps.
class InOrderJudge {
 public:
  void Count(bool traced_in_order) {
    probed_++;
    if (traced_in_order) probed_in_order_++;
  }

  // The steps to run in order now; 0 to go on tracing ahead.
  uint64_t StretchDue() {
    if (probed_ < kProbeSteps) return 0;
    bool misses_keep_reach_at_one = probed_in_order_ * 2 >= probed_;
    probed_ = 0;
    probed_in_order_ = 0;
    if (!misses_keep_reach_at_one) {
      stretch_ = kFirstInOrderStretch;
      return 0;
    }
    uint64_t due = stretch_;
    stretch_ = std::min(2 * stretch_, kLongestInOrderStretch);
    return due;
  }

 private:
  uint64_t probed_ = 0;
  uint64_t probed_in_order_ = 0;
  uint64_t stretch_ = kFirstInOrderStretch;
};

// Runs at most `steps` steps of the loop in order from the committed state,
// drawing from the generator, while the other threads sleep; then records
// the words from where it stopped. The end if it reached one (the threads
// are left asleep and the generator where the loop leaves it).
std::optional<SamplingEnd> TraceInOrderWhileParked(Pipeline& pipeline, Ahead& ahead, CVDataSet& dataset,
                                                   float light_chance, Progress& progress, uint64_t miss_limit,
                                                   uint64_t steps, uint64_t& steps_without_hit) {
  CORVANE_CHECK(ahead.outstanding.empty());
  Park(pipeline);
  ahead.tape.RewindGeneratorTo(ahead.committed);
  InOrderStretch stretch{steps_without_hit, 0};
  std::optional<SamplingEnd> end =
      TraceInOrder(pipeline.scene, dataset, light_chance, progress, miss_limit, pipeline.query, steps, stretch);
  steps_without_hit = stretch.steps_without_hit;
  last_counts.committed += stretch.steps;
  last_counts.parked += stretch.steps;
  if (end) return end;
  ahead.tape.Restart(ahead.committed);
  ahead.running = ahead.committed;
  ahead.running_count = dataset.count;
  ahead.fetcher.Restart(ahead.running, ahead.running_count);
  Wake(pipeline);
  return std::nullopt;
}

}  // namespace

SamplingEnd TraceInPipeline(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                            uint64_t miss_limit, RayQuery query, unsigned threads) {
  last_counts = PipelineCounts{};
  const size_t most_ahead = std::clamp(kStepsAheadPerThread * threads, kFewestStepsAhead, kMostStepsAhead);
  Pipeline pipeline(scene, query, dataset, kSlotsPerStepAhead * most_ahead);
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < threads; t++) workers.emplace_back(Work, std::ref(pipeline));

  Ahead ahead;
  ahead.running_count = dataset.count;
  ahead.fetcher.Restart(ahead.running, ahead.running_count);
  // Steps traced ahead now: halved by every miss and grown by every hit, so
  // that a scene that misses often throws little work away.
  size_t reach = most_ahead;
  uint64_t steps_without_hit = 0;
  InOrderJudge judge;
  std::optional<SamplingEnd> end;
  bool ended_in_order = false;
  // A result traced here while its thread was slow: stored after the step's
  // block, so it lives as long as the loop.
  StepResult own;
  for (;;) {
    CVSample sample;
    const CVSample* stored = &sample;
    bool hit = false;
    bool traced_here = reach == 1;
    uint64_t end_word = 0;
    if (uint64_t stretch = traced_here ? judge.StretchDue() : 0) {
      end = TraceInOrderWhileParked(pipeline, ahead, dataset, light_chance, progress, miss_limit, stretch,
                                    steps_without_hit);
      if (end) {
        ended_in_order = true;
        break;
      }
      continue;
    }
    judge.Count(traced_here);
    if (traced_here) {
      // Misses keep the reach at one step (and nothing outstanding): handing
      // that step to another thread would only add the passing between them.
      CORVANE_CHECK(ahead.outstanding.empty());
      progress.Advance(dataset.count, dataset.capacity);
      hit = TraceHere(ahead, ahead.committed, dataset, pipeline, light_chance, sample, end_word);
      last_counts.in_order++;
    } else {
      while (ahead.outstanding.size() < reach && ahead.running_count <= dataset.capacity) {
        if (!RunAhead(pipeline, ahead, dataset, light_chance)) break;
      }
      Outstanding step = ahead.outstanding.front();
      ahead.outstanding.pop_front();
      if (ahead.outstanding.size() > kSlotFetchDistance) {
        FetchSlot(pipeline.SlotOf(ahead.outstanding[kSlotFetchDistance].step), false);
      }
      const StepResult& result = AwaitStep(pipeline, pipeline.SlotOf(step.step), step.step, own);
      progress.Advance(dataset.count, dataset.capacity);
      traced_here = result.redrew;
      if (traced_here) {
        hit = RetraceInOrder(ahead, step, dataset, pipeline, light_chance, sample);
      } else {
        // The slot is written again only once this thread hands out a step.
        hit = result.hit;
        stored = &result.sample;
      }
      end_word = step.end;
    }
    ahead.committed = end_word;
    last_counts.committed++;
    reach = hit ? std::min(reach + 1, most_ahead) : std::max(reach / 2, size_t(1));
    if (hit) {
      steps_without_hit = 0;
      if (!InsertIntoDataSet(dataset, *stored)) {
        end = kSamplingFull;
        break;
      }
      // Paged in by a thread with nothing else to do, if there is one.
      if (uint64_t due = StretchDueAfter(dataset.count)) pipeline.stretch_due.store(due, std::memory_order_relaxed);
    } else if (++steps_without_hit >= miss_limit) {
      end = kSamplingNoHits;
      break;
    }
    // After a miss the steps ahead chose from a count one too high.
    if (!hit || traced_here) TakeBack(ahead, dataset, pipeline);
  }

  TakeBack(ahead, dataset, pipeline);
  Stop(pipeline);
  for (std::thread& worker : workers) worker.join();
  if (!ended_in_order) ahead.tape.RewindGeneratorTo(ahead.committed);
  return *end;
}

PipelineCounts LastPipelineCounts() { return last_counts; }
