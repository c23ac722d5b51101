// web.h - small text helpers of the world table: JSON and HTML escaping,
// SHA-256 of a replay, and reading "host:port" and database addresses.
#pragma once

#include <cstdint>
#include <string>

std::string
JsonText(const std::string& text); // a quoted JSON string (input bytes as UTF-8, else Latin-1)
std::string HtmlText(const std::string& text);   // text safe between tags and in attributes
std::string Sha256Hex(const std::string& bytes); // 64 lowercase hex digits
// A player name as the table keeps it: valid UTF-8 (Latin-1 bytes converted),
// control characters dropped, blanks trimmed; "" when nothing is left or it
// is longer than maxChars.
std::string CleanName(const std::string& name, size_t maxChars);
// "ADDR:PORT" into its parts; false when it is not one.
bool SplitListen(const std::string& text, std::string& host, int& port);

// The checks a submission passes before it is queued: a name (cleaned into
// name) and a body that starts like a replay of at most maxBytes. 0 when it
// passes, else the HTTP status with error set.
int CheckSubmission(const std::string& rawName, const std::string& body, size_t maxBytes,
                    std::string& name, std::string& error);
