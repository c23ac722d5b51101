// http.cpp - the HTTP requests of the game and its tools: sending a replay to
// a world table and reading it, through cpp-httplib (plain http only).
#include "platform/platform.h"

#ifdef __EMSCRIPTEN__
HttpAnswer HttpPost(const std::string& url, const std::string&, int) {
    HttpAnswer answer;
    answer.error = "sending rounds is not available in the browser: " + url;
    return answer;
}
HttpAnswer HttpGet(const std::string& url, int timeoutSeconds) {
    return HttpPost(url, "", timeoutSeconds);
}
#else
#include <httplib.h>

namespace {

// One request: a POST of bytes, or a GET when post is false.
HttpAnswer request(const std::string& url, const std::string* post, int timeoutSeconds) {
    HttpAnswer answer;
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) {
        answer.error = "only http:// addresses are supported: " + url;
        return answer;
    }
    size_t slash = url.find('/', scheme.size());
    std::string origin = slash == std::string::npos ? url : url.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : url.substr(slash);
    httplib::Client client(origin);
    client.set_connection_timeout(timeoutSeconds, 0);
    client.set_read_timeout(timeoutSeconds, 0);
    client.set_write_timeout(timeoutSeconds, 0);
    httplib::Result r = post ? client.Post(path.c_str(), *post, "application/octet-stream")
                             : client.Get(path.c_str());
    if (!r) {
        answer.error = "no answer from " + origin + " (" + httplib::to_string(r.error()) + ")";
        return answer;
    }
    answer.status = r->status;
    answer.body = r->body;
    return answer;
}

} // namespace

HttpAnswer HttpPost(const std::string& url, const std::string& bytes, int timeoutSeconds) {
    return request(url, &bytes, timeoutSeconds);
}

HttpAnswer HttpGet(const std::string& url, int timeoutSeconds) {
    return request(url, nullptr, timeoutSeconds);
}
#endif
