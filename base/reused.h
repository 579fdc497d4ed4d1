// Objects costly to make (zlib's tables, picture-sized buffers) kept for the
// next piece of work on any thread. Not thread_local: under MinGW a thread's
// local storage can be released before the destructors of its objects run,
// which then free or call through memory already reused.
#pragma once

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace zantrel {

// Take() lends an object made by make() when none is free; it returns when
// the lease ends. The pool holds at most as many as were ever lent at once
// (one a worker thread).
template <class T, class Make> class Reused {
public:
    explicit Reused(Make make) : make_(std::move(make)) {}
    Reused(const Reused&) = delete;
    Reused& operator=(const Reused&) = delete;

    class Lease {
    public:
        Lease(Reused& pool, std::unique_ptr<T> object) : pool_(pool), object_(std::move(object)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { pool_.Give(std::move(object_)); }
        T& operator*() const { return *object_; }
        T* operator->() const { return object_.get(); }

    private:
        Reused& pool_;
        std::unique_ptr<T> object_;
    };

    Lease Take() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                std::unique_ptr<T> object = std::move(free_.back());
                free_.pop_back();
                return Lease(*this, std::move(object));
            }
        }
        return Lease(*this, make_());
    }

private:
    void Give(std::unique_ptr<T> object) {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(object));
    }

    Make make_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<T>> free_;
};

} // namespace zantrel
