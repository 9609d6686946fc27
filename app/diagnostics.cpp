#include "app/diagnostics.h"

#include <cstring>

namespace app {
namespace {

const char* file_name(int unit) { return unit == input_unit ? "lsf" : "FORCINGS_ASCII_lsf"; }

int unit_of(int statement) {
    return statement == open_output || statement == write_header || statement == write_data ? output_unit
                                                                                              : input_unit;
}

}  // namespace

std::string describe(const failure& f) {
    if (f.what == failure::kind::no_memory) {
        return "lsf2ascii: " + std::string(std::strerror(f.error)) + "\nAllocation would exceed memory limit\n";
    }
    const int unit = unit_of(f.statement);
    std::string s = "lsf2ascii: statement " + std::to_string(f.statement) + ", unit " + std::to_string(unit) +
                    ", file " + file_name(unit) + "\n";
    const std::string line = std::to_string(f.line);
    switch (f.what) {
        case failure::kind::end_of_file:
            s += f.line == 0 ? "end of file: the input is empty\n" : "end of file after input line " + line + "\n";
            break;
        case failure::kind::malformed:
            s += "malformed value in input line " + line + ": item " + std::to_string(f.position) +
                 (f.expected == textio::kind::integer ? " must be an integer\n" : " must be a real number\n");
            break;
        case failure::kind::read_error:
            s += "read failed in input line " + line + ": " + std::strerror(f.error) + "\n";
            break;
        case failure::kind::open_error:
            s += std::string("open failed: ") + std::strerror(f.error) + "\n";
            break;
        case failure::kind::write_error:
            s += std::string("write failed: ") + std::strerror(f.error) + "\n";
            break;
        case failure::kind::no_memory:
            break;
    }
    return s;
}

int exit_status(const outcome& o) {
    if (o.lost) return 2;
    return o.end.what == failure::kind::no_memory ? 1 : 2;
}

}  // namespace app
