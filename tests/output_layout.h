// The layout of an output file, for tests and fuzz targets: only whole
// lines of complete blocks, each a header line followed by as many data
// lines as its row count shows, or by one empty line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "textio/writer.h"

namespace testing_support {

struct layout {
    std::vector<std::size_t> starts;  // where each block begins, then the end of the output
    std::string error;                // what breaks the layout, empty when nothing does

    std::size_t blocks() const { return starts.size() - 1; }
};

inline layout layout_of(std::string_view out) {
    layout l;
    const auto fail = [&](std::string why, std::size_t at) {
        l.error = why + " at offset " + std::to_string(at);
        l.starts.push_back(out.size());
        return l;
    };
    std::size_t pos = 0;
    while (pos < out.size()) {
        const std::size_t nl = out.find('\n', pos);
        if (nl == std::string_view::npos) return fail("partial line", pos);
        if (nl - pos != textio::header_line_length) return fail("no header line", pos);
        l.starts.push_back(pos);
        const std::string_view rows = out.substr(pos + 8, 3);
        pos = nl + 1;
        std::size_t data = 0;
        bool empty = false;
        while (pos < out.size()) {
            const std::size_t e = out.find('\n', pos);
            if (e == std::string_view::npos) return fail("partial line", pos);
            if (e - pos == textio::header_line_length) break;
            if (e == pos && data == 0 && !empty)
                empty = true;
            else if (e - pos == textio::data_line_length && !empty)
                ++data;
            else
                return fail("stray line of " + std::to_string(e - pos) + " characters", pos);
            pos = e + 1;
        }
        const std::size_t block = l.starts.back();
        if (empty == (data > 0)) return fail("a block with neither data lines nor one empty line", block);
        if (rows == "***") {
            // A negative row count, or one of 1000 and more.
            if (data > 0 && data < 1000) return fail("asterisks for a row count of " + std::to_string(data), block);
        } else if (rows.find_first_not_of("0123456789") != std::string_view::npos ||
                   data != std::stoul(std::string(rows))) {
            return fail("a row count that is not the block's", block);
        }
    }
    l.starts.push_back(out.size());
    return l;
}

}  // namespace testing_support
