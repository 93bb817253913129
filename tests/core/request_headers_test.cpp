// The extra headers of a feed request, built in one place.
#include "feed/fetch/download_outcome.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Headers(const char *etag, const char *last_modified, size_t size = RequestHeadersSize)
{
    char out[RequestHeadersSize + 16];
    memset(out, 'z', sizeof out);
    size_t length = build_request_headers(etag, last_modified, out, size);
    EXPECT_EQ(std::string(16, 'z'), std::string(out + RequestHeadersSize, 16));
    if (length == 0)
        return "(none)";
    EXPECT_EQ(length, strlen(out));
    EXPECT_LT(length, size);
    return out;
}

TEST(RequestHeaders, ValidatorsAreSentBackAsTheServerGaveThem)
{
    // Sent with every request: a feed reader's Accept, the codings KIV reads.
    const std::string fixed = "Accept: application/rss+xml, application/atom+xml, application/rdf+xml, "
                              "application/xml;q=0.9, text/xml;q=0.9, */*;q=0.8\r\n"
                              "Accept-Encoding: gzip, deflate\r\n";
    const std::string date = "Thu, 06 Jun 2024 18:30:00 GMT";
    EXPECT_EQ(fixed, Headers(nullptr, nullptr));
    EXPECT_EQ(fixed, Headers("", ""));
    EXPECT_EQ(fixed + "If-None-Match: W/\"x y\"\r\nIf-Modified-Since: " + date + "\r\n",
              Headers("W/\"x y\"", date.c_str()));
    EXPECT_EQ(fixed + "If-Modified-Since: " + date + "\r\n", Headers(nullptr, date.c_str()));
    // Line breaks would smuggle headers in; a value too long is not kept.
    EXPECT_EQ(fixed + "If-Modified-Since: " + date + "\r\n", Headers("\"a\"\r\nX: 1", date.c_str()));
    const std::string longest(ValidatorSize - 1, 'e'), too_long(ValidatorSize, 'e');
    EXPECT_EQ(fixed + "If-None-Match: " + longest + "\r\nIf-Modified-Since: " + longest + "\r\n",
              Headers(longest.c_str(), longest.c_str()));
    EXPECT_EQ(fixed, Headers(too_long.c_str(), nullptr));
    // At the limit: a header that does not fit whole is left out.
    const std::string both = Headers("\"e\"", date.c_str());
    EXPECT_EQ(both, Headers("\"e\"", date.c_str(), both.size() + 1));
    EXPECT_EQ(fixed + "If-None-Match: \"e\"\r\n", Headers("\"e\"", date.c_str(), both.size()));
    EXPECT_EQ(fixed, Headers(nullptr, nullptr, fixed.size() + 1));
    EXPECT_EQ("(none)", Headers(nullptr, nullptr, fixed.size()));
}

}  // namespace
