#pragma once

#include "core/base/Scheduler.h"

#include <functional>
#include <memory>
#include <tuple>
#include <utility>

namespace orvi {

// A completion that runs exactly once. The first call wins and later calls do nothing. If
// every copy is dropped without a call (an engine that discarded our callback because its
// web view or data store went away, or work abandoned because our owner went away), the
// completion still runs once, with the fallback arguments, on the main queue.
template <class... Args> class OnceCompletion {
public:
    using Function = std::function<void(Args...)>;

    OnceCompletion(Scheduler& scheduler, Function function, std::decay_t<Args>... fallback)
        : m_state(std::make_shared<State>(scheduler, std::move(function), std::move(fallback)...)) {}

    void operator()(Args... args) const {
        if (m_state->called)
            return;
        m_state->called = true;
        auto function = std::move(m_state->function);
        function(std::forward<Args>(args)...);
    }

    bool wasCalled() const { return m_state->called; }

private:
    struct State {
        State(Scheduler& s, Function f, std::decay_t<Args>... fb)
            : scheduler(s), function(std::move(f)), fallback(std::move(fb)...) {}
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        ~State() {
            if (called || !function)
                return;
            scheduler.post([function = std::move(function), fallback = std::move(fallback)]() mutable {
                std::apply(function, std::move(fallback));
            });
        }

        Scheduler& scheduler;
        Function function;
        std::tuple<std::decay_t<Args>...> fallback;
        bool called = false;
    };

    std::shared_ptr<State> m_state;
};

} // namespace orvi
