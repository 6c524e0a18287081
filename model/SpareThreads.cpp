#include "model/SpareThreads.h"

#include <utility>

namespace {

thread_local QThreadPool* poolOfThisThread = nullptr;

} // namespace

SpareThreads::SpareThreads(int wanted, std::function<void()> task) : m_shared(std::make_shared<Shared>())
{
    m_shared->task = std::move(task);
    QThreadPool* pool = poolOfThisThread ? poolOfThisThread : QThreadPool::globalInstance();
    for (; m_started < wanted; ++m_started) {
        ++m_shared->running;
        const bool started = pool->tryStart([shared = m_shared] {
            try {
                shared->task();
            } catch (...) {
                if (!shared->failed.exchange(true))
                    shared->failure = std::current_exception();
            }
            if (--shared->running == 0)
                shared->running.notify_all();
        });
        if (!started) {
            --m_shared->running;
            break;
        }
    }
}

SpareThreads::~SpareThreads()
{
    wait();
}

void SpareThreads::join()
{
    wait();
    if (m_shared->failure)
        std::rethrow_exception(std::exchange(m_shared->failure, nullptr));
}

void SpareThreads::wait()
{
    for (int running = m_shared->running; running != 0; running = m_shared->running)
        m_shared->running.wait(running);
}

SpareThreads::WorkingFor::WorkingFor(QThreadPool& pool) : m_earlier(poolOfThisThread)
{
    poolOfThisThread = &pool;
}

SpareThreads::WorkingFor::~WorkingFor()
{
    poolOfThisThread = m_earlier;
}
