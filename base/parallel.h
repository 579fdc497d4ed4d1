// Many independent pieces of work spread over the machine's cores, their
// results taken in order on the calling thread: what comes out never depends
// on how the threads were scheduled.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zantrel {

// Threads that produce at once: one a core, at most four (the work is a few
// milliseconds a piece, and the files it reads share one disk).
inline unsigned ProducerThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

// produce(i) runs for i = 0 .. count-1 on worker threads (it must touch no
// shared state but what it only reads); consume(i, result) runs on the
// calling thread in the order of i, so it may write files and talk to the
// user interface. At most window results wait to be consumed, so memory
// stays bounded however many there are. The first exception of either is
// thrown here once every worker has stopped; no later consume runs then.
template <class Result, class Produce, class Consume>
void ProduceInOrder(std::size_t count, Produce&& produce, Consume&& consume,
                    std::size_t window = 32) {
    if (count == 0)
        return;
    struct Slot {
        std::optional<Result> result;
        std::exception_ptr failure;
        bool ready = false;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Slot> slots(std::max<std::size_t>(window, 1));
    std::size_t next = 0;     // the next index a worker takes
    std::size_t consumed = 0; // every index below has been consumed
    std::size_t last = count; // no index past a failed one is taken
    bool stop = false;

    const auto work = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(
                    lock, [&] { return stop || next >= last || next < consumed + slots.size(); });
                if (stop || next >= last)
                    return;
                index = next++;
            }
            Slot done;
            try {
                done.result.emplace(produce(index));
            } catch (...) {
                done.failure = std::current_exception();
            }
            done.ready = true;
            std::lock_guard lock(mutex);
            if (done.failure)
                last = std::min(last, index + 1);
            slots[index % slots.size()] = std::move(done);
            changed.notify_all();
        }
    };
    const auto threads = static_cast<unsigned>(std::min<std::size_t>(ProducerThreads(), count));
    std::vector<std::thread> workers;
    workers.reserve(threads);
    // Stops and joins the workers however this function ends.
    struct Joiner {
        std::vector<std::thread>& workers;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner() {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            changed.notify_all();
            for (std::thread& worker : workers)
                worker.join();
        }
    } joiner{workers, mutex, changed, stop};
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back(work);

    for (std::size_t index = 0; index < count; ++index) {
        Slot done;
        {
            std::unique_lock lock(mutex);
            Slot& slot = slots[index % slots.size()];
            changed.wait(lock, [&] { return slot.ready; });
            done = std::move(slot);
            slot = Slot{};
        }
        // The lowest failing index is the one reported, whatever the timing.
        if (done.failure)
            std::rethrow_exception(done.failure);
        consume(index, *done.result);
        {
            std::lock_guard lock(mutex);
            consumed = index + 1;
        }
        changed.notify_all();
    }
}

} // namespace zantrel
