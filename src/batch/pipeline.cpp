#include "batch/pipeline.h"

#ifndef _WIN32
#include <sched.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "output/output_file.h"

namespace {

struct Slot {
    PreparedInput prepared;
    std::uint64_t held = 0;  // pixels of the kept picture
    bool ready = false;
};

struct Batch {
    Batch(std::size_t count, const std::vector<std::ptrdiff_t>& after,
          const PipelineLimits& limits, const PipelineSteps& steps)
        : count(count), after(after), limits(limits), steps(steps), slots(limits.ahead) {}

    const std::size_t count;
    const std::vector<std::ptrdiff_t>& after;
    const PipelineLimits& limits;
    const PipelineSteps& steps;

    std::mutex mutex;
    std::condition_variable changed;
    std::size_t claimed = 0;   // inputs taken by workers
    std::size_t begun = 0;     // inputs whose preparation has begun
    std::size_t finished = 0;  // inputs finished
    std::uint64_t pixels = 0;  // in flight
    bool stop = false;
    std::vector<Slot> slots;  // input i in slots[i % ahead]
};

// Whether input i, of pixels up to the limit, may begin (one at the limit, alone).
bool mayBegin(const Batch& batch, std::size_t i, std::uint64_t pixels) {
    const std::ptrdiff_t after = batch.after[i];
    return batch.begun == i &&
           (after < 0 || batch.finished > static_cast<std::size_t>(after)) &&
           batch.pixels + pixels <= batch.limits.pixels;
}

void work(Batch& batch) {
    std::unique_lock<std::mutex> lock(batch.mutex);
    for (;;) {
        batch.changed.wait(lock, [&] {
            return batch.stop || batch.claimed == batch.count ||
                   batch.claimed < batch.finished + batch.limits.ahead;
        });
        if (batch.stop || batch.claimed == batch.count) return;
        const std::size_t i = batch.claimed++;
        lock.unlock();
        const std::uint64_t pixels =
            std::min(batch.steps.measure(i), batch.limits.pixels);
        lock.lock();
        batch.changed.wait(lock,
                           [&] { return batch.stop || mayBegin(batch, i, pixels); });
        if (batch.stop) return;
        ++batch.begun;
        batch.pixels += pixels;
        batch.changed.notify_all();
        lock.unlock();
        PreparedInput prepared = batch.steps.prepare(i);
        lock.lock();
        Slot& slot = batch.slots[i % batch.limits.ahead];
        slot.held = prepared.image.empty() ? 0 : pixels;
        batch.pixels -= pixels - slot.held;
        slot.prepared = std::move(prepared);
        slot.ready = true;
        batch.changed.notify_all();
    }
}

void finishInOrder(Batch& batch) {
    for (std::size_t i = 0; i < batch.count; ++i) {
        std::unique_lock<std::mutex> lock(batch.mutex);
        Slot& slot = batch.slots[i % batch.limits.ahead];
        batch.changed.wait(lock, [&] { return slot.ready; });
        PreparedInput prepared = std::move(slot.prepared);
        const std::uint64_t held = slot.held;
        slot = Slot();
        lock.unlock();
        batch.steps.finish(i, prepared);
        prepared = PreparedInput();  // the picture goes before its pixels are given back
        lock.lock();
        batch.pixels -= held;
        ++batch.finished;
        batch.changed.notify_all();
    }
}

// The workers of a batch; stopped and joined on destruction.
struct Workers {
    Batch& batch;
    std::vector<std::thread> threads;

    ~Workers() {
        {
            const std::lock_guard<std::mutex> lock(batch.mutex);
            batch.stop = true;
        }
        batch.changed.notify_all();
        for (std::thread& thread : threads) thread.join();
    }
};

}  // namespace

void runPipeline(std::size_t count, const std::vector<std::ptrdiff_t>& after,
                 const PipelineLimits& limits, const PipelineSteps& steps) {
    Batch batch(count, after, limits, steps);
    Workers workers{batch, {}};
    const std::size_t wanted = std::min<std::size_t>(limits.workers, count);
    withEndingSignalsHeld([&] {
        try {
            while (workers.threads.size() < wanted)
                workers.threads.emplace_back(work, std::ref(batch));
        } catch (const std::system_error&) {
        }
    });
    if (!workers.threads.empty()) return finishInOrder(batch);
    for (std::size_t i = 0; i < count; ++i) {
        PreparedInput prepared = steps.prepare(i);
        steps.finish(i, prepared);
    }
}

unsigned usableProcessors() {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    return std::max(1u, std::thread::hardware_concurrency());
#else
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
#endif
}
