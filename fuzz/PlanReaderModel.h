#pragma once

// An independent reading of a plan file's bytes, one byte at a time and with no blocks, fast paths or
// views: what the fuzzer holds LoadPlanLines to. Kept deliberately plain so that a fault in the loader's
// cleverness cannot be copied into it.

#include <string>
#include <vector>

struct PlanReaderResult {
    bool empty = true;               // nothing but CR bytes before the end of the content
    std::vector<std::string> lines;
};

// Built without coverage instrumentation (see CMakeLists.txt): its branches tell the fuzzer nothing about
// the loader, and on inputs past a 64 KiB seam they would cost more time than the loader itself.
PlanReaderResult ReadPlanModel(const unsigned char *data, std::size_t size);
