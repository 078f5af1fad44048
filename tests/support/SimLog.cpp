#include "support/SimLog.h"

bool IsReadyLine(std::string_view line)
{
    return line.find(" EV ready ") == StampLength;
}

std::vector<LogLine> ParseLog(std::string_view text)
{
    std::vector<LogLine> lines;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.size() < StampLength + 4 || line[StampLength] != ' ')
            continue;
        LogLine entry;
        entry.stamp = std::string(line.substr(0, StampLength));
        entry.kind = std::string(line.substr(StampLength + 1, 2));
        entry.text = std::string(line.substr(StampLength + 4));
        if (entry.kind != "EV") {
            const auto bar = entry.text.find(" | ");
            std::string_view hex = std::string_view(entry.text).substr(0, bar);
            for (std::size_t i = 0; i < hex.size(); i += 3)
                entry.bytes +=
                    static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
            entry.readable = bar == std::string::npos ? "" : entry.text.substr(bar + 3);
        }
        lines.push_back(std::move(entry));
    }
    return lines;
}
