#include "patch/mirror_set.h"

#include <algorithm>

#include "log/launcher_log.h"
#include "patch/mirror_list.h"
#include "platform/cp1254_literal.h"

using namespace platform::literals;
using std::chrono::steady_clock;

MirrorSet::MirrorSet(const std::vector<std::string>& sites, Observer served, Clock clock)
    : served_(std::move(served)), clock_(clock ? std::move(clock) : Clock(steady_clock::now)) {
    for (const std::string& site : sites) {
        const bool known = std::any_of(hosts_.begin(), hosts_.end(),
                                       [&](const Host& h) { return h.site == site; });
        if (!known && hosts_.size() < kMaxHosts) hosts_.push_back({site});
    }
    if (hosts_.empty()) hosts_.push_back({});
}

std::string MirrorSet::Url(const std::string& url, std::size_t i) const {
    return i == 0 ? url : OnSite(hosts_[i].site, url);
}

double MirrorSet::Rate(const Host& host) const {
    auto busy = host.busy;
    if (host.inFlight > 0) busy += clock_() - host.busySince;
    const double seconds = std::chrono::duration<double>(busy).count();
    return host.bytes > 0 && seconds > 0 ? static_cast<double>(host.bytes) / seconds : 0;
}

std::optional<std::size_t> MirrorSet::Pick(Hosts tried) const {
    // A host not measured yet is taken to be as fast as the fastest.
    double best = 1;
    for (const Host& h : hosts_) best = std::max(best, Rate(h));
    std::optional<std::size_t> pick;
    double pickTime = 0;
    for (const bool setAside : {false, true}) {
        for (std::size_t i = 0; i < hosts_.size(); ++i) {
            const Host& h = hosts_[i];
            if (h.setAside != setAside || (tried >> i & 1) != 0) continue;
            const double rate = Rate(h);
            const double time = static_cast<double>(h.inFlight + 1) / (rate > 0 ? rate : best);
            if (!pick || time < pickTime) pick = i, pickTime = time;
        }
        if (pick) break;
    }
    return pick;
}

void MirrorSet::Began(std::size_t i) {
    if (hosts_[i].inFlight++ == 0) hosts_[i].busySince = clock_();
}

void MirrorSet::Served(std::size_t i, std::uint64_t bytes, const std::string& url) {
    if (served_) served_(url, bytes);
    Host& h = hosts_[i];
    Dropped(i);
    h.failuresInRow = 0;
    ++h.served;
    h.bytes += bytes;
}

void MirrorSet::Failed(std::size_t i, const std::string& why) {
    Host& h = hosts_[i];
    Dropped(i);
    ++h.failed;
    // The only host is never set aside: there is nowhere else to go.
    if (++h.failuresInRow < kSetAsideAfter || h.setAside || hosts_.size() == 1) return;
    h.setAside = true;
    WriteLauncherLog("yansı sunucusu bu çalışmada kullanılmıyor: %s (%s)"_cp1254, h.site.c_str(),
                     why.c_str());
}

void MirrorSet::Dropped(std::size_t i) {
    Host& h = hosts_[i];
    if (h.inFlight > 0 && --h.inFlight == 0) h.busy += clock_() - h.busySince;
}

double MirrorSet::RequestRate(std::size_t i) const {
    return Rate(hosts_[i]) / static_cast<double>(hosts_[i].inFlight + 1);
}

bool MirrorSet::MoveOn(std::size_t i, Hosts& tried, const std::string& why) {
    Failed(i, why);
    tried |= Hosts{1} << i;
    return Pick(tried).has_value();
}
