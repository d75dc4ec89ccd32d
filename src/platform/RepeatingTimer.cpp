#include "RepeatingTimer.h"

#include "MainThread.h"

#include <QTimer>

#include <cmath>

namespace lh {
namespace {

class MainThreadTimer final : public RepeatingTimer {
public:
    MainThreadTimer(double intervalSeconds, std::function<void()> block)
        : state_(std::make_shared<State>(State { std::move(block), true }))
        , timer_(new QTimer)
    {
        MainThread::check();
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(std::max(1, static_cast<int>(std::lround(intervalSeconds * 1000.0))));
        // The connection holds the state, so the block outlives an invalidate() from inside it.
        QObject::connect(timer_, &QTimer::timeout, [state = state_] {
            if (state->isValid)
                state->block();
        });
        timer_->start();
    }

    ~MainThreadTimer() override
    {
        invalidate();
        timer_->deleteLater(); // we may be inside its timeout signal
    }

    void invalidate() override
    {
        state_->isValid = false;
        timer_->stop();
    }

private:
    struct State {
        std::function<void()> block;
        bool isValid;
    };
    std::shared_ptr<State> state_;
    QTimer* timer_;
};

} // namespace

std::unique_ptr<RepeatingTimer> makeMainThreadTimer(double intervalSeconds, std::function<void()> block)
{
    return std::make_unique<MainThreadTimer>(intervalSeconds, std::move(block));
}

} // namespace lh
