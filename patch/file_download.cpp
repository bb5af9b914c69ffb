// One file of the download phase: the request (the file's URL, the rest of
// it when an earlier run left part of it), the sink (OnWrite into
// "~temp.dat" through FileSink and its checks, hashed on a signed site),
// then the file put in place with its list time when its bytes are the
// signed ones.
#include <boost/bind/bind.hpp>

#include "log/launcher_log.h"
#include "net/easy_curl.h"
#include "patch/file_checks.h"
#include "patch/file_sink.h"
#include "patch/patch_downloader.h"
#include "patch/self_update.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"

using namespace platform::literals;
using namespace boost::placeholders;

PatchDownloader::FileResult PatchDownloader::DownloadFile(talvo::utility::easy_curl& transfer,
                                                          const std::string& baseUrl,
                                                          const UpdateListEntry& entry) {
    SetStatusText(entry.path);
    WriteLauncherLog("%s download ediliyor...", entry.path.c_str());

    EnterGameDirectory();
    keepPartial = false;
    transfer.write_function = boost::bind(&PatchDownloader::OnWrite, this, _1, _2, _3, _4);
    transfer.progress_function = boost::bind(&PatchDownloader::OnProgress, this, _1, _2, _3, _4);
    transfer.url = FileUrl(baseUrl, entry.path);
    FileSink sink(transfer, entry, transfer.url);
    if (options.signedOnly) {
        const trust::Sha256Digest* hash = signedRelease.HashOf(entry.path);
        sink.Expect(hash != nullptr ? *hash : trust::Sha256Digest{});
    }
    CURLcode code = CURLE_OK;
    // A resume the server does not answer with the rest of the same file
    // starts over at once, with a request for all of it.
    for (bool resume = true;; resume = false) {
        if (!sink.Open(resume)) {
            // Once the window closes, no box and no failure: the run just ends.
            if (stopEvent.is_set()) return FileResult::NoTemporaryFile;
            window->MessageBox(u"Could not create ~temp.dat !", u"Error", platform::MB_OK,
                               platform::BoxOwner::None);
            Post(WM_PATCH_FAILED, 1, 0);
            return FileResult::NoTemporaryFile;
        }
        if (!transfer.set_resume(sink.Offset(), sink.Validator())) continue;
        transfer.write_data = &sink;
        progress.StartFile(static_cast<double>(sink.Offset()));
        code = transfer.perform();
        const bool rangeRefused = sink.Refused() || (code == CURLE_HTTP_RETURNED_ERROR &&
                                                     transfer.response_code() == 416);
        if (!(resume && sink.Offset() > 0 && rangeRefused && !stopEvent.is_set())) break;
        progress.AbandonFile();
    }
    transfer.set_resume(0, "");
    sink.file.close();
    EnterGameDirectory();
    if (code != CURLE_OK) {
        // libcurl calls a refused body a failed write; the player's disk is
        // not to blame.
        SetTransferError(sink.Overlong() ? entry.path +
                                               ": longer than the list says; not the "
                                               "listed file"
                                         : transfer.error_text(code));
        WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
        // A transfer cut short by a stop is no failure.
        if (!stopEvent.is_set()) {
            Post(WM_PATCH_FAILED, (static_cast<platform::WPARAM>(code) & 0xFFFF) << 16 | 3, 0);
        }
        // What came stays for the next run when it can go on from there.
        if (code != CURLE_HTTP_RETURNED_ERROR) sink.KeepRecord();
        keepPartial = code != CURLE_HTTP_RETURNED_ERROR && sink.Resumable();
        if (!keepPartial) sink.Discard(false);
        return FileResult::TransferFailed;
    }
    // Bytes that are not the signed ones never take the game file's place,
    // nor stay to be gone on from; the run goes on as after a failed
    // transfer.
    if (!sink.Matches()) {
        const std::string why = entry.path + ": not the signed bytes; not put in place";
        SetTransferError(why);
        LogRefusal(why);
        Post(WM_PATCH_FAILED, kFailedNotSigned, 0);
        sink.Discard(false);
        return FileResult::TransferFailed;
    }
    sink.Discard(true);
    if (!PutInPlace(entry)) return FileResult::NotPlaced;
    if (options.signedOnly) installed_.Set(entry.path, *signedRelease.HashOf(entry.path));
    if (entry.path == kLauncherFile) launcherVerified = true;
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
