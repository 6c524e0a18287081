#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <optional>

// Runs the files of one batch several at a time. Files start in list order, each once the one
// before it has started and the memory the files in flight are estimated to hold leaves room for
// it; a file whose estimate alone exceeds the budget still runs, alone. Workers share only
// atomics: a ticket that hands out the files, the turn that orders their start, the bytes in
// flight, and a count of changes they wait on. No locks.
class BatchPool
{
public:
    // The memory a file is estimated to hold while it is stamped, in bytes.
    using Cost = std::function<qint64(qsizetype file)>;
    // Stamps one file and reports it; called on any worker, for several files at once.
    using Work = std::function<void(qsizetype file)>;

    BatchPool(int workers, qint64 budget);

    // Runs work for files 0 to count - 1 on up to `workers` threads of the pool's own, and
    // returns once every file that started has finished. Once stop is set no further file
    // starts. Work on those threads shares the threads without a file (SpareThreads). Call once
    // per pool.
    void run(qsizetype count, const std::atomic<bool>& stop, const Cost& cost, const Work& work);

    // QThread::idealThreadCount(), at least 1.
    static int machineWorkers();
    // 1 GB, or a quarter of the physical memory when that is less.
    static qint64 machineBudget();

private:
    void serve(qsizetype count, const std::atomic<bool>& stop, const Cost& cost, const Work& work);
    std::optional<qint64> admit(qsizetype file, const std::atomic<bool>& stop, const Cost& cost);
    bool fits(qint64 bytes) const;
    void announce();

    int m_workers;
    qint64 m_budget;
    std::atomic<qsizetype> m_nextTicket = 0;
    std::atomic<qsizetype> m_turn = 0;
    std::atomic<qint64> m_inFlight = 0;
    std::atomic<unsigned> m_changes = 0;
};
