#include "platform/http_download.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>

namespace platform {
namespace {

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

struct Sink {
    std::FILE* file;
    std::uint64_t bytes = 0, limit;
    bool tooBig = false;
};

std::size_t write(char* data, std::size_t size, std::size_t n, void* user) {
    auto* s = static_cast<Sink*>(user);
    const std::size_t len = size * n;
    if (s->bytes + len > s->limit) {
        s->tooBig = true;
        return 0; // aborts the transfer
    }
    s->bytes += len;
    return std::fwrite(data, 1, len, s->file);
}

// Non-zero ends the transfer: the caller asked to cancel it.
int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel && cancel->load() ? 1 : 0;
}

} // namespace

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadLimits& limits) {
    static CurlGlobal global;
    DownloadResult r;
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!curl || !file) {
        r.error = !file ? "cannot create " + path : "no HTTP client";
        return r;
    }
    Sink sink{file.get(), 0, limits.maxBytes};
    char errors[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, limits.seconds);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errors);
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "Vospen/1.0.1");
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    if (limits.cancel) {
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, limits.cancel);
        curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    }
    const CURLcode code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &r.status);
    r.bytes = sink.bytes;
    if (std::fflush(file.get()) != 0 && code == CURLE_OK) {
        r.error = "the disk refused the data";
        return r;
    }
    if (sink.tooBig) {
        r.error = "the reply is larger than " + std::to_string(limits.maxBytes / (1024 * 1024)) + " MB";
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        r.error = "the download was cancelled";
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        r.error = "no complete reply within " + std::to_string(limits.seconds) + " s";
    } else if (code != CURLE_OK) {
        r.error = errors[0] ? errors : curl_easy_strerror(code);
    } else if (r.status != 200) {
        r.error = "the server answered with HTTP status " + std::to_string(r.status);
    } else {
        r.ok = true;
    }
    return r;
}

} // namespace platform
