// Replays every minimised crasher in fuzz/regressions/ and every seed in
// fuzz/seeds/ through the same targets the fuzzers run (fuzz/Fuzz*.h), with
// the same invariants: under the sanitizer build of the test command this is
// the fuzzers' judgement on the inputs that once broke the library.
//
// The folder name says which target an input belongs to: reader (a whole
// file image), lzw, fax or packbits (a decoder header followed by its data),
// fax_libtiff (a one-strip image header followed by its strip),
// pages_libtiff (a page description followed by its chunks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/FuzzFax.h"
#include "fuzz/FuzzFaxLibtiff.h"
#include "fuzz/FuzzLzw.h"
#include "fuzz/FuzzPackBits.h"
#include "fuzz/FuzzPagesLibtiff.h"
#include "fuzz/FuzzRawFax.h"
#include "fuzz/FuzzReader.h"
#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
#include "fuzz/FuzzDeflate.h"
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
#include "fuzz/FuzzJbig.h"
#endif
#include "support/TiffBuilder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(TIFFVIEW_TESTDATA_DIR) / ".." / ".." / "fuzz";

struct Input {
    std::string kind;    // "regressions" or "seeds"
    std::string target;  // reader, lzw, fax, ...
    fs::path path;
};

// The targets this build has: the optional codecs' only with their libraries.
std::vector<std::string> Targets() {
    std::vector<std::string> targets = {"reader", "lzw", "fax", "packbits", "fax_libtiff", "pages_libtiff", "raw_fax"};
#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
    targets.push_back("deflate");
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
    targets.push_back("jbig");
#endif
    return targets;
}

std::vector<Input> Inputs(const std::string& kind) {
    std::vector<Input> inputs;
    for (const std::string& target : Targets()) {
        const fs::path dir = kFuzzDir / kind / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file()) inputs.push_back({kind, target, entry.path()});
        }
    }
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.path < b.path; });
    return inputs;
}

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowBroken(const std::string& reason) { throw Broken(reason); }

// Runs one input; returns the broken invariant, or "" when all held.
std::string Replay(const Input& input) {
    const tvtest::Bytes bytes = tvtest::ReadFileBytes(input.path.string());
    tvfuzz::FailHandler = ThrowBroken;
    std::string broken;
    try {
        if (input.target == "reader") {
            // The test binary's log tree is left alone: other suites beside
            // it may be looking at it.
            tvfuzz::RunReader(bytes.data(), bytes.size(), false);
        } else if (input.target == "lzw") {
            tvfuzz::RunLzw(bytes.data(), bytes.size());
        } else if (input.target == "packbits") {
            tvfuzz::RunPackBits(bytes.data(), bytes.size());
        } else if (input.target == "fax_libtiff") {
            tvfuzz::RunFaxLibtiff(bytes.data(), bytes.size());
        } else if (input.target == "pages_libtiff") {
            tvfuzz::RunPagesLibtiff(bytes.data(), bytes.size());
        } else if (input.target == "raw_fax") {
            tvfuzz::RunRawFax(bytes.data(), bytes.size());
#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
        } else if (input.target == "deflate") {
            tvfuzz::RunDeflate(bytes.data(), bytes.size());
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
        } else if (input.target == "jbig") {
            tvfuzz::RunJbig(bytes.data(), bytes.size());
#endif
        } else {
            tvfuzz::RunFax(bytes.data(), bytes.size());
        }
    } catch (const Broken& e) {
        broken = e.what();
    }
    tvfuzz::FailHandler = nullptr;
    return broken;
}

TEST(FuzzReplay, FoldersHoldInputsForEveryTarget) {
    // An empty or misplaced folder would make the replays below pass vacuously.
    for (const char* kind : {"regressions", "seeds"}) {
        const std::vector<Input> inputs = Inputs(kind);
        for (const std::string& target : Targets()) {
            const auto n = std::count_if(inputs.begin(), inputs.end(), [&](const Input& i) { return i.target == target; });
            if (std::string(kind) == "seeds" || target == "reader" || target == "lzw") {
                EXPECT_GT(n, 0) << kind << "/" << target << " in " << kFuzzDir;
            }
        }
    }
}

TEST(FuzzReplay, RegressionsKeepEveryInvariant) {
    for (const Input& input : Inputs("regressions")) {
        EXPECT_EQ(Replay(input), "") << input.path;
    }
}

TEST(FuzzReplay, SeedsKeepEveryInvariant) {
    for (const Input& input : Inputs("seeds")) {
        EXPECT_EQ(Replay(input), "") << input.path;
    }
}

// The harness itself must be able to fail: a decoder that breaks its
// contract is caught by the same checks the fuzzers run.
TEST(FuzzReplay, BrokenInvariantIsReported) {
    tvfuzz::FailHandler = ThrowBroken;
    std::string reason;
    try {
        tvfuzz::GuardedLine line(4);
        line.Data()[4] = 0;  // a write one byte past the line
        FUZZ_CHECK(line.GuardIntact(), "guard at %d", 4);
    } catch (const Broken& e) {
        reason = e.what();
    }
    tvfuzz::FailHandler = nullptr;
    EXPECT_NE(reason.find("guard at 4"), std::string::npos) << reason;
}

}  // namespace
