// The hosts one run fetches from: the primary (the site the update list
// came from, or would have), further compiled-in hosts, then the mirrors the
// signed release names. Each request goes to the host that gives the most
// now (what it delivered so far against what it has in flight), so healthy
// mirrors add up; a request that fails moves to a host it has not tried
// yet; a host that fails kSetAsideAfter requests in a row, with no success
// between, is set aside for the rest of the run (one log line says which and
// why) and used again only for a request every other host has failed.
//
// The executor's and the planner's fetches share it, on the worker thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MirrorSet {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Bit i: host i. At most 64 hosts are used.
    using Hosts = std::uint64_t;
    // Told of each request served: its URL and bytes.
    using Observer = std::function<void(const std::string& url, std::uint64_t bytes)>;
    static constexpr std::size_t kMaxHosts = 64;
    static constexpr int kSetAsideAfter = 3;

    struct Host {
        std::string site;  // "http://host[:port][/path]", no final "/"
        int failuresInRow = 0;
        bool setAside = false;
        std::size_t inFlight = 0;
        // What it delivered: requests, bytes and the time they took.
        std::size_t served = 0, failed = 0;
        std::uint64_t bytes = 0;
        std::chrono::steady_clock::duration busy{};
        std::chrono::steady_clock::time_point busySince{};  // with requests in flight
    };

    // `sites[0]` is the primary; a site named twice counts once.
    explicit MirrorSet(const std::vector<std::string>& sites, Observer served = {},
                       Clock clock = {});

    std::size_t size() const { return hosts_.size(); }
    const Host& host(std::size_t i) const { return hosts_[i]; }
    // `url` on host `i`: the same path below its site (on the primary,
    // `url` itself).
    std::string Url(const std::string& url, std::size_t i) const;

    // The host for a request that has failed on `tried`: the best of those
    // not set aside, else of those set aside; none when every host is tried.
    std::optional<std::size_t> Pick(Hosts tried = 0) const;
    // A request goes to `i`; it ended there, with the bytes it gave, or
    // failed (why, for the log line when this sets the host aside).
    void Began(std::size_t i);
    void Served(std::size_t i, std::uint64_t bytes, const std::string& url);
    void Failed(std::size_t i, const std::string& why);
    // A request to `i` ended without an outcome (a stop, a fallback).
    void Dropped(std::size_t i);
    // A request that failed on `i` may go elsewhere: a host remains untried.
    bool MoveOn(std::size_t i, Hosts& tried, const std::string& why);
    // What a new request to `i` may expect, in bytes a second: its share of
    // what `i` delivers (0 before it has delivered anything).
    double RequestRate(std::size_t i) const;
    std::chrono::steady_clock::time_point Now() const { return clock_(); }

private:
    double Rate(const Host& host) const;  // bytes a second, as measured
    std::vector<Host> hosts_;
    Observer served_;
    Clock clock_;
};
