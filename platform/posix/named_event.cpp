#include "platform/named_event.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/last_error.h"

namespace platform {

std::string NamedEvent::system_name(std::string_view name) {
    return "/valdora-" + std::to_string(::getuid()) + "-" + std::string(name);
}

std::unique_ptr<NamedEvent> NamedEvent::create(std::string_view name) {
    std::string systemName = system_name(name);
    ::sem_unlink(systemName.c_str());
    sem_t* sem = ::sem_open(systemName.c_str(), O_CREAT | O_EXCL, 0600, 0);
    if (sem == SEM_FAILED) {
        set_last_error(errno);
        return nullptr;
    }
    return std::unique_ptr<NamedEvent>(new NamedEvent(sem, std::move(systemName), true));
}

std::unique_ptr<NamedEvent> NamedEvent::open(std::string_view name) {
    std::string systemName = system_name(name);
    sem_t* sem = ::sem_open(systemName.c_str(), 0);
    if (sem == SEM_FAILED) {
        set_last_error(errno);
        return nullptr;
    }
    return std::unique_ptr<NamedEvent>(new NamedEvent(sem, std::move(systemName), false));
}

NamedEvent::~NamedEvent() {
    ::sem_close(sem_);
    if (owner_) ::sem_unlink(systemName_.c_str());
}

bool NamedEvent::signal() {
    // Manual reset: one count is "signalled"; a second signal adds nothing.
    int value = 0;
    if (::sem_getvalue(sem_, &value) == 0 && value > 0) return true;
    if (::sem_post(sem_) != 0) return fail_with_errno();
    return true;
}

bool NamedEvent::wait_for(std::chrono::milliseconds limit) {
    struct timespec deadline;
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto ms = limit.count() < 0 ? 0 : limit.count();
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (::sem_clockwait(sem_, CLOCK_MONOTONIC, &deadline) == 0) {
            ::sem_post(sem_);  // stays signalled
            return true;
        }
        if (errno == EINTR) continue;
        set_last_error(errno);
        return false;
    }
}

}  // namespace platform
