// valdora-latency-proxy: a TCP relay on 127.0.0.1 that hands on every byte a
// fixed time after it arrived, each way: a round trip through it takes twice
// that time longer, while the bytes a second stay as they are. For the
// round-trip benchmark on a kernel without netem.
//
//   valdora-latency-proxy LISTEN_PORT TARGET_PORT DELAY_MS [RATE]
//
// RATE (bytes a second) caps what goes to the clients, all connections
// together, as a host behind a link of that speed: the mirrors benchmark.
//
// Prints "ready" once it listens; ends on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The bytes a second all connections together may send toward the clients:
// each piece waits for its turn on one shared line.
class Line {
public:
    explicit Line(double rate) : rate_(rate) {}
    void Take(std::size_t bytes) {
        if (rate_ <= 0) return;
        Clock::time_point start;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            start = std::max(Clock::now(), free_);
            free_ = start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(static_cast<double>(bytes) / rate_));
        }
        std::this_thread::sleep_until(start);  // the line's speed is the point
    }

private:
    const double rate_;
    std::mutex mutex_;
    Clock::time_point free_;
};

// One direction of a connection: what `from` sends goes to `to` `delay`
// later, the end of it too, through `line` when given.
class Pipe {
public:
    Pipe(int from, int to, std::chrono::milliseconds delay, Line* line = nullptr)
        : from_(from), to_(to), delay_(delay), line_(line) {}

    void Run() {
        std::thread writer([this] { Write(); });
        char buffer[64 << 10];
        for (;;) {
            const ssize_t n = ::read(from_, buffer, sizeof buffer);
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back({Clock::now() + delay_, std::string(buffer, n > 0 ? n : 0)});
            changed_.notify_one();
            if (n <= 0) break;
        }
        writer.join();
    }

private:
    struct Piece {
        Clock::time_point due;
        std::string bytes;  // empty: the end
    };

    void Write() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty(); });
            const Piece piece = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(piece.due);  // the delay is the point
            if (piece.bytes.empty()) {
                ::shutdown(to_, SHUT_WR);
                return;
            }
            for (std::size_t at = 0; at < piece.bytes.size();) {
                const std::size_t slice = std::min<std::size_t>(piece.bytes.size() - at, 16 << 10);
                if (line_ != nullptr) line_->Take(slice);
                const ssize_t n = ::write(to_, piece.bytes.data() + at, slice);
                if (n <= 0) {
                    ::shutdown(from_, SHUT_RD);
                    return;
                }
                at += static_cast<std::size_t>(n);
            }
        }
    }

    const int from_, to_;
    const std::chrono::milliseconds delay_;
    Line* const line_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> queue_;
};

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Relay(int client, int target, std::chrono::milliseconds delay, Line* line) {
    const int server = Connect(target);
    if (server >= 0) {
        const int on = 1;
        for (const int fd : {client, server})
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // Killed, it resets its clients' connections, as a host that dies:
        // what it held for them is lost.
        const linger reset{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        Pipe up(client, server, delay), down(server, client, delay, line);
        std::thread upward([&up] { up.Run(); });
        down.Run();
        upward.join();
        ::close(server);
    }
    ::close(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: valdora-latency-proxy LISTEN_PORT TARGET_PORT DELAY_MS [RATE]\n");
        return 64;
    }
    static Line line(argc == 5 ? std::atof(argv[4]) : 0);
    const int listenPort = std::atoi(argv[1]), target = std::atoi(argv[2]);
    const std::chrono::milliseconds delay(std::atoi(argv[3]));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(listenPort));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 128) != 0) {
        std::perror("valdora-latency-proxy");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0) std::thread(Relay, client, target, delay, &line).detach();
    }
}
