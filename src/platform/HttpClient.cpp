#include "platform/HttpClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace cvl {
namespace {

struct CurlFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Sink {
    std::string body;
    std::size_t limit = 0;
    bool tooLong = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    if (sink->body.size() + n > sink->limit) {
        sink->tooLong = true;
        return 0;  // aborts the transfer
    }
    sink->body.append(data, n);
    return n;
}

}  // namespace

Result<std::string> httpsGet(const HttpsGet& request) {
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) return Failure{"the HTTPS client could not start"};
    Sink sink;
    sink.limit = request.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {0};
    std::unique_ptr<curl_slist, SlistFree> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"));
    headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Corvello updater");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    if (!request.caBundle.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request.caBundle.c_str());

    CURLcode rc = curl_easy_perform(c);
    if (sink.tooLong)
        return Failure{"the answer is larger than " + std::to_string(request.maxBytes) + " bytes"};
    if (rc != CURLE_OK)
        return Failure{*errorText ? std::string(errorText) : std::string(curl_easy_strerror(rc))};
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 300) return Failure{"HTTP status " + std::to_string(status)};
    return std::move(sink.body);
}

}  // namespace cvl
