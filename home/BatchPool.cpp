#include "home/BatchPool.h"

#include "model/SpareThreads.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

#include <unistd.h>

namespace {

constexpr qint64 largestBudget = qint64(1) << 30;

} // namespace

BatchPool::BatchPool(int workers, qint64 budget) : m_workers(std::max(1, workers)), m_budget(budget) {}

void BatchPool::run(qsizetype count, const std::atomic<bool>& stop, const Cost& cost, const Work& work)
{
    // The workers' own threads: work nested in a file (a document's content reading) borrows
    // those that have no file, and never starts more.
    QThreadPool threads;
    threads.setMaxThreadCount(m_workers);
    const auto serveFiles = [&] {
        const SpareThreads::WorkingFor working(threads);
        serve(count, stop, cost, work);
    };
    for (qsizetype i = 0; i < std::min<qsizetype>(m_workers, count); ++i)
        threads.start(serveFiles);
    threads.waitForDone();
}

int BatchPool::machineWorkers()
{
    return std::max(1, QThread::idealThreadCount());
}

qint64 BatchPool::machineBudget()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return largestBudget;
    return std::min(largestBudget, qint64(pages) * pageSize / 4);
}

void BatchPool::serve(qsizetype count, const std::atomic<bool>& stop, const Cost& cost, const Work& work)
{
    for (qsizetype file = m_nextTicket++; file < count; file = m_nextTicket++) {
        const std::optional<qint64> bytes = admit(file, stop, cost);
        if (!bytes)
            break;
        work(file);
        m_inFlight -= *bytes;
        announce();
    }
    // A worker leaving at a stop never takes its turn: the others must look at the stop too.
    announce();
}

// Waits until the file's turn has come and the files in flight leave room for it, then counts it
// in flight and passes the turn on; nothing once stop is set. The count of changes is read before
// the conditions, so a change between the two ends the wait at once.
std::optional<qint64> BatchPool::admit(qsizetype file, const std::atomic<bool>& stop, const Cost& cost)
{
    if (stop)
        return std::nullopt;
    const qint64 bytes = std::max<qint64>(0, cost(file));
    for (unsigned seen = m_changes; !stop; seen = m_changes) {
        if (m_turn == file && fits(bytes)) {
            m_inFlight += bytes;
            m_turn = file + 1;
            announce();
            return bytes;
        }
        m_changes.wait(seen);
    }
    return std::nullopt;
}

// Only the file whose turn it is adds to the bytes in flight, while others only take from them,
// so room seen here is still there when the file is counted.
bool BatchPool::fits(qint64 bytes) const
{
    const qint64 inFlight = m_inFlight;
    return inFlight == 0 || inFlight + bytes <= m_budget;
}

void BatchPool::announce()
{
    ++m_changes;
    m_changes.notify_all();
}
