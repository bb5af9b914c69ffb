// A named event that another process can signal knowing only its name: the
// game's start handshake. A POSIX named semaphore, private to the user; on
// Windows a named event of the session.
#pragma once

#ifndef _WIN32
#include <semaphore.h>
#endif

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class NamedEvent {
public:
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // A new event, not signalled; a stale one of the same name left by an
    // earlier process is replaced. The creator removes the name when it
    // destroys the object.
    static std::unique_ptr<NamedEvent> create(std::string_view name);
    // The existing event of this name; nullptr when there is none.
    static std::unique_ptr<NamedEvent> open(std::string_view name);

    bool signal();
    // True when the event was signalled within the limit. It stays
    // signalled afterwards (manual reset).
    bool wait_for(std::chrono::milliseconds limit);

    // The system name behind an event name (per user).
    static std::string system_name(std::string_view name);

private:
#ifdef _WIN32
    NamedEvent(void* event, std::string systemName, bool owner)
        : event_(event), systemName_(std::move(systemName)), owner_(owner) {}
    void* event_;  // its HANDLE
#else
    NamedEvent(sem_t* sem, std::string systemName, bool owner)
        : sem_(sem), systemName_(std::move(systemName)), owner_(owner) {}
    sem_t* sem_;
#endif
    std::string systemName_;
    bool owner_;
};

}  // namespace platform
