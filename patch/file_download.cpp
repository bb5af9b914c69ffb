// One file of the download phase: the request (the file's URL), the sink
// (OnWrite into "~temp.dat", file_sink.h, with its checks, hashed on a
// signed site), then the file put in place with its list time when its
// bytes are the signed ones.
#include <boost/bind/bind.hpp>

#include "log/launcher_log.h"
#include "net/easy_curl.h"
#include "patch/file_checks.h"
#include "patch/patch_downloader.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"

using namespace platform::literals;
using namespace boost::placeholders;

namespace {

constexpr const char* kTempFile = "~temp.dat";

}  // namespace

PatchDownloader::FileResult PatchDownloader::DownloadFile(talvo::utility::easy_curl& transfer,
                                                          const std::string& baseUrl,
                                                          const UpdateListEntry& entry) {
    SetStatusText(entry.path);
    WriteLauncherLog("%s download ediliyor...", entry.path.c_str());

    EnterGameDirectory();
    FileSink sink{platform::File::create_always(kTempFile), talvo::utility::body_limit(entry.size)};
    if (options.signedOnly) {
        const trust::Sha256Digest* hash = signedRelease.HashOf(entry.path);
        sink.expected = hash != nullptr ? *hash : trust::Sha256Digest{};
    }
    if (!sink.file) {
        // Once the window closes, no box and no failure: the run just ends.
        if (stopEvent.is_set()) return FileResult::NoTemporaryFile;
        window->MessageBox(u"Could not create ~temp.dat !", u"Error", platform::MB_OK,
                           platform::BoxOwner::None);
        Post(WM_PATCH_FAILED, 1, 0);
        return FileResult::NoTemporaryFile;
    }
    transfer.write_function = boost::bind(&PatchDownloader::OnWrite, this, _1, _2, _3, _4);
    transfer.progress_function = boost::bind(&PatchDownloader::OnProgress, this, _1, _2, _3, _4);
    transfer.url = FileUrl(baseUrl, entry.path);
    transfer.write_data = &sink;
    progress.StartFile();

    const CURLcode code = transfer.perform();
    sink.file.close();
    EnterGameDirectory();
    if (code != CURLE_OK) {
        SetTransferError(transfer.error_text(code));
        WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
        // A transfer cut short by a stop is no failure.
        if (!stopEvent.is_set()) {
            Post(WM_PATCH_FAILED, (static_cast<platform::WPARAM>(code) & 0xFFFF) << 16 | 3, 0);
        }
        platform::delete_file(kTempFile);
        return FileResult::TransferFailed;
    }
    // Bytes that are not the signed ones never take the game file's place;
    // the run goes on as after a failed transfer.
    if (!sink.Matches()) {
        const std::string why = entry.path + ": not the signed bytes; not put in place";
        SetTransferError(why);
        LogRefusal(why);
        Post(WM_PATCH_FAILED, kFailedNotSigned, 0);
        platform::delete_file(kTempFile);
        return FileResult::TransferFailed;
    }
    if (!PutInPlace(entry)) return FileResult::NotPlaced;
    if (entry.path == "_launcher.dll") launcherVerified = true;
    progress.FileDone();
    return FileResult::Done;
}

// "~temp.dat" gets the list's time and then takes the game file's place by a
// rename: the game file changes content and time in one step, so no moment
// leaves it looking current with other bytes. When that fails the old file
// stays as it was, time included.
bool PatchDownloader::PutInPlace(const UpdateListEntry& entry) {
    SetFileToPatchTime(kTempFile, entry.timeStamp);
    if (platform::replace_file(kTempFile, entry.path)) return true;
    WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
    Post(WM_PATCH_FAILED, 1, 0);
    platform::delete_file(kTempFile);
    return false;
}
