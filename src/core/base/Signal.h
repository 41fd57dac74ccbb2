#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace orvi {

// Disconnects its subscription when destroyed: keep it in a member of the subscriber so the
// subscription ends with the subscriber and never calls into a dead one.
class Connection {
public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : m_disconnect(std::move(disconnect)) {}
    Connection(Connection&& other) noexcept : m_disconnect(std::exchange(other.m_disconnect, nullptr)) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            m_disconnect = std::exchange(other.m_disconnect, nullptr);
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { disconnect(); }

    void disconnect() {
        if (auto fn = std::exchange(m_disconnect, nullptr))
            fn();
    }

private:
    std::function<void()> m_disconnect;
};

// A main-thread signal. Slots may connect or disconnect others while it is emitting.
template <class... Args> class Signal {
public:
    using Slot = std::function<void(const Args&...)>;

    Signal() : m_slots(std::make_shared<Slots>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Connection connect(Slot slot) {
        const auto id = m_slots->nextId++;
        m_slots->slots.emplace(id, std::make_shared<Slot>(std::move(slot)));
        std::weak_ptr<Slots> weak = m_slots;
        return Connection([weak, id] {
            if (auto slots = weak.lock())
                slots->slots.erase(id);
        });
    }

    ~Signal() { m_slots->alive = false; }

    // A slot may destroy the signal's owner (a screen closing itself): the slot list is held
    // here, and once the signal is gone no later slot runs, since its arguments may have
    // gone with the owner.
    void emit(const Args&... args) const {
        const auto slots = m_slots;
        auto snapshot = slots->slots;
        for (auto& [id, slot] : snapshot) {
            if (!slots->alive)
                return;
            if (slots->slots.count(id))
                (*slot)(args...);
        }
    }

    bool hasSubscribers() const { return !m_slots->slots.empty(); }

private:
    struct Slots {
        std::map<unsigned long, std::shared_ptr<Slot>> slots;
        unsigned long nextId = 0;
        bool alive = true;
    };
    std::shared_ptr<Slots> m_slots;
};

// A published value: every assignment tells the subscribers, an equal value included,
// because screens rely on hearing each write (a repeated unread count, a re-selected profile).
template <class T> class Published {
public:
    Published() = default;
    explicit Published(T initial) : m_value(std::move(initial)) {}

    const T& get() const { return m_value; }
    const T& operator()() const { return m_value; }

    void set(T value) {
        m_value = std::move(value);
        m_changed.emit(m_value);
    }

    // The slot is told of every later assignment, not of the current value.
    [[nodiscard]] Connection subscribe(typename Signal<T>::Slot slot) {
        return m_changed.connect(std::move(slot));
    }

private:
    T m_value{};
    Signal<T> m_changed;
};

} // namespace orvi
