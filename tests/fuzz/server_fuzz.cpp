// server_fuzz.cpp - the world table's path for a submitted round: the query's
// name and the body through the checks made before queueing, then the
// verifier's reading and playing of the replay (here in process, with a
// short frame limit). Every refusal carries a 4xx status and a message; every
// acceptance a plausible round.
#include "fuzz_support.h"
#include "game/replay.h"
#include "server/verify.h"
#include "server/web.h"
#include "shell/shell.h"

#include <cstdint>
#include <string>

namespace {

// The input is "name\nbody"; the body also goes in behind a good header.
void check(const std::string& rawName, const std::string& body) {
    std::string name, error;
    int status = CheckSubmission(rawName, body, 1u << 20, name, error);
    if (status != 0) {
        FUZZ_CHECK((status == 400 || status == 413) && !error.empty());
        return;
    }
    FUZZ_CHECK(!name.empty() && JsonText(name).size() >= 2 && !HtmlText(name).empty());
    FUZZ_CHECK(HtmlText(name).find('<') == std::string::npos);
    Verdict v = PlayReplayBytes(body, 600);
    if (!v.ok) {
        FUZZ_CHECK((v.status == 400 || v.status == 422) && !v.error.empty());
        return;
    }
    FUZZ_CHECK(v.frames >= 1 && v.frames <= 600 && v.score >= 0 && v.mode >= 0 && v.mode <= 2);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform(true); // as the verifier plays: headless
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\n');
    std::string name = cut == std::string::npos ? "Fuzz" : input.substr(0, cut);
    std::string body = cut == std::string::npos ? input : input.substr(cut + 1);
    check(name, body);
    std::string file = std::string("ZPREPLAY") + char(ReplayFormatVersion) + '\0' +
                       char(std::string(GameVersion).size()) + GameVersion;
    for (int i = 0; i < 4; ++i) file += char((body.size() >> (8 * i)) & 0xFF);
    check(name, file + CompressBytes(body));
    return 0;
}
