// http.cpp - the game's one HTTP request: sending a replay to a world table,
// through cpp-httplib (plain http only).
#include "platform/platform.h"

#ifdef __EMSCRIPTEN__
HttpAnswer HttpPost(const std::string& url, const std::string&, int) {
    HttpAnswer answer;
    answer.error = "sending rounds is not available in the browser: " + url;
    return answer;
}
#else
#include <httplib.h>

HttpAnswer HttpPost(const std::string& url, const std::string& bytes, int timeoutSeconds) {
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
    httplib::Result r = client.Post(path.c_str(), bytes, "application/octet-stream");
    if (!r) {
        answer.error = "no answer from " + origin + " (" + httplib::to_string(r.error()) + ")";
        return answer;
    }
    answer.status = r->status;
    answer.body = r->body;
    return answer;
}
#endif
