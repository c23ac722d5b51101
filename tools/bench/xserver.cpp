// xserver.cpp - a private Xvfb for the benchmarks and running children on it.
#include "bench.h"

XServer StartXServer(int, int) {
    return {};
}
void StopXServer(XServer& server) {
    server = {};
}
ChildRun RunChild(const std::vector<std::string>&, const std::string&, int) {
    return {};
}
std::string BenchProgramPath() {
    return "";
}
