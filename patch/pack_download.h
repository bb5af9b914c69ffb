// Small files of a signed site fetched as one range of their release's pack:
// neighbours in the list that lie near each other in one pack, one request
// for all of them (one range, as servers and CDNs that refuse several take
// it). Each file's bytes are hashed against its manifest line and put in
// place from memory; a file whose bytes are not the signed ones, or all of
// them when the range cannot be had from any host, comes from its own URL.
#pragma once

#include <string>
#include <vector>

#include "patch/file_download.h"

class PackDownload : public Download {
public:
    // Files in a pack closer than this are asked for together, the bytes
    // between them with them; a range takes up to kMostRangeBytes.
    static constexpr std::uint64_t kMostGapBytes = 16 << 10;
    static constexpr std::uint64_t kMostRangeBytes = 2 << 20;
    // How many of `files`, from the first on, one range takes (1 at least).
    static std::size_t Batch(const PlannedFile* files, std::size_t count);

    // The `count` files from `files` on (Batch's), in list order.
    PackDownload(const PlannedFile* files, std::size_t count, std::size_t slot,
                 DownloadContext& context);
    ~PackDownload() override;
    PackDownload(const PackDownload&) = delete;
    PackDownload& operator=(const PackDownload&) = delete;

    void Start() override;
    bool Wants() const override;
    void Dispatch(talvo::utility::multi_curl& transfers) override;
    void Ended(talvo::utility::multi_curl& transfers, talvo::utility::easy_curl* transfer,
               CURLcode code) override;
    void Stop(talvo::utility::multi_curl& transfers) override;
    void GiveUp(talvo::utility::multi_curl& transfers) override;
    double Done() const override;
    std::vector<const PlannedFile*> PlacedFiles() const override;
    const UpdateListEntry& entry() const override { return *files_[0].entry; }

private:
    struct Fetch;
    static constexpr std::size_t kRange = static_cast<std::size_t>(-1);
    void Request(Fetch& f, talvo::utility::multi_curl& transfers);
    void MarkAsked(const Fetch& f, bool asked);
    // The hosts the request of `f` has failed on.
    MirrorSet::Hosts& Tried(const Fetch& f);
    std::size_t Take(Fetch& f, const char* data, std::size_t bytes);
    void TookRange(const std::string& body);
    void Place(std::size_t i, std::string_view bytes);
    void Settle();
    void EndTransfers(talvo::utility::multi_curl& transfers);

    const PlannedFile* const files_;
    const std::size_t count_;
    const ScratchNames scratch_;
    DownloadContext& context_;
    const std::uint64_t first_, last_;  // the range of the pack
    std::vector<std::unique_ptr<Fetch>> fetches_;
    // Per file: placed; to be fetched from its own URL (and asked for).
    std::vector<bool> placed_, own_, asked_;
    MirrorSet::Hosts rangeTried_ = 0;
    std::vector<MirrorSet::Hosts> ownTried_;
    bool rangeAsked_ = false, failed_ = false;
    double done_ = 0;
};
