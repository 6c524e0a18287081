#pragma once

#include <QThreadPool>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

// Shares a task with threads that are idle right now, so that work nested inside other
// background work never starts more threads than the machine has cores: the threads come from
// the pool the calling thread works for (a batch's workers, see WorkingFor), or from the
// application's global pool outside one, and only as many as that pool has free.
class SpareThreads
{
public:
    // Starts task on up to `wanted` idle threads; on fewer, or none, when the pool is busy.
    SpareThreads(int wanted, std::function<void()> task);
    // Waits for the threads started; an exception they threw is dropped.
    ~SpareThreads();
    SpareThreads(const SpareThreads&) = delete;
    SpareThreads& operator=(const SpareThreads&) = delete;

    int started() const { return m_started; }
    // Waits for the threads started, and throws again the first exception one of them threw.
    void join();

    // While one lives, spare threads asked for on this thread come from pool.
    class WorkingFor
    {
    public:
        explicit WorkingFor(QThreadPool& pool);
        ~WorkingFor();
        WorkingFor(const WorkingFor&) = delete;
        WorkingFor& operator=(const WorkingFor&) = delete;

    private:
        QThreadPool* m_earlier;
    };

private:
    // Shared with the threads, which may still hold it for a moment after the last one is seen
    // done.
    struct Shared
    {
        std::function<void()> task;
        std::atomic<int> running = 0;
        std::atomic<bool> failed = false;
        std::exception_ptr failure; // written by the first thread to fail, read after the wait
    };

    void wait();

    std::shared_ptr<Shared> m_shared;
    int m_started = 0;
};
