#include "PlanReaderModel.h"

PlanReaderResult ReadPlanModel(const unsigned char *data, std::size_t size)
{
    PlanReaderResult result;
    std::string line;
    bool cut = false;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = data[i];
        if (b == 0x0D)
            continue;
        if (b == 0x1A)
            break;
        result.empty = false;
        if (b == 0x0A) {
            result.lines.push_back(line);
            line.clear();
            cut = false;
        } else if (b == 0x00) {
            cut = true;
        } else if (!cut) {
            line.push_back(static_cast<char>(b));
        }
    }
    if (!result.empty && !line.empty())
        result.lines.push_back(line);
    return result;
}
