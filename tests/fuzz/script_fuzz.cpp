// script_fuzz.cpp - throws arbitrary text at the scripted-input reader.
//
// A script that parses must come back unchanged through the writer used by
// --record: formatting every event and parsing the result gives the same
// events, field for field.
#include "fuzz_support.h"
#include "platform/script.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool sameReal(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptEvent> events;
    std::string error;
    if (!ParseScript(source, "fuzz", events, error)) {
        FUZZ_CHECK(events.empty());
        FUZZ_CHECK(error.rfind("fuzz:", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(error.empty());
    std::string written;
    int last = 0;
    for (const ScriptEvent& e : events) {
        FUZZ_CHECK(e.ms >= last);
        last = e.ms;
        FUZZ_CHECK(std::isfinite(e.a) && std::isfinite(e.b));
        // Mouse positions become whole pixels in the game.
        if (e.verb == ScriptVerb::Mouse)
            FUZZ_CHECK(std::fabs(e.a) <= 1e6f && std::fabs(e.b) <= 1e6f);
        written += FormatScriptEvent(e) + "\n";
    }
    std::vector<ScriptEvent> again;
    if (!ParseScript(written, "again", again, error)) {
        std::fprintf(stderr, "written script does not parse: %s\n", error.c_str());
        std::abort();
    }
    FUZZ_CHECK(again.size() == events.size());
    for (size_t i = 0; i < events.size(); i++) {
        const ScriptEvent &a = events[i], &b = again[i];
        FUZZ_CHECK(a.ms == b.ms && a.verb == b.verb && a.code == b.code &&
                   a.joystick == b.joystick && a.text == b.text);
        FUZZ_CHECK(sameReal(a.a, b.a) && sameReal(a.b, b.b));
    }
    return 0;
}
