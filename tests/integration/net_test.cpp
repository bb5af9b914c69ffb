#include <gtest/gtest.h>

#include <boost/bind/bind.hpp>
#include <chrono>

#include "net/easy_curl.h"
#include "net/fetch_url.h"
#include "support/http_server.h"

using namespace boost::placeholders;
using testsupport::Reply;

namespace {

TEST(FetchUrl, AnswersTheBodyOrNothing) {
    testsupport::HttpServer server;
    const std::string body("line 1\r\nline 2\0with a zero byte\r\n", 33);
    server.serve("/plain", {Reply{200, body}});
    server.serve("/text", {Reply{200, body, Reply::Mode::Plain, "text/plain"}});
    server.serve("/chunked", {Reply{200, body, Reply::Mode::Chunked}});
    server.serve("/gzip", {Reply{200, body, Reply::Mode::Gzip}});
    server.serve("/empty", {Reply{200, ""}});
    server.serve("/500", {Reply{500, "<html>Internal Server Error</html>"}});
    server.serve("/drop", {Reply{200, body, Reply::Mode::DropMidBody}});
    const struct {
        const char* path;
        std::string want;
    } cases[] = {
        {"/plain", body}, {"/text", body}, {"/chunked", body}, {"/gzip", body},
        {"/empty", ""},   {"/404", ""},    {"/500", ""},       {"/drop", ""},
    };
    for (const auto& c : cases) {
        talvo::utility::fetch_url fetch(server.url(c.path));
        EXPECT_EQ(fetch.fetch(), c.want) << c.path;
    }
    talvo::utility::fetch_url unreachable("http://127.0.0.1:1/x");
    EXPECT_EQ(unreachable.fetch(), "");
}

TEST(FetchUrl, EachFetchIsANewRequestWithOnlyItsOwnBody) {
    testsupport::HttpServer server;
    server.serve("/list", {Reply{200, "first"}, Reply{200, "second"}});
    talvo::utility::fetch_url fetch(server.url("/list"));
    EXPECT_EQ(fetch.fetch(), "first");
    EXPECT_EQ(fetch.fetch(), "second");
    EXPECT_EQ(server.requests("/list"), 2);
}

TEST(FetchUrl, GivesUpOnTimeOutAndOnStop) {
    testsupport::HttpServer server;
    server.serve("/stall", {Reply{200, std::string(1000, 'x'), Reply::Mode::Stall}});
    talvo::utility::fetch_url timed(server.url("/stall"));
    timed.set_timeout(1);
    EXPECT_EQ(timed.fetch(), "");
    EXPECT_EQ(timed.transfer.perform(), CURLE_OPERATION_TIMEDOUT);

    talvo::utility::fetch_url stopped(server.url("/stall"));
    bool stop = false;
    stopped.abort_when([&stop] { return stop; });
    stop = true;
    EXPECT_EQ(stopped.transfer.perform(), CURLE_ABORTED_BY_CALLBACK);
}

// The slots as the patch run fills them.
struct Sink {
    std::string data;
    std::size_t accept = std::string::npos;  // bytes a call takes at most
    int abortAfter = -1;                     // progress calls before an abort
    int progressCalls = 0;

    std::size_t write(char* p, std::size_t size, std::size_t count, void* user) {
        EXPECT_EQ(user, this);
        const std::size_t n = std::min(size * count, accept);
        data.append(p, n);
        return n;
    }
    int progress(double, double, double, double) {
        return ++progressCalls > abortAfter && abortAfter >= 0 ? -1 : 0;
    }
};

TEST(EasyCurl, ResultCodesOfTheSlotsAndTheServer) {
    testsupport::HttpServer server;
    const std::string body(60000, 'b');
    server.serve("/file", {Reply{200, body, Reply::Mode::Trickle}});
    server.serve("/missing", {Reply{404, "<html>Not Found</html>"}});
    const struct {
        const char* name;
        const char* path;
        std::size_t accept;
        int abortAfter;
        CURLcode want;
    } cases[] = {
        {"whole", "/file", std::string::npos, -1, CURLE_OK},
        {"short write", "/file", 10, -1, CURLE_WRITE_ERROR},
        {"progress abort", "/file", std::string::npos, 3, CURLE_ABORTED_BY_CALLBACK},
        {"404", "/missing", std::string::npos, -1, CURLE_HTTP_RETURNED_ERROR},
    };
    talvo::utility::easy_curl transfer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sink sink;
        sink.accept = c.accept;
        sink.abortAfter = c.abortAfter;
        transfer.write_function = boost::bind(&Sink::write, &sink, _1, _2, _3, _4);
        transfer.progress_function = boost::bind(&Sink::progress, &sink, _1, _2, _3, _4);
        transfer.write_data = &sink;
        transfer.url = server.url(c.path);
        EXPECT_EQ(transfer.perform(), c.want);
        if (c.want == CURLE_OK) {
            EXPECT_EQ(sink.data, body);
        } else if (c.want == CURLE_HTTP_RETURNED_ERROR) {
            EXPECT_EQ(sink.data, "");  // no error page
        }
    }
}

}  // namespace
