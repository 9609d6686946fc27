// Every one of the 2^32 float bit patterns through each real field kind
// (F15.9, F15.5, F15.3, ES15.5E3), compared with the field text worked out
// from the C library (tests/field_reference.h). Not part of the default
// test run; it takes minutes. Run it on demand:
//
//   build/tests/exhaustive_fields                  all four kinds, both cores
//   build/tests/exhaustive_fields F15.3 ES15.5E3   some kinds only
//
// or configure with -DLSF2ASCII_EXHAUSTIVE_TEST=ON and run
// `ctest --test-dir build -L exhaustive`.
//
// Options: --threads N (default 2); --reference printf|to_chars (default
// to_chars); --cross-check N (default 16): with the to_chars reference,
// about one pattern in N, spread over all exponents and mantissas, is also
// converted by snprintf and the two references must agree; every pattern
// where the field and to_chars differ is converted by snprintf too, so a
// report always shows what printf says. With --reference printf every
// pattern is converted by snprintf alone (about four times slower).
//
// Exit status 0 when everything agrees, 1 otherwise.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "field_reference.h"
#include "support.h"
#include "textio/fields.h"

namespace {

using reference::kind;

struct options {
    std::vector<kind> kinds;
    unsigned threads = 2;
    reference::method method = reference::method::to_chars;
    std::uint32_t cross_check = 16;
};

struct totals {
    std::atomic<std::uint64_t> mismatches{0};     // field differs from printf
    std::atomic<std::uint64_t> disagreements{0};  // to_chars differs from printf
    std::atomic<std::uint64_t> cross_checked{0};
    std::mutex report;
    int reported = 0;
};

void show(totals& t, const char* what, std::uint32_t bits, kind k, const char* a, const char* b) {
    std::lock_guard<std::mutex> lock(t.report);
    if (++t.reported > 20) return;
    std::printf("%s %s of 0x%08x: [%.15s] vs printf [%.15s]\n", reference::name(k), what, bits, a, b);
}

// The patterns [first, last] of one kind.
void run_range(const options& o, kind k, std::uint64_t first, std::uint64_t last, totals& t) {
    char got[reference::width], want[reference::width], exact[reference::width];
    std::uint64_t mismatches = 0, disagreements = 0, cross_checked = 0;
    const bool fast = o.method == reference::method::to_chars;
    for (std::uint64_t p = first; p <= last; ++p) {
        const auto bits = static_cast<std::uint32_t>(p);
        const float v = testing_support::from_bits(bits);
        textio::put_real(got, reference::program_kind(k), v);
        reference::field(want, v, k, o.method);
        const bool differs = std::memcmp(got, want, sizeof got) != 0;
        // A multiplicative hash picks the sample, so that it is not tied
        // to the low mantissa bits.
        const bool sampled = fast && o.cross_check != 0 && (bits * 0x9e3779b1u) % o.cross_check == 0;
        if (fast && (differs || sampled)) {
            ++cross_checked;
            reference::field(exact, v, k, reference::method::printf);
            if (std::memcmp(want, exact, sizeof want) != 0) {
                ++disagreements;
                show(t, "to_chars", bits, k, want, exact);
            }
            if (std::memcmp(got, exact, sizeof got) != 0) {
                ++mismatches;
                show(t, "field", bits, k, got, exact);
            }
        } else if (differs) {
            ++mismatches;
            show(t, "field", bits, k, got, want);
        }
    }
    t.mismatches += mismatches;
    t.disagreements += disagreements;
    t.cross_checked += cross_checked;
}

bool run_kind(const options& o, kind k) {
    totals t;
    constexpr std::uint64_t chunk = std::uint64_t{1} << 22;
    constexpr std::uint64_t chunks = (std::uint64_t{1} << 32) / chunk;
    std::atomic<std::uint64_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < o.threads; ++i) {
        workers.emplace_back([&] {
            for (std::uint64_t c; (c = next++) < chunks;) run_range(o, k, c * chunk, c * chunk + chunk - 1, t);
        });
    }
    for (auto& w : workers) w.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-8s  %.1f s  mismatches %llu", reference::name(k), seconds,
                static_cast<unsigned long long>(t.mismatches.load()));
    if (o.method == reference::method::to_chars)
        std::printf("  (printf cross-checked %llu patterns, to_chars disagreed on %llu)",
                    static_cast<unsigned long long>(t.cross_checked.load()),
                    static_cast<unsigned long long>(t.disagreements.load()));
    std::printf("\n");
    std::fflush(stdout);
    return t.mismatches == 0 && t.disagreements == 0;
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: exhaustive_fields [--threads N] [--reference printf|to_chars] [--cross-check N] "
                 "[F15.9] [F15.5] [F15.3] [ES15.5E3]\n");
    std::exit(2);
}

options parse(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--threads" && has_value) {
            o.threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (o.threads == 0) usage();
        } else if (a == "--reference" && has_value) {
            const std::string m = argv[++i];
            if (m == "printf")
                o.method = reference::method::printf;
            else if (m == "to_chars")
                o.method = reference::method::to_chars;
            else
                usage();
        } else if (a == "--cross-check" && has_value) {
            o.cross_check = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            bool known = false;
            for (kind k : reference::all_kinds) {
                if (a == reference::name(k)) {
                    o.kinds.push_back(k);
                    known = true;
                }
            }
            if (!known) usage();
        }
    }
    if (o.kinds.empty()) o.kinds.assign(std::begin(reference::all_kinds), std::end(reference::all_kinds));
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const options o = parse(argc, argv);
    std::printf("all 2^32 patterns, %u threads, reference %s\n", o.threads,
                o.method == reference::method::printf ? "printf" : "to_chars");
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (kind k : o.kinds) ok = run_kind(o, k) && ok;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("total %.1f s: %s\n", seconds, ok ? "all agree" : "MISMATCHES");
    return ok ? 0 : 1;
}
